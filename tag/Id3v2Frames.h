#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "tag/ByteBlock.h"

// The ID3v2 layout shared by the reader and the writer. Positions are 1-based within the tag
// data (the bytes after the 10-byte header); `version` is the header's major-version byte, which
// picks the v2.2 (0-2), v2.3 (3) or v2.4 (4 and up) rules.
namespace Id3v2 {

inline constexpr size_t kHeaderSize = 10;

/// "ID3", version and revision below 255, four size bytes below 128; flags are not checked.
bool IsValidHeader(std::string_view header);

/// Big-endian, 7 bits a byte when sync-safe, 8 otherwise; top bits are not masked.
uint64_t DecodeNumber(std::string_view bytes, bool syncsafe);

/// Removes the 00 after every FF (FF 00 00 becomes FF 00; a final FF stays).
std::string Deunsynchronise(std::string_view bytes);

struct HeaderFlags {
  bool unsynchronised = false;
  bool compressed = false;  // v2.2 only: frames are not read
  bool extended = false;    // v2.3 and v2.4
  bool footer = false;      // v2.4 only
};
HeaderFlags ParseHeaderFlags(std::string_view header, uint8_t version);

/// 3 for v2.2, else 4.
int FrameIdLength(uint8_t version);

/// What a v2.3 or v2.4 frame's format flag byte (the second) says of its body: whether its text
/// can be read at all (not compressed, not encrypted), whether the frame is unsynchronised on
/// its own (v2.4), and how many bytes stand before the text once that is undone (a group byte,
/// a v2.4 data length). v2.2 frames have no flags.
struct FrameFormat {
  bool unreadable = false;
  bool unsynchronised = false;
  int64_t lead = 0;
};
FrameFormat ParseFrameFormat(unsigned char format, uint8_t version);

struct FrameSize {
  int64_t total = 0;  // header length plus body size
  bool failed = false;
};
FrameSize FrameTotalSize(std::string_view data, int64_t p, uint8_t version);

/// The "MP3ext V<digits and dots>(unicode)" text some encoders leave where a frame would begin,
/// or a tail of it.
bool IsMp3extSignature(std::string_view data, int64_t p);

struct FrameText {
  std::u16string value;
  bool has_description = false;
  bool legacy = false;  // the value's bytes were taken as characters (no encoding of its own)
  ByteBlock bytes;      // instead of value, when an uncut value is asked for as bytes
};
/// With `as_bytes` and no cut, the value is handed over as the bytes it would be made of.
FrameText ExtractFrameText(std::string_view data, int64_t p, bool language, bool cut,
                           uint8_t version, bool as_bytes = false);

/// A text frame's text decoded as ExtractFrameText decodes it, a leading NUL dropped, but not cut
/// at the next NUL, so what stands after it can be seen.
std::u16string WholeFrameText(std::string_view data, int64_t p, uint8_t version);

/// A picture frame's entry as 0-based offsets [first, last) into `data`, worked out from the
/// frame's header and first body bytes alone, so that the rest can be read straight into place:
/// the body after a known encoding byte and after a NUL that marks no description, as
/// ExtractFrameText gives it with `as_bytes`. `end` is where the tag data ends; it may lie past
/// the end of `data`. Nothing when the frame must be read whole first (unsynchronised), when
/// its text cannot be read (compressed, encrypted), or when `data` lacks its header.
struct Span {
  int64_t first = 0;
  int64_t last = 0;
};
std::optional<Span> PictureEntrySpan(std::string_view data, int64_t p, uint8_t version,
                                     int64_t end);

/// The text before the first "-"; the whole text when it holds none.
std::u16string YearPart(const std::u16string& text);

/// Empty stays empty, a number stays as written, anything else becomes "0".
std::u16string CleanNumber(const std::u16string& text);

/// The bytes of [p, p + count) within `data` that exist (1-based).
std::string_view Slice(std::string_view data, int64_t p, int64_t count);

}  // namespace Id3v2

using Id3v2::CleanNumber;
using Id3v2::YearPart;
