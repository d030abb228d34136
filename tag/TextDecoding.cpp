#include "tag/TextDecoding.h"

#include <bit>
#include <cstdint>
#include <cstring>

#include "tag/CodePage.h"

std::u16string DecodeUTF16LE(std::string_view bytes) {
  std::u16string text(bytes.size() / 2, u'\0');
  for (size_t k = 0; k < text.size(); ++k) {
    text[k] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * k]) |
                                    (static_cast<unsigned char>(bytes[2 * k + 1]) << 8));
  }
  return text;
}

std::string SwapBytePairs(std::string_view bytes) {
  std::string swapped(bytes);
  for (size_t i = 0; i + 1 < swapped.size(); i += 2) std::swap(swapped[i], swapped[i + 1]);
  return swapped;
}

std::u16string DecodeUTF16BE(std::string_view bytes) { return DecodeUTF16LE(SwapBytePairs(bytes)); }

std::u16string DecodeUTF16(std::string_view bytes) {
  const size_t n = bytes.size();
  const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
  // The first byte-order mark (FF FE little-endian, FE FF big-endian) at or after `from`, at
  // any offset, or n. Every mark holds an FE byte, so only FE bytes are looked at.
  auto next_mark = [&](size_t from) {
    for (size_t j = from; j < n;) {
      const void* hit = std::memchr(b + j, 0xFE, n - j);
      if (!hit) break;
      j = static_cast<size_t>(static_cast<const unsigned char*>(hit) - b);
      if (j > from && b[j - 1] == 0xFF) return j - 1;
      if (j + 1 < n && b[j + 1] == 0xFF) return j;
      ++j;
    }
    return n;
  };
  size_t k = next_mark(0);
  std::u16string text = CodePage::BytesToText(bytes.substr(0, k));
  if (k == n) return text;
  size_t at = text.size();
  text.resize(at + (n - k) / 2);
  while (k < n) {
    const bool little_endian = b[k] == 0xFF;
    const size_t end = next_mark(k + 2);
    // A segment's odd last byte forms no code unit and is dropped.
    const size_t units = (end - (k + 2)) / 2;
    char16_t* out = text.data() + at;
    const unsigned char* in = b + k + 2;
    if (little_endian && std::endian::native == std::endian::little) {
      std::memcpy(out, in, units * 2);
    } else if (little_endian) {
      for (size_t i = 0; i < units; ++i)
        out[i] = static_cast<char16_t>(in[2 * i] | (in[2 * i + 1] << 8));
    } else {
      for (size_t i = 0; i < units; ++i)
        out[i] = static_cast<char16_t>((in[2 * i] << 8) | in[2 * i + 1]);
    }
    at += units;
    k = end;
  }
  text.resize(at);
  return text;
}

size_t FindNul(std::u16string_view text) {
  const size_t n = text.size();
  size_t i = 0;
  for (; i + 4 <= n; i += 4) {
    uint64_t units = 0;
    std::memcpy(&units, text.data() + i, sizeof units);
    // Non-zero exactly when one of the four 16-bit lanes is zero.
    if ((units - 0x0001000100010001ULL) & ~units & 0x8000800080008000ULL) break;
  }
  for (; i < n; ++i) {
    if (text[i] == u'\0') return i;
  }
  return std::u16string_view::npos;
}

std::u16string CutAtNul(std::u16string_view text) {
  return std::u16string(text.substr(0, FindNul(text)));
}
