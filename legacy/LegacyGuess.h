#pragma once

#include <string>
#include <string_view>

/// What keeps a detected code page honest. A detector guesses from few bytes, and Windows-1252
/// reads most tags right as it is: the guess is taken only when its text reads clearly better.
namespace LegacyGuess {

/// The most bytes a detector is shown: a few fields' worth tells a code page as well as ten
/// megabytes of lyrics do.
inline constexpr size_t kSampleBytes = 4096;

/// The file's legacy bytes (fields one a line) as the detector sees them: without a byte-order
/// mark at the start of a field, which in an 8-bit field is one field's accident and no sign of
/// the file's code page, and cut to kSampleBytes at the end of a line where one ends early
/// enough.
std::string Sample(std::string_view bytes);

/// True for code pages no NUL-ended 8-bit field is written in: UTF-16, UTF-32, UCS-2, UCS-4
/// and UTF-7, and the stateful ones (ISO-2022, HZ), whose shifts a field may cut in half.
bool NeverForEightBitText(std::string_view code_page);

/// How much the text looks like words: letters count for it, letters of two scripts within one
/// word, symbols within a word, control characters and U+FFFD against it, as do long runs of
/// accented Latin letters, which Western text hardly has but Cyrillic, Greek or Asian bytes read
/// as Windows-1252 have throughout. Only characters outside ASCII count.
int Plausibility(std::u16string_view text);

/// True when the text read in the detected code page is clearly likelier than as Windows-1252.
bool ClearlyBetter(std::u16string_view as_windows_1252, std::u16string_view as_detected);

}  // namespace LegacyGuess
