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

bool ReadsAsUTF16LE(std::string_view bytes) {
  const size_t n = bytes.size();
  if (n < 2 || n % 2 != 0) return false;
  const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
  size_t zero_high = 0;
  for (size_t i = 1; i < n; i += 2) zero_high += b[i] == 0;
  if (zero_high * 2 > n / 2) return true;
  // Taken one per byte, such text would end within its first character.
  if (b[0] != 0 && b[1] != 0) return false;
  for (size_t i = 0; i < n; i += 2) {
    const unsigned unit = b[i] | (b[i + 1] << 8);
    if (unit >= 0xDC00 && unit <= 0xDFFF) return false;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      if (i + 2 >= n) return false;
      const unsigned next = b[i + 2] | (b[i + 3] << 8);
      if (next < 0xDC00 || next > 0xDFFF) return false;
      i += 2;
    }
  }
  return true;
}

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
  // Some writers leave out the mark and write little-endian units: such a start reads as that.
  const std::string_view unmarked = bytes.substr(0, k);
  std::u16string text =
      ReadsAsUTF16LE(unmarked) ? DecodeUTF16LE(unmarked) : CodePage::BytesToText(unmarked);
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
