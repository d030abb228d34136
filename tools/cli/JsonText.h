#pragma once

#include <string>
#include <string_view>

namespace JsonText {

/// A JSON string in which every code unit outside 0x20-0x7E is written as \uXXXX, so any
/// 16-bit text, lone surrogates included, round-trips exactly.
void AppendString(std::string& out, std::u16string_view text);

/// The bytes as standard base64 with padding.
std::string Base64(std::string_view bytes);
/// The same, appended to `out`. Pieces whose lengths are multiples of 3 append to the base64 of
/// the whole.
void AppendBase64(std::string& out, std::string_view bytes);

/// A double with 17 significant digits.
void AppendNumber(std::string& out, double value);

}  // namespace JsonText
