#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// File names are bytes; the lists, the exports and the messages show them as 16-bit text. Names
// in UTF-8 show as their characters. Any other byte shows as one private-use character,
// U+EF00 plus the byte (U+EF80..U+EFFF), and turns back into that byte, so a name read from a
// folder opens the same file, whatever its bytes. Standard C++ only: the command line's dump
// shows names this way too.
namespace FileNameText {

inline constexpr char16_t kFirstByteMark = 0xEF80;
inline constexpr char16_t kLastByteMark = 0xEFFF;

/// The length of the well-formed UTF-8 sequence at `at` (1 to 4) and its code point, or 0 when
/// the bytes there are not one: overlong forms, surrogates, values past U+10FFFF and cut
/// sequences are not.
inline size_t Utf8SequenceAt(std::string_view bytes, size_t at, char32_t& code_point) {
  const auto lead = static_cast<unsigned char>(bytes[at]);
  const size_t length = lead < 0x80                      ? 1
                        : (lead >= 0xC2 && lead <= 0xDF) ? 2
                        : (lead >= 0xE0 && lead <= 0xEF) ? 3
                        : (lead >= 0xF0 && lead <= 0xF4) ? 4
                                                         : 0;
  if (length == 0 || bytes.size() - at < length) return 0;
  char32_t cp = length == 1   ? lead
                : length == 2 ? (lead & 0x1F)
                : length == 3 ? (lead & 0x0F)
                              : (lead & 0x07);
  for (size_t k = 1; k < length; ++k) {
    const auto c = static_cast<unsigned char>(bytes[at + k]);
    if ((c & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (c & 0x3F);
  }
  const char32_t least = length == 1 ? 0 : length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
  if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  code_point = cp;
  return length;
}

/// The name's bytes as text; Encode gives the bytes back exactly.
inline std::u16string Decode(std::string_view bytes) {
  std::u16string text;
  text.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size();) {
    char32_t cp = 0;
    const size_t length = Utf8SequenceAt(bytes, i, cp);
    // A name that spells a byte mark in UTF-8 shows its bytes as marks, or it would come back
    // as the single byte the mark stands for.
    if (length == 0 || (cp >= kFirstByteMark && cp <= kLastByteMark)) {
      const size_t count = length == 0 ? 1 : length;
      for (size_t k = 0; k < count; ++k)
        text.push_back(static_cast<char16_t>(0xEF00 + static_cast<unsigned char>(bytes[i + k])));
      i += count;
    } else if (cp >= 0x10000) {
      text.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      text.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
      i += length;
    } else {
      text.push_back(static_cast<char16_t>(cp));
      i += length;
    }
  }
  return text;
}

/// The bytes of a name shown by Decode. Text from elsewhere is written as UTF-8; a lone
/// surrogate, which UTF-8 cannot hold, becomes U+FFFD.
inline std::string Encode(std::u16string_view text) {
  std::string bytes;
  bytes.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp >= kFirstByteMark && cp <= kLastByteMark) {
      bytes.push_back(static_cast<char>(cp - 0xEF00));
      continue;
    }
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      bytes.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      bytes.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      bytes.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      bytes.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      bytes.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      bytes.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      bytes.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      bytes.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      bytes.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      bytes.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return bytes;
}

}  // namespace FileNameText
