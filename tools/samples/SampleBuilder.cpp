#include "tools/samples/SampleBuilder.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>

#include "text/Utf.h"

namespace SampleBuilder {

namespace {

Bytes Byte(unsigned value) { return Bytes(1, static_cast<char>(value & 0xFF)); }

Bytes Digits(size_t value, size_t width) {
  std::string text = std::to_string(value);
  if (text.size() > width) throw std::length_error("Lyrics3 size does not fit its digits");
  return std::string(width - text.size(), '0') + text;
}

constexpr std::array<int, 15> kMpeg1Layer3Kbps = {0,   32,  40,  48,  56,  64,  80, 96,
                                                  112, 128, 160, 192, 224, 256, 320};
constexpr std::array<int, 15> kMpeg2Layer3Kbps = {0,  8,  16, 24,  32,  40,  48, 56,
                                                  64, 80, 96, 112, 128, 144, 160};

int BitRateIndex(const MpegFormat& format) {
  const auto& table = format.version == 1 ? kMpeg1Layer3Kbps : kMpeg2Layer3Kbps;
  for (size_t i = 1; i < table.size(); ++i) {
    if (table[i] == format.kbps) return static_cast<int>(i);
  }
  throw std::invalid_argument("no such Layer III bit rate");
}

int SampleRateIndex(const MpegFormat& format) {
  const std::array<int, 3> rates = format.version == 1 ? std::array<int, 3>{44100, 48000, 32000}
                                                       : std::array<int, 3>{22050, 24000, 16000};
  for (size_t i = 0; i < rates.size(); ++i) {
    if (rates[i] == format.sample_rate) return static_cast<int>(i);
  }
  throw std::invalid_argument("no such sampling rate for this MPEG version");
}

// Bytes per frame times the sampling rate; frames carry its floor, padding makes up the rest.
int64_t FrameBytesTimesRate(const MpegFormat& format) {
  return int64_t{format.version == 1 ? 144 : 72} * format.kbps * 1000;
}

uint32_t Crc32(std::string_view bytes) {
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char b : bytes) {
    crc ^= b;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

uint32_t Adler32(std::string_view bytes) {
  uint32_t a = 1, b = 0;
  for (unsigned char c : bytes) {
    a = (a + c) % 65521;
    b = (b + a) % 65521;
  }
  return (b << 16) | a;
}

Bytes PngChunk(std::string_view type, std::string_view data) {
  Bytes typed = Bytes(type) + Bytes(data);
  return BigEndian(data.size(), 4) + typed + BigEndian(Crc32(typed), 4);
}

}  // namespace

Bytes BigEndian(uint64_t value, int width) {
  Bytes out(static_cast<size_t>(width), '\0');
  for (int i = width - 1; i >= 0; --i, value >>= 8)
    out[static_cast<size_t>(i)] = static_cast<char>(value & 0xFF);
  return out;
}

Bytes SyncSafe(uint32_t value, int width) {
  Bytes out(static_cast<size_t>(width), '\0');
  for (int i = width - 1; i >= 0; --i, value >>= 7)
    out[static_cast<size_t>(i)] = static_cast<char>(value & 0x7F);
  return out;
}

Bytes EncodeText(Encoding encoding, std::u16string_view text, bool terminate) {
  Bytes out;
  switch (encoding) {
    case Encoding::Latin1:
      for (char16_t c : text) out += c <= 0xFF ? static_cast<char>(c) : '?';
      if (terminate) out += '\0';
      break;
    case Encoding::Utf16:
      out += "\xFF\xFE";
      for (char16_t c : text) out += Byte(c) + Byte(c >> 8);
      if (terminate) out += Bytes(2, '\0');
      break;
    case Encoding::Utf16BE:
      for (char16_t c : text) out += Byte(c >> 8) + Byte(c);
      if (terminate) out += Bytes(2, '\0');
      break;
    case Encoding::Utf8:
      out += Utf::ToUtf8(text);
      if (terminate) out += '\0';
      break;
  }
  return out;
}

Bytes Unsynchronise(std::string_view bytes) {
  Bytes out;
  out.reserve(bytes.size() + bytes.size() / 64);
  for (size_t i = 0; i < bytes.size(); ++i) {
    out += bytes[i];
    if (static_cast<unsigned char>(bytes[i]) != 0xFF) continue;
    if (i + 1 == bytes.size() || bytes[i + 1] == '\0' ||
        static_cast<unsigned char>(bytes[i + 1]) >= 0xE0) {
      out += '\0';
    }
  }
  return out;
}

Bytes Frame(int version, std::string_view id, std::string_view body, uint16_t flags) {
  if (version <= 2) return Bytes(id) + BigEndian(body.size(), 3) + Bytes(body);
  const Bytes size =
      version == 3 ? BigEndian(body.size(), 4) : SyncSafe(static_cast<uint32_t>(body.size()));
  return Bytes(id) + size + BigEndian(flags, 2) + Bytes(body);
}

Bytes TextBody(Encoding encoding, std::u16string_view text) {
  Bytes body = Byte(static_cast<unsigned>(encoding));
  body += EncodeText(encoding, text);
  return body;
}

Bytes UrlBody(std::string_view url) { return Bytes(url); }

Bytes CommentBody(Encoding encoding, std::string_view language, std::u16string_view description,
                  std::u16string_view text) {
  Bytes lang = Bytes(language.substr(0, 3));
  lang.resize(3, ' ');
  return Byte(static_cast<unsigned>(encoding)) + lang + EncodeText(encoding, description, true) +
         EncodeText(encoding, text);
}

Bytes PictureBody(int version, Encoding encoding, std::string_view mime_or_format,
                  uint8_t picture_type, std::u16string_view description, std::string_view data) {
  Bytes out = Byte(static_cast<unsigned>(encoding));
  if (version <= 2) {
    Bytes format = Bytes(mime_or_format.substr(0, 3));
    format.resize(3, ' ');
    out += format;
  } else {
    out += Bytes(mime_or_format) + '\0';
  }
  return out + Byte(picture_type) + EncodeText(encoding, description, true) + Bytes(data);
}

Bytes ExtendedHeader(int version) {
  if (version == 3) {
    // Size 6 (flags and padding size follow), no CRC, no padding announced.
    return BigEndian(6, 4) + BigEndian(0, 2) + BigEndian(0, 4);
  }
  // Size 6 counts itself; one flag byte, no flags set.
  return SyncSafe(6) + Byte(1) + Byte(0);
}

Bytes Id3v2Tag(int version, std::string_view frames, const TagOptions& options) {
  Bytes data = options.extended_header + Bytes(frames) + Bytes(options.padding, '\0');
  uint8_t flags = options.extra_flags;
  if (options.unsynchronise) {
    data = Unsynchronise(data);
    flags |= 0x80;
  }
  if (!options.extended_header.empty()) flags |= 0x40;
  if (options.footer) flags |= 0x10;
  const Bytes rest = Byte(static_cast<unsigned>(version)) + Byte(options.revision) + Byte(flags) +
                     SyncSafe(static_cast<uint32_t>(data.size()));
  Bytes out = "ID3" + rest + data;
  if (options.footer) out += "3DI" + rest;
  return out;
}

Bytes Id3v1(const Id3v1Fields& fields) {
  auto field = [](const std::string& text, size_t width) {
    Bytes out = text.substr(0, width);
    out.resize(width, '\0');
    return out;
  };
  Bytes out = "TAG" + field(fields.title, 30) + field(fields.artist, 30) + field(fields.album, 30) +
              field(fields.year, 4);
  if (fields.track >= 0) {
    out += field(fields.comment, 28) + Byte(0) + Byte(static_cast<unsigned>(fields.track));
  } else {
    out += field(fields.comment, 30);
  }
  return out + Byte(fields.genre);
}

Bytes Lyrics3v1(std::string_view lyrics) { return "LYRICSBEGIN" + Bytes(lyrics) + "LYRICSEND"; }

Bytes Lyrics3Field(std::string_view id, std::string_view value) {
  return Bytes(id) + Digits(value.size(), 5) + Bytes(value);
}

Bytes Lyrics3v2(const std::vector<std::pair<std::string, std::string>>& fields) {
  Bytes block = "LYRICSBEGIN";
  for (const auto& [id, value] : fields) block += Lyrics3Field(id, value);
  return block + Digits(block.size(), 6) + "LYRICS200";
}

Bytes FrameHeader(const MpegFormat& format, bool padding) {
  const unsigned version_bits = format.version == 1 ? 3 : 2;
  const unsigned b1 = 0xE0 | (version_bits << 3) | (1 << 1) | 1;  // Layer III, no CRC
  const unsigned b2 = (static_cast<unsigned>(BitRateIndex(format)) << 4) |
                      (static_cast<unsigned>(SampleRateIndex(format)) << 2) | (padding ? 2u : 0u);
  const unsigned b3 = static_cast<unsigned>(format.mode) << 6;
  return Byte(0xFF) + Byte(b1) + Byte(b2) + Byte(b3);
}

int FrameLength(const MpegFormat& format, bool padding) {
  return static_cast<int>(FrameBytesTimesRate(format) / format.sample_rate) + (padding ? 1 : 0);
}

int FrameSamples(const MpegFormat& format) { return format.version == 1 ? 1152 : 576; }

int XingOffset(const MpegFormat& format) {
  const bool mono = format.mode == ChannelMode::Mono;
  if (format.version == 1) return 4 + (mono ? 17 : 32);
  return 4 + (mono ? 9 : 17);
}

Bytes SilentFrame(const MpegFormat& format, bool padding) {
  Bytes frame = FrameHeader(format, padding);
  frame.resize(static_cast<size_t>(FrameLength(format, padding)), '\0');
  return frame;
}

Bytes SilentFrames(const MpegFormat& format, int count) {
  const int64_t per_frame = FrameBytesTimesRate(format);
  const Bytes plain = SilentFrame(format, false);
  const Bytes padded = SilentFrame(format, true);
  Bytes out;
  out.reserve(static_cast<size_t>(count) * padded.size());
  int64_t rest = 0;
  for (int i = 0; i < count; ++i) {
    rest += per_frame % format.sample_rate;
    const bool pad = rest >= format.sample_rate;
    if (pad) rest -= format.sample_rate;
    out += pad ? padded : plain;
  }
  return out;
}

Bytes Silence(const MpegFormat& format, double seconds) {
  const double frames = seconds * format.sample_rate / FrameSamples(format);
  return SilentFrames(format, static_cast<int>(std::lround(frames)));
}

Bytes XingFrame(const MpegFormat& format, uint32_t frames, uint32_t bytes, bool info) {
  Bytes header = info ? "Info" : "Xing";
  header += BigEndian(0x0F, 4) + BigEndian(frames, 4) + BigEndian(bytes, 4);
  for (int i = 0; i < 100; ++i) header += Byte(static_cast<unsigned>(i * 256 / 100));
  header += BigEndian(50, 4);  // quality
  Bytes frame = SilentFrame(format, false);
  frame.replace(static_cast<size_t>(XingOffset(format)), header.size(), header);
  return frame;
}

Bytes VbriFrame(const MpegFormat& format, uint32_t frames, uint32_t bytes, int toc_entries) {
  const uint32_t per_entry = toc_entries > 0 ? (frames + toc_entries - 1) / toc_entries : 0;
  Bytes header = "VBRI" + BigEndian(1, 2) + BigEndian(1105, 2) + BigEndian(75, 2) +
                 BigEndian(bytes, 4) + BigEndian(frames, 4) + BigEndian(toc_entries, 2) +
                 BigEndian(1, 2) + BigEndian(2, 2) + BigEndian(per_entry, 2);
  for (int i = 0; i < toc_entries; ++i) header += BigEndian(bytes / toc_entries, 2);
  Bytes frame = SilentFrame(format, false);
  if (36 + header.size() > frame.size()) throw std::length_error("VBRI table exceeds the frame");
  frame.replace(36, header.size(), header);
  return frame;
}

Bytes TinyPng(uint32_t width, uint32_t height, uint8_t red, uint8_t green, uint8_t blue) {
  Bytes ihdr = BigEndian(width, 4) + BigEndian(height, 4) + Byte(8) + Byte(2) + Byte(0) + Byte(0) +
               Byte(0);  // 8-bit RGB, deflate, adaptive filtering, no interlace
  Bytes raw;
  for (uint32_t y = 0; y < height; ++y) {
    raw += Byte(0);  // filter: none
    for (uint32_t x = 0; x < width; ++x) raw += Byte(red) + Byte(green) + Byte(blue);
  }
  if (raw.size() > 0xFFFF) throw std::length_error("picture too large for one stored block");
  // zlib stream with one stored (uncompressed) deflate block.
  Bytes zlib = "\x78\x01";
  zlib += Byte(1) + Byte(raw.size()) + Byte(raw.size() >> 8) + Byte(~raw.size()) +
          Byte(~raw.size() >> 8) + raw + BigEndian(Adler32(raw), 4);
  return Bytes("\x89PNG\r\n\x1A\n", 8) + PngChunk("IHDR", ihdr) + PngChunk("IDAT", zlib) +
         PngChunk("IEND", "");
}

}  // namespace SampleBuilder
