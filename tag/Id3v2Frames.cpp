#include "tag/Id3v2Frames.h"

#include <algorithm>
#include <limits>

#include "tag/CodePage.h"
#include "tag/TextDecoding.h"
#include "tag/modUTF8.h"

namespace Id3v2 {

std::string_view Slice(std::string_view data, int64_t p, int64_t count) {
  const auto size = static_cast<int64_t>(data.size());
  int64_t begin = std::max<int64_t>(p - 1, 0);
  int64_t end = (count > size) ? size : std::min(size, p - 1 + count);
  if (begin >= end) return {};
  return data.substr(static_cast<size_t>(begin), static_cast<size_t>(end - begin));
}

namespace {

// An encoding byte the version knows: 0 and 1, and from v2.4 on also 2 and 3.
bool IsEncodingByte(unsigned char e, uint8_t version) { return e <= 1 || (version >= 4 && e <= 3); }

// Where a frame's body starts (1-based), its declared size and the format flags that change it.
struct FrameBody {
  int64_t p = 0;
  int64_t size = 0;
  bool unreadable = false;
  bool unsynchronised = false;
  int64_t lead = 0;  // bytes before the text, after unsynchronisation is undone
};

FrameBody LocateBody(std::string_view data, int64_t p, uint8_t version) {
  FrameBody body;
  uint64_t declared = 0;
  if (version >= 3) {
    const std::string_view flag = Slice(data, p + 9, 1);
    const FrameFormat format =
        ParseFrameFormat(flag.empty() ? 0 : static_cast<unsigned char>(flag[0]), version);
    body.unreadable = format.unreadable;
    body.unsynchronised = format.unsynchronised;
    body.lead = format.lead;
    declared = DecodeNumber(Slice(data, p + 4, 4), version >= 4);
    body.p = p + 10;
  } else {
    declared = DecodeNumber(Slice(data, p + 3, 3), false);
    body.p = p + 6;
  }
  body.size =
      static_cast<int64_t>(std::min<uint64_t>(declared, std::numeric_limits<int64_t>::max() / 2));
  return body;
}

std::u16string DecodeText(std::string_view body, int encoding) {
  if (encoding == 1) return DecodeUTF16(body);
  if (encoding == 2) return DecodeUTF16BE(body);
  if (encoding == 3) return modUTF8::DecodeUTF8(body);
  return CodePage::BytesToText(body);
}

// The body as its text is read: unsynchronisation undone into `plain` when the frame says so,
// the bytes its flags put before the text dropped.
std::string_view ReadableBody(std::string_view data, const FrameBody& located, std::string& plain) {
  std::string_view body = Slice(data, located.p, located.size);
  if (located.unsynchronised) {
    plain = Deunsynchronise(body);
    body = plain;
  }
  body.remove_prefix(std::min<size_t>(static_cast<size_t>(located.lead), body.size()));
  return body;
}

}  // namespace

FrameFormat ParseFrameFormat(unsigned char format, uint8_t version) {
  FrameFormat result;
  if (version == 3) {
    // A compressed frame's size and an encrypted frame's method byte come first; neither is read.
    result.unreadable = format & 0xC0;
    result.lead = (format & 0x20) ? 1 : 0;
  } else if (version >= 4) {
    result.unreadable = format & 0x0C;
    result.unsynchronised = format & 0x02;
    result.lead = ((format & 0x40) ? 1 : 0) + ((format & 0x01) ? 4 : 0);
  }
  return result;
}

bool IsValidHeader(std::string_view h) {
  if (h.size() < kHeaderSize || h.substr(0, 3) != "ID3") return false;
  auto byte = [&](size_t i) { return static_cast<unsigned char>(h[i]); };
  return byte(3) < 255 && byte(4) < 255 && byte(6) < 128 && byte(7) < 128 && byte(8) < 128 &&
         byte(9) < 128;
}

uint64_t DecodeNumber(std::string_view bytes, bool syncsafe) {
  uint64_t value = 0;
  for (char c : bytes) value = value * (syncsafe ? 128u : 256u) + static_cast<unsigned char>(c);
  return value;
}

std::string Deunsynchronise(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i) {
    out.push_back(bytes[i]);
    if (static_cast<unsigned char>(bytes[i]) == 0xFF && i + 1 < bytes.size() && bytes[i + 1] == 0)
      ++i;
  }
  return out;
}

HeaderFlags ParseHeaderFlags(std::string_view header, uint8_t version) {
  HeaderFlags flags;
  if (header.size() < 6) return flags;
  const auto f = static_cast<unsigned char>(header[5]);
  flags.unsynchronised = f & 0x80;
  if (version <= 2) {
    flags.compressed = f & 0x40;
  } else {
    flags.extended = f & 0x40;
  }
  if (version >= 4) flags.footer = f & 0x10;
  return flags;
}

