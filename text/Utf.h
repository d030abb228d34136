#pragma once

#include <optional>
#include <string>
#include <string_view>

// UTF-8 and UTF-16 for the code around the engine (the engine keeps its own lenient reader).
// Decoding is strict: bytes that are not UTF-8 are refused rather than guessed at. Standard C++
// only, so the sample maker and the command line use it without Qt.
namespace Utf {

/// The text as UTF-8; a surrogate without its other half becomes U+FFFD.
std::string ToUtf8(std::u16string_view text);
/// The same, appended to `out`.
void AppendUtf8(std::string& out, std::u16string_view text);

/// The text of well-formed UTF-8, or nothing for any overlong form, encoded surrogate, value past
/// U+10FFFF, cut-off sequence or stray byte.
std::optional<std::u16string> FromUtf8(std::string_view bytes);

/// What a byte that starts no well-formed sequence stands for.
using ByteReplacement = char16_t (*)(unsigned char byte);
/// Well-formed sequences decoded; every other byte becomes one unit, `replace(byte)` or U+FFFD.
std::u16string FromUtf8Lossy(std::string_view bytes, ByteReplacement replace = nullptr);

/// The length (1 to 4) of the well-formed sequence at byte `at`, with its code point; 0 when
/// none starts there.
size_t SequenceAt(std::string_view bytes, size_t at, char32_t& code_point);

/// One code point as one or two units; a surrogate or a value past U+10FFFF becomes U+FFFD.
void AppendUtf16(std::u16string& out, char32_t code_point);

}  // namespace Utf
