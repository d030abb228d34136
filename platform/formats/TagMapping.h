#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/formats/OtherFormatReader.h"

/// The one mapping of every tag format's keys onto the columns (docs/tag-mapping.md). Keys come
/// in the unified spelling TagLib's property maps use ("TITLE", "ALBUMARTIST", "TRACKNUMBER");
/// the native key of each kind of tag is named in the Sources column.
namespace TagMapping {

enum class Kind : uint8_t { kVorbis, kMp4, kAsf, kApe, kId3v2, kRiffInfo, kId3v1, kCount };

/// Several values of one key are joined with this, as the list columns join theirs.
inline constexpr std::u16string_view kJoin = u"; ";

/// The key's values into `out`, each column filled only while it is still empty, so the tag
/// read first wins. `tag` names the tag in Sources ("Vorbis", "ID3v2.4"). A key the mapping
/// does not know is passed over.
void Apply(Kind kind, std::string_view tag, std::string_view key,
           const std::vector<std::u16string>& values, OtherFormatRead& out);

/// The values joined with kJoin; empty values are left out.
std::u16string Join(const std::vector<std::u16string>& values);

/// The native key a kind of tag stores the unified key under, or empty when it has none.
std::string_view NativeKey(Kind kind, std::string_view key);

}  // namespace TagMapping
