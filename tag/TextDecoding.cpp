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
  auto is_mark = [&](size_t k) {
    if (k + 1 >= bytes.size()) return 0;
    const auto a = static_cast<unsigned char>(bytes[k]);
    const auto b = static_cast<unsigned char>(bytes[k + 1]);
    if (a == 0xFF && b == 0xFE) return 1;  // little-endian
    if (a == 0xFE && b == 0xFF) return 2;  // big-endian
    return 0;
  };
  size_t k = 0;
  while (k < bytes.size() && !is_mark(k)) ++k;
  std::u16string text = CodePage::BytesToText(bytes.substr(0, k));
  while (k < bytes.size()) {
    const int order = is_mark(k);
    size_t end = k + 2;
    while (end < bytes.size() && !is_mark(end)) ++end;
    const std::string_view segment = bytes.substr(k + 2, end - k - 2);
    text += order == 1 ? DecodeUTF16LE(segment) : DecodeUTF16BE(segment);
    k = end;
  }
  return text;
}

std::u16string CutAtNul(std::u16string_view text) {
  return std::u16string(text.substr(0, text.find(u'\0')));
}
