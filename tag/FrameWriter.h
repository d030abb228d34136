#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "tag/Id3v2Frames.h"

// The ID3v2 frames as the writer builds them, and what it needs to know of the old ones.
namespace FrameWriter {

inline constexpr int64_t kDefaultPadding = 2048;
inline constexpr int64_t kTagSizeLimit = (int64_t{1} << 28) - 1;  // four sync-safe bytes

std::string EncodeNumber(uint64_t value, int bytes, bool syncsafe);
bool IsLanguageId(std::string_view id);
bool IsPictureId(std::string_view id);

// The lists whose items repeating frames carry, one frame per item.
enum class FrameList { kCommercialInfo, kArtistUrl, kAttachedPictures };

std::optional<FrameList> ListOf(std::string_view id);

struct FrameLayout {
  uint8_t version;
  int id_length() const { return Id3v2::FrameIdLength(version); }
  int header_length() const { return version <= 2 ? 6 : 10; }
  uint64_t max_body() const {
    if (version <= 2) return (uint64_t{1} << 24) - 1;
    if (version == 3) return std::numeric_limits<int32_t>::max() - 10;  // the reader's limit
    return kTagSizeLimit;
  }
};

std::string FrameHeader(const FrameLayout& layout, std::string_view id, uint64_t body_size);
std::optional<std::string> WriteFrame(const FrameLayout& layout, std::string_view id,
                                      std::u16string_view value);
std::optional<std::string> WritePictureFrame(const FrameLayout& layout, std::string_view id,
                                             std::string_view entry);
std::string FrameBody(std::string_view frame, const FrameLayout& layout);
bool IsOpaque(std::string_view frame, const FrameLayout& layout);
std::string KeepFrame(std::string_view frame, const FrameLayout& layout);

}  // namespace FrameWriter
