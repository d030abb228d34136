#include "text/Utf.h"

namespace Utf {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

struct Sequence {
  char32_t code_point = 0;
  size_t length = 0;  // 0: no well-formed sequence starts here
};

// The lead byte fixes the length; for E0, ED, F0 and F4 it also narrows the second byte's range,
// which is what shuts out overlong forms, surrogates and values past U+10FFFF.
Sequence DecodeAt(std::string_view bytes, size_t i) {
  const auto lead = static_cast<unsigned char>(bytes[i]);
  if (lead < 0x80) return {lead, 1};
  size_t length = 0;
  char32_t code_point = 0;
  unsigned char low = 0x80, high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code_point = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code_point = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code_point = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return {};
  }
  if (bytes.size() - i < length) return {};
  for (size_t k = 1; k < length; ++k) {
    const auto next = static_cast<unsigned char>(bytes[i + k]);
    if (next < low || next > high) return {};
    low = 0x80;
    high = 0xBF;
    code_point = (code_point << 6) | (next & 0x3F);
  }
  return {code_point, length};
}

}  // namespace

size_t SequenceAt(std::string_view bytes, size_t at, char32_t& code_point) {
  const Sequence s = DecodeAt(bytes, at);
  if (s.length != 0) code_point = s.code_point;
  return s.length;
}

void AppendUtf8(std::string& out, std::u16string_view text) {
  // Three bytes a unit at most (a pair of units makes four), written in place, then trimmed.
  const size_t start = out.size();
  out.resize(start + text.size() * 3);
  char* const begin = out.data() + start;
  char* o = begin;
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c < 0x80) {
      *o++ = static_cast<char>(c);
      continue;
    }
    if (c >= 0xD800 && c <= 0xDFFF) {
      if (c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
      } else {
        c = kReplacement;
      }
    }
    if (c < 0x800) {
      *o++ = static_cast<char>(0xC0 | (c >> 6));
    } else if (c < 0x10000) {
      *o++ = static_cast<char>(0xE0 | (c >> 12));
      *o++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    } else {
      *o++ = static_cast<char>(0xF0 | (c >> 18));
      *o++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      *o++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    }
    *o++ = static_cast<char>(0x80 | (c & 0x3F));
  }
  out.resize(start + static_cast<size_t>(o - begin));
}

std::string ToUtf8(std::u16string_view text) {
  std::string out;
  AppendUtf8(out, text);
  return out;
}

void AppendUtf16(std::u16string& out, char32_t code_point) {
  if (code_point < 0x10000) {
    const bool surrogate = code_point >= 0xD800 && code_point <= 0xDFFF;
    out.push_back(surrogate ? kReplacement : static_cast<char16_t>(code_point));
  } else if (code_point <= 0x10FFFF) {
    out.push_back(static_cast<char16_t>(0xD800 + ((code_point - 0x10000) >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + ((code_point - 0x10000) & 0x3FF)));
  } else {
    out.push_back(kReplacement);
  }
}

std::optional<std::u16string> FromUtf8(std::string_view bytes) {
  std::u16string text;
  text.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size();) {
    const Sequence s = DecodeAt(bytes, i);
    if (s.length == 0) return std::nullopt;
    AppendUtf16(text, s.code_point);
    i += s.length;
  }
  return text;
}

std::u16string FromUtf8Lossy(std::string_view bytes, ByteReplacement replace) {
  std::u16string text;
  text.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size();) {
    const Sequence s = DecodeAt(bytes, i);
    if (s.length == 0) {
      const auto byte = static_cast<unsigned char>(bytes[i++]);
      text.push_back(replace ? replace(byte) : kReplacement);
      continue;
    }
    AppendUtf16(text, s.code_point);
    i += s.length;
  }
  return text;
}

}  // namespace Utf
