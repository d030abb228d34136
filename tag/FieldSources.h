#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "tag/TagFields.h"

/// The text fields by number, in the order of TAGLOOM_TEXT_FIELDS, then the genre number.
enum class FieldId : uint8_t {
#define TAGLOOM_FIELD_ID(name) name,
  TAGLOOM_TEXT_FIELDS(TAGLOOM_FIELD_ID)
#undef TAGLOOM_FIELD_ID
      GenreID,
  kCount
};

/// Which tag gave one field its value in the last read: the read fills it beside the field and
/// changes nothing else, so asking costs nothing and a caller that never asks pays only its reset.
struct FieldSource {
  enum class Tag : uint8_t { kNone, kId3v2, kLyrics3v1, kLyrics3v2, kId3v1, kId3v11 };

  Tag tag = Tag::kNone;
  uint8_t revision = 0;  ///< the ID3v2 header's major-version byte
  /// The value was made of bytes taken as characters (ID3v1, Lyrics3, ID3v2 text without an
  /// encoding of its own), so another code page may read it differently.
  bool legacy = false;
  std::array<char, 4> id{};  ///< the frame's or the Lyrics3 field's ID, NUL-padded

  static FieldSource Of(Tag tag, std::string_view id, bool legacy, uint8_t revision = 0) {
    FieldSource source;
    source.tag = tag;
    source.revision = revision;
    source.legacy = legacy;
    // An ID may be empty (ID3v1 has none), and an empty view's data may be null.
    if (!id.empty()) std::memcpy(source.id.data(), id.data(), id.size() < 4 ? id.size() : 4);
    return source;
  }
  std::string_view Id() const {
    return {id.data(), static_cast<size_t>(std::find(id.begin(), id.end(), '\0') - id.begin())};
  }
};

struct FieldSources {
  std::array<FieldSource, static_cast<size_t>(FieldId::kCount)> of{};

  FieldSource& operator[](FieldId f) { return of[static_cast<size_t>(f)]; }
  const FieldSource& operator[](FieldId f) const { return of[static_cast<size_t>(f)]; }
};