int FrameIdLength(uint8_t version) { return version <= 2 ? 3 : 4; }

FrameSize FrameTotalSize(std::string_view data, int64_t p, uint8_t version) {
  const int id_length = FrameIdLength(version);
  const uint64_t size = DecodeNumber(Slice(data, p + id_length, id_length), version >= 4);
  constexpr uint64_t kMax = std::numeric_limits<int32_t>::max();
  const uint64_t header = version <= 2 ? 6 : 10;
  FrameSize result;
  if (size > kMax || size + header > kMax) {
    result.failed = true;
  } else {
    result.total = static_cast<int64_t>(size + header);
  }
  return result;
}

bool IsMp3extSignature(std::string_view data, int64_t p) {
  static constexpr std::string_view kSig("\0\0\0MP3ext V", 11);
  static constexpr std::string_view kUnicode("(unicode)");
  const std::string_view rest = Slice(data, p, static_cast<int64_t>(data.size()));
  size_t k = 0;
  for (size_t len = kSig.size(); len >= 1; --len) {
    if (rest.substr(0, len) == kSig.substr(kSig.size() - len)) {
      k = len;
      break;
    }
  }
  size_t at = k;
  while (at < rest.size() && ((rest[at] >= '0' && rest[at] <= '9') || rest[at] == '.')) ++at;
  if (rest.substr(at, kUnicode.size()) == kUnicode) return true;
  for (size_t len = kUnicode.size() - 1; len >= 1; --len) {
    if (rest.substr(0, len) == kUnicode.substr(kUnicode.size() - len)) return true;
  }
  return false;
}

std::optional<Span> PictureEntrySpan(std::string_view data, int64_t p, uint8_t version,
                                     int64_t end) {
  const auto held = static_cast<int64_t>(data.size());
  if (p - 1 + (version >= 3 ? 10 : 6) > held) return std::nullopt;
  const FrameBody body = LocateBody(data, p, version);
  if (body.unreadable || body.unsynchronised) return std::nullopt;
  Span span;
  span.last = std::min(end, body.p - 1 + body.size);
  span.first = std::min(span.last, body.p - 1 + body.lead);
  if (span.first >= span.last) return Span{span.first, span.first};
  // The two bytes looked at must be held: else the frame goes the usual way.
  if (std::min(span.last, span.first + 2) > held) return std::nullopt;
  if (IsEncodingByte(static_cast<unsigned char>(data[static_cast<size_t>(span.first)]), version))
    ++span.first;
  if (span.first < span.last && data[static_cast<size_t>(span.first)] == '\0') ++span.first;
  return span;
}

FrameText ExtractFrameText(std::string_view data, int64_t p, bool language, bool cut,
                           uint8_t version, bool as_bytes) {
  FrameText result;
  const FrameBody located = LocateBody(data, p, version);
  if (located.unreadable) return result;
  std::string plain;
  std::string_view body = ReadableBody(data, located, plain);
  int encoding = -1;
  if (!body.empty()) {
    const auto e = static_cast<unsigned char>(body[0]);
    if (IsEncodingByte(e, version)) {
      encoding = e;
      body.remove_prefix(1);
    }
  }
  if (language) body.remove_prefix(std::min<size_t>(3, body.size()));
  if (!cut && as_bytes) {
    result.has_description = body.empty() || body.front() != '\0';
    if (!result.has_description) body.remove_prefix(1);
    result.bytes = ByteBlock(body);
    return result;
  }
  if (!cut) {
    // Pictures keep every byte after the encoding byte, whatever the encoding, so the picture
    // data reaches the entry unchanged.
    result.value = CodePage::BytesToText(body);
  } else {
    result.value = DecodeText(body, encoding);
    // Encoding 0 (and a frame without an encoding byte) holds bytes of a legacy code page.
    result.legacy = encoding != 1 && encoding != 2 && encoding != 3;
  }
  if (!result.value.empty() && result.value.front() == u'\0') {
    result.value.erase(0, 1);
    result.has_description = false;
  } else {
    result.has_description = true;
  }
  if (cut) result.value.resize(std::min(result.value.size(), FindNul(result.value)));
  return result;
}

std::u16string WholeFrameText(std::string_view data, int64_t p, uint8_t version) {
  const FrameBody located = LocateBody(data, p, version);
  if (located.unreadable) return {};
  std::string plain;
  std::string_view body = ReadableBody(data, located, plain);
  int encoding = -1;
  if (!body.empty() && IsEncodingByte(static_cast<unsigned char>(body[0]), version)) {
    encoding = static_cast<unsigned char>(body[0]);
    body.remove_prefix(1);
  }
  std::u16string text = DecodeText(body, encoding);
  if (!text.empty() && text.front() == u'\0') text.erase(0, 1);
  return text;
}

}  // namespace Id3v2
