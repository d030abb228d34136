#include "tag/CodePage.h"

#include <array>
#include <cstddef>
#include <iterator>

namespace CodePage {
namespace {

// 0x80..0x9F; the rest of the byte range maps onto the same code point.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

char16_t ByteToChar(unsigned char byte) {
  if (byte >= 0x80 && byte <= 0x9F) return kHighControls[byte - 0x80];
  return byte;
}

bool CharToByte(char16_t ch, unsigned char& byte) {
  if (ch < 0x80 || (ch >= 0xA0 && ch <= 0xFF)) {
    byte = static_cast<unsigned char>(ch);
    return true;
  }
  for (unsigned i = 0; i < kHighControls.size(); ++i) {
    if (kHighControls[i] == ch) {
      byte = static_cast<unsigned char>(0x80 + i);
      return true;
    }
  }
  return false;
}

std::u16string BytesToText(std::string_view bytes) {
  // A picture frame arrives here whole: one table look-up a byte.
  static const auto table = [] {
    std::array<char16_t, 256> t{};
    for (unsigned b = 0; b < 256; ++b) t[b] = ByteToChar(static_cast<unsigned char>(b));
    return t;
  }();
  // Built from an iterator, so the string is written once rather than cleared and then written.
  struct Chars {
    using iterator_category = std::forward_iterator_tag;
    using value_type = char16_t;
    using difference_type = std::ptrdiff_t;
    using pointer = const char16_t*;
    using reference = char16_t;
    const char* at;
    char16_t operator*() const { return table[static_cast<unsigned char>(*at)]; }
    Chars& operator++() {
      ++at;
      return *this;
    }
    Chars operator++(int) { return Chars{at++}; }
    bool operator==(const Chars& other) const { return at == other.at; }
  };
  return std::u16string(Chars{bytes.data()}, Chars{bytes.data() + bytes.size()});
}

std::string TextToBytes(std::u16string_view text) {
  std::string bytes(text.size(), '\0');
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char b = '?';
    CharToByte(text[i], b);
    bytes[i] = static_cast<char>(b);
  }
  return bytes;
}

}  // namespace CodePage
