#include "text/FileNameText.h"

#include "text/Utf.h"

namespace FileNameText {

namespace {

bool IsByteMark(char32_t c) { return c >= kFirstByteMark && c <= kLastByteMark; }

char16_t ByteMark(char byte) {
  return static_cast<char16_t>(0xEF00 + static_cast<unsigned char>(byte));
}

}  // namespace

std::u16string Decode(std::string_view bytes) {
  std::u16string text;
  text.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size();) {
    char32_t code_point = 0;
    const size_t length = Utf::SequenceAt(bytes, i, code_point);
    // A name that spells a byte mark in UTF-8 shows its bytes as marks, or it would come back
    // as the single byte the mark stands for.
    if (length == 0 || IsByteMark(code_point)) {
      const size_t count = length == 0 ? 1 : length;
      for (size_t k = 0; k < count; ++k) text.push_back(ByteMark(bytes[i + k]));
      i += count;
    } else {
      Utf::AppendUtf16(text, code_point);
      i += length;
    }
  }
  return text;
}

std::string Encode(std::u16string_view text) {
  std::string bytes;
  bytes.reserve(text.size());
  size_t run = 0;  // start of the text not written yet
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size() && !IsByteMark(text[i])) continue;
    Utf::AppendUtf8(bytes, text.substr(run, i - run));
    if (i < text.size()) bytes.push_back(static_cast<char>(text[i] - 0xEF00));
    run = i + 1;
  }
  return bytes;
}

}  // namespace FileNameText
