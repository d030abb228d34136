#include "tag/TextDecoding.h"

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
  auto byte = [&](size_t k) { return static_cast<unsigned char>(bytes[k]); };
  // 1 for FF FE (little-endian), 2 for FE FF (big-endian), 0 for no mark at k.
  auto mark_at = [&](size_t k) {
    if (k + 1 >= n) return 0;
    if (byte(k) == 0xFF && byte(k + 1) == 0xFE) return 1;
    if (byte(k) == 0xFE && byte(k + 1) == 0xFF) return 2;
    return 0;
  };
  // Marks are looked for at every offset; only bytes FE and FF can start one.
  auto next_mark = [&](size_t from) {
    for (size_t k = from; k + 1 < n; ++k) {
      if (byte(k) >= 0xFE && mark_at(k)) return k;
    }
    return n;
  };
  size_t k = next_mark(0);
  std::u16string text = CodePage::BytesToText(bytes.substr(0, k));
  text.reserve(k + (n - k) / 2);
  while (k < n) {
    const bool little_endian = mark_at(k) == 1;
    const size_t end = next_mark(k + 2);
    // A segment's odd last byte forms no code unit and is dropped.
    for (size_t i = k + 2; i + 1 < end; i += 2) {
      text.push_back(little_endian ? static_cast<char16_t>(byte(i) | (byte(i + 1) << 8))
                                   : static_cast<char16_t>((byte(i) << 8) | byte(i + 1)));
    }
    k = end;
  }
  return text;
}

std::u16string CutAtNul(std::u16string_view text) {
  return std::u16string(text.substr(0, text.find(u'\0')));
}
