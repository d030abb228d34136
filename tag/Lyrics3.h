#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Lyrics3 v1 and v2 blocks, which stand between the audio and the ID3v1 block.
namespace Lyrics3 {

/// True when every character is "0" to "9" (also for the empty text).
bool IsAllDigits(std::u16string_view text);
bool IsAllDigits(std::string_view bytes);

/// A size field read as a number: nothing when it is not one or is negative; a fraction is
/// rounded half to even.
std::optional<int64_t> SizeValue(std::string_view bytes);

/// The value of the field at 1-based position q of the block, escapes undone; nothing when the
/// field's size is not a number.
std::optional<std::u16string> Lyrics3ValueAt(std::string_view block, int64_t q);

/// Removes "[m:s]" time stamps (whole, non-negative numbers).
std::u16string StripTimestamps(std::u16string text);

/// "[CR][LF]", "[CR]" and "[LF]" written for line breaks.
std::u16string EscapeLineBreaks(std::u16string_view text);

}  // namespace Lyrics3
