#include "tag/MpegAudio.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>

#include "tag/FileReader.h"

namespace MpegAudio {
namespace {

constexpr int64_t kChunk = 20480;
constexpr int64_t kFrameBuffer = 156;
constexpr int64_t kProbe = 1024;

// kbit/s by bit-rate index; 0 is free format, 15 is invalid.
constexpr int kMpeg1Layer1[16] = {0,   32,  64,  96,  128, 160, 192, 224,
                                  256, 288, 320, 352, 384, 416, 448, -1};
constexpr int kMpeg1Layer2[16] = {0,   32,  48,  56,  64,  80,  96,  112,
                                  128, 160, 192, 224, 256, 320, 384, -1};
constexpr int kMpeg1Layer3[16] = {0,   32,  40,  48,  56,  64,  80,  96,
                                  112, 128, 160, 192, 224, 256, 320, -1};
constexpr int kMpeg2Layer1[16] = {0,   32,  48,  56,  64,  80,  96,  112,
                                  128, 144, 160, 176, 192, 224, 256, -1};
constexpr int kMpeg2Layer23[16] = {0,  8,  16, 24,  32,  40,  48,  56,
                                   64, 80, 96, 112, 128, 144, 160, -1};

constexpr int kVersionReserved = 1;  // version bits 01
constexpr int kLayer1 = 3, kLayer2 = 2, kLayer3 = 1;

bool Accepted(uint8_t b1, uint8_t b2, uint8_t b3) {
  const int version = (b1 >> 3) & 3;
  const int layer = (b1 >> 1) & 3;
  const int bitrate = b2 >> 4;
  const int sampling = (b2 >> 2) & 3;
  const int emphasis = b3 & 3;
  return version != 1 && layer != 0 && sampling != 3 && bitrate != 0 && bitrate != 15 &&
         emphasis != 2;
}

int64_t BigEndian(std::string_view bytes) {
  uint32_t value = 0;
  for (char c : bytes) value = (value << 8) | static_cast<unsigned char>(c);
  if (bytes.size() == 4) return static_cast<int32_t>(value);
  return value;
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
  return lower;
}

// Bytes [offset, offset + count) counted from the frame's 0xFF byte, when all exist.
bool At(const std::string& buffer, int64_t offset, int64_t count, std::string_view& out) {
  // Buffer byte k (from 1) is the byte at offset k from the 0xFF byte.
  if (offset < 1 || offset - 1 + count > static_cast<int64_t>(buffer.size())) return false;
  out =
      std::string_view(buffer).substr(static_cast<size_t>(offset - 1), static_cast<size_t>(count));
  return true;
}

// Returns the offset from the frame's 0xFF byte where a LAME header would follow a Xing or Info
// header, or 0 when there is none.
int64_t ReadVbrHeaders(const std::string& buffer, MpegAudioState& s) {
  const int version = (s.HeaderBytes[0] >> 3) & 3;
  const bool mono = (s.HeaderBytes[2] >> 6) == 3;
  const int side = version == 3 ? (mono ? 17 : 32) : (mono ? 9 : 17);
  std::string_view bytes;
  int64_t at = 4 + side;
  int64_t lame_at = 0;
  if (At(buffer, at, 4, bytes)) {
    const std::string tag = Lower(bytes);
    if (tag == "xing" || tag == "info") {
      int flags = 0;
      if (At(buffer, at + 4, 4, bytes)) flags = static_cast<unsigned char>(bytes[3]) & 0x0F;
      int64_t next = at + 8;
      if (flags & 1) {
        if (At(buffer, next, 4, bytes)) {
          s.VBRFrameCount = static_cast<int32_t>(BigEndian(bytes));
          s.FrameCountFrom = 1;
        }
        next += 4;
      }
      if (flags & 2) {
        if (At(buffer, next, 4, bytes)) s.VBRByteCount = static_cast<int32_t>(BigEndian(bytes));
        next += 4;
      }
      if (tag == "xing") s.IsVBR = true;
      const int64_t fields = 8 + ((flags & 1) ? 4 : 0) + ((flags & 2) ? 4 : 0) +
                             ((flags & 4) ? 100 : 0) + ((flags & 8) ? 4 : 0);
      s.AudioByteCount -= fields;
      lame_at = at + fields;
    }
  }
  if (At(buffer, 36, 4, bytes) && Lower(bytes) == "vbri") {
    s.IsVBR = true;
    std::string_view field;
    if (At(buffer, 36 + 10, 4, field)) s.VBRByteCount = static_cast<int32_t>(BigEndian(field));
    if (At(buffer, 36 + 14, 4, field)) {
      s.VBRFrameCount = static_cast<int32_t>(BigEndian(field));
      s.FrameCountFrom = 2;
    }
    int64_t entries = 0, entry_size = 0;
    if (At(buffer, 36 + 18, 2, field)) entries = BigEndian(field);
    if (At(buffer, 36 + 22, 2, field)) entry_size = BigEndian(field);
    const int64_t table = 26 + entries * entry_size;
    if (table <= std::numeric_limits<int32_t>::max()) s.AudioByteCount -= table;
  }
  return lame_at;
}

// LAME's extension of the Info header: a 9-byte encoder name, then revision 0 in the high half of
// byte 9, and at bytes 21 to 23 the encoder delay and the padding, 12 bits each. Encoders before
// LAME 3.90 wrote a longer name instead, whose byte 9 is text. Then the method, the bit rate and
// the preset the file was made with.
void ReadLameHeader(std::string_view lame, MpegAudioState& s) {
  if (lame.size() < 24) return;
  const bool named = lame.substr(0, 4) == "LAME" || lame.substr(0, 5) == "L3.99" ||
                     lame.substr(0, 4) == "Lavc" || lame.substr(0, 4) == "Lavf";
  if (!named) return;
  for (size_t i = 0; i < s.LameVersion.size(); ++i) {
    const char c = lame[i];
    // Printable ASCII only: the name ends at the first byte that is not.
    if (c < 0x20 || c > 0x7E) break;
    s.LameVersion[i] = c;
  }
  if ((static_cast<unsigned char>(lame[9]) >> 4) != 0) return;
  const auto b21 = static_cast<unsigned char>(lame[21]);
  const auto b22 = static_cast<unsigned char>(lame[22]);
  const auto b23 = static_cast<unsigned char>(lame[23]);
  s.EncoderDelay = (b21 << 4) | (b22 >> 4);
  s.EncoderPadding = ((b22 & 0x0F) << 8) | b23;
  s.LameMethod = static_cast<unsigned char>(lame[9]) & 0x0F;
  s.LameBitRate = static_cast<unsigned char>(lame[20]);
  if (lame.size() >= 28)
    s.LamePreset = static_cast<uint16_t>(((static_cast<unsigned char>(lame[26]) & 0x07) << 8) |
                                         static_cast<unsigned char>(lame[27]));
}

int VersionBits(const MpegAudioState& s) { return (s.HeaderBytes[0] >> 3) & 3; }
int BitRateIndex(const MpegAudioState& s) { return s.HeaderBytes[1] >> 4; }

// kbit/s by bit-rate index for the frame's version and layer; none for a reserved one.
const int* BitRateRow(const MpegAudioState& s) {
  const int version = VersionBits(s);
  const int layer = (s.HeaderBytes[0] >> 1) & 3;
  if (version == kVersionReserved || layer == 0) return nullptr;
  if (version == 3)
    return layer == kLayer1 ? kMpeg1Layer1 : layer == kLayer2 ? kMpeg1Layer2 : kMpeg1Layer3;
  return layer == kLayer1 ? kMpeg2Layer1 : kMpeg2Layer23;
}

}  // namespace

MpegAudioState Analyse(FileReader& file, int64_t start, int64_t end) {
  MpegAudioState s;
  std::string_view chunk;  // served by the reader, not copied
  std::string owned;
  std::string buffer;
  bool found = false;
  for (int64_t c = start; c <= end && !found; c += kChunk) {
    // A stream usually starts with a frame: the first read of a chunk is short, and the rest of
    // the chunk is fetched only when the search goes on past it.
    const int64_t chunk_size = std::min(kChunk, end - c + 1);
    const int64_t first = std::min(chunk_size, kProbe);
    chunk = file.Read(c, first);
    bool whole = first == chunk_size || static_cast<int64_t>(chunk.size()) < first;
    auto size = static_cast<int64_t>(chunk.size());
    auto fetch_whole = [&] {
      chunk = file.Read(c, chunk_size);
      size = static_cast<int64_t>(chunk.size());
      whole = true;
    };
    for (int64_t i = 0;;) {
      if (i >= size) {
        if (whole) break;
        fetch_whole();
        continue;
      }
      const void* hit = std::memchr(chunk.data() + i, 0xFF, static_cast<size_t>(size - i));
      if (!hit) {
        if (whole) break;
        i = size;
        continue;
      }
      i = static_cast<const char*>(hit) - chunk.data();
      const int64_t p = c + i;
      const int64_t want = std::min(kFrameBuffer, end - p);
      if (i + 1 + want <= size) {
        buffer.assign(chunk.substr(static_cast<size_t>(i + 1), static_cast<size_t>(want)));
      } else if (!whole) {
        fetch_whole();
        continue;
      } else {
        // The next read may reuse the chunk's memory: keep a copy of it first.
        if (chunk.data() != owned.data()) chunk = owned.assign(chunk);
        buffer.assign(file.Read(p + 1, want));
      }
      if (buffer.size() < 3) {
        i += 1;
        continue;
      }
      const auto b1 = static_cast<uint8_t>(buffer[0]);
      const auto b2 = static_cast<uint8_t>(buffer[1]);
      const auto b3 = static_cast<uint8_t>(buffer[2]);
      if (b1 < 0xE0) {
        i += 1;
        continue;
      }
      if (!Accepted(b1, b2, b3)) {
        i += 4;
        continue;
      }
      s.HeaderBytes = {b1, b2, b3};
      s.FirstFrameEnd = p + 4;
      found = true;
      break;
    }
  }
  s.AudioByteCount = end - s.FirstFrameEnd;
  if (found) {
    if (const int64_t lame_at = ReadVbrHeaders(buffer, s); lame_at > 0) {
      // Byte k of the frame stands at file position p + k; the header is usually held already.
      const int64_t at = s.FirstFrameEnd - 4 + lame_at;
      if (at <= end) ReadLameHeader(file.Read(at, std::min<int64_t>(36, end - at + 1)), s);
    }
  }
  return s;
}

int32_t MPEGVersion(const MpegAudioState& s) {
  static constexpr int32_t kCodes[4] = {0, 1, 3, 2};
  return kCodes[VersionBits(s)];
}

int32_t Layer(const MpegAudioState& s) { return (s.HeaderBytes[0] >> 1) & 3; }

int32_t ChannelMode(const MpegAudioState& s) { return s.HeaderBytes[2] >> 6; }

int32_t Padding(const MpegAudioState& s) {
  if (!((s.HeaderBytes[1] >> 1) & 1)) return 0;
  const int layer = Layer(s);
  if (layer == kLayer1) return 4;
  return layer == 0 ? 0 : 1;
}

int32_t Encoding(const MpegAudioState& s) { return s.IsVBR ? 1 : 0; }

int32_t SamplingRateFrequency(const MpegAudioState& s) {
  const int index = (s.HeaderBytes[1] >> 2) & 3;
  if (index == 3) return -1;
  static constexpr int32_t kRates[3][3] = {
      {44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};
  switch (MPEGVersion(s)) {
    case 2:
      return kRates[0][index];
    case 3:
      return kRates[1][index];
    case 0:
      return kRates[2][index];
    default:
      return -1;
  }
}

int32_t FrameSamples(const MpegAudioState& s) {
  switch (Layer(s)) {
    case kLayer1:
      return 384;
    case kLayer2:
      return 1152;
    case kLayer3:
      return VersionBits(s) == 3 ? 1152 : 576;
    default:
      return 0;
  }
}

double BitRate(const MpegAudioState& s) {
  if (s.IsVBR) {
    const double frame_size = FrameSize(s);
    if (frame_size != 0) return frame_size * SamplingRateFrequency(s) / 144;
    const double seconds = Length(s);
    if (seconds > 0) return static_cast<double>(s.AudioByteCount) * 8 / seconds;
    return 0;
  }
  const int* row = BitRateRow(s);
  if (!row) return 0;
  return static_cast<double>(row[BitRateIndex(s)]) * 1000;
}

double FrameSize(const MpegAudioState& s) {
  if (s.IsVBR) {
    if (s.VBRFrameCount == 0) return 0;
    return static_cast<double>(s.VBRByteCount) / s.VBRFrameCount;
  }
  const int32_t rate = SamplingRateFrequency(s);
  if (rate == 0) return 0;
  return static_cast<double>(FrameSamples(s)) / 8 * BitRate(s) / rate + Padding(s);
}

double Length(const MpegAudioState& s) {
  if (s.IsVBR) {
    const int32_t rate = SamplingRateFrequency(s);
    if (rate == 0) return 0;
    return static_cast<double>(s.VBRFrameCount) * FrameSamples(s) / rate;
  }
  const double bit_rate = BitRate(s);
  if (bit_rate == 0) return 0;
  return static_cast<double>(s.AudioByteCount) / bit_rate * 8;
}

ExactLength Exact(const MpegAudioState& s) {
  using Source = ExactLength::Source;
  ExactLength exact;
  if (s.FirstFrameEnd <= 0) return exact;
  const int32_t rate = SamplingRateFrequency(s);
  if (rate <= 0) return exact;
  if (s.VBRFrameCount > 0 && s.FrameCountFrom != 0) {
    int64_t samples = static_cast<int64_t>(s.VBRFrameCount) * FrameSamples(s);
    const bool lame = s.FrameCountFrom == 1 && s.EncoderDelay >= 0;
    if (lame) samples -= s.EncoderDelay + s.EncoderPadding;
    // Old LAME versions wrote a delay and padding longer than a short file.
    exact.seconds = static_cast<double>(std::max<int64_t>(samples, 0)) / rate;
    exact.source = lame ? Source::kLame : s.FrameCountFrom == 1 ? Source::kXing : Source::kVbri;
    return exact;
  }
  const int* row = BitRateRow(s);
  const int kbits = row ? row[BitRateIndex(s)] : 0;
  if (kbits <= 0) return exact;
  exact.seconds =
      static_cast<double>(std::max<int64_t>(s.AudioByteCount, 0)) * 8 / (kbits * 1000.0);
  exact.source = Source::kBitRate;
  return exact;
}

int64_t LeastBytesForFrames(const MpegAudioState& s) {
  const int* row = BitRateRow(s);
  const int32_t rate = SamplingRateFrequency(s);
  if (s.VBRFrameCount <= 0 || !row || rate <= 0) return 0;
  const int kbits = s.IsVBR ? row[1] : row[BitRateIndex(s)];
  if (kbits <= 0) return 0;
  const int64_t frame = static_cast<int64_t>(FrameSamples(s)) / 8 * kbits * 1000 / rate;
  return static_cast<int64_t>(s.VBRFrameCount) * frame;
}

}  // namespace MpegAudio
