#include "tag/modUTF8.h"

#include <cstdint>
#include <cstring>

namespace modUTF8 {
namespace {

char16_t Unit(long value) { return static_cast<char16_t>(((value % 65536) + 65536) % 65536); }

bool IsContinuation(unsigned char c) { return c >= 0x80 && c <= 0xBF; }

// A well-formed four-byte sequence at i, or 0.
char32_t FourByteCodePoint(std::string_view bytes, size_t i) {
  if (i + 3 >= bytes.size()) return 0;
  const auto b = static_cast<unsigned char>(bytes[i]);
  const auto c = static_cast<unsigned char>(bytes[i + 1]);
  const auto d = static_cast<unsigned char>(bytes[i + 2]);
  const auto e = static_cast<unsigned char>(bytes[i + 3]);
  if (b < 0xF0 || b > 0xF4 || !IsContinuation(c) || !IsContinuation(d) || !IsContinuation(e))
    return 0;
  const char32_t cp = ((b & 0x07u) << 18) | ((c & 0x3Fu) << 12) | ((d & 0x3Fu) << 6) | (e & 0x3Fu);
  return cp >= 0x10000 && cp <= 0x10FFFF ? cp : 0;
}

}  // namespace

std::u16string DecodeUTF8(std::string_view bytes) {
  std::u16string text;
  text.reserve(bytes.size());
  size_t i = 0;
  while (i < bytes.size()) {
    const long b = static_cast<unsigned char>(bytes[i]);
    if (b < 0x80) {
      // Runs of ASCII, most of any lyrics, are found eight bytes at a time and copied as a block.
      size_t end = i + 1;
      for (uint64_t word = 0; end + 8 <= bytes.size(); end += 8) {
        std::memcpy(&word, bytes.data() + end, sizeof word);
        if (word & 0x8080808080808080ULL) break;
      }
      while (end < bytes.size() && static_cast<unsigned char>(bytes[end]) < 0x80) ++end;
      const size_t at = text.size();
      text.resize(at + (end - i));
      char16_t* out = text.data() + at;
      for (size_t k = i; k < end; ++k) *out++ = static_cast<char16_t>(bytes[k]);
      i = end;
    } else if (b < 0xC0) {
      text.push_back(static_cast<char16_t>(b));
      i += 1;
    } else if (b < 0xE0) {
      if (i + 1 >= bytes.size()) break;
      const long c = static_cast<unsigned char>(bytes[i + 1]);
      text.push_back(Unit((b - 0xC0) * 64 + (c - 0x80)));
      i += 2;
    } else if (const char32_t cp = FourByteCodePoint(bytes, i); cp != 0) {
      const char32_t v = cp - 0x10000;
      text.push_back(static_cast<char16_t>(0xD800 + (v >> 10)));
      text.push_back(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
      i += 4;
    } else {
      if (i + 2 >= bytes.size()) break;
      const long c = static_cast<unsigned char>(bytes[i + 1]);
      const long d = static_cast<unsigned char>(bytes[i + 2]);
      text.push_back(Unit((b - 0xE0) * 4096 + (c - 0x80) * 64 + (d - 0x80)));
      i += 3;
    }
  }
  return text;
}

}  // namespace modUTF8
