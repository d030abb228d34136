#pragma once

#include <array>
#include <cstdint>

class FileReader;

/// What the audio analysis keeps of the first accepted MPEG frame; the properties are computed
/// from it on every call.
struct MpegAudioState {
  std::array<uint8_t, 3> HeaderBytes{};  // the three bytes after the frame's 0xFF
  int64_t FirstFrameEnd = 0;             // 1-based position after the 4-byte header
  int64_t AudioByteCount = 0;
  bool IsVBR = false;
  int32_t VBRFrameCount = 0;
  int32_t VBRByteCount = 0;
  // Which header gave VBRFrameCount (0 none, 1 Xing or Info, 2 VBRI), and the encoder delay and
  // padding in samples of a LAME header after a Xing or Info header (-1: none).
  uint8_t FrameCountFrom = 0;
  int32_t EncoderDelay = -1;
  int32_t EncoderPadding = -1;
  // From the same LAME header: the encoding method (the low half of byte 9: 1 CBR, 2 ABR, 3 to
  // 6 VBR, 8 CBR and 9 ABR in two passes; 0 unknown or no header), the bit rate of byte 20 (an
  // ABR's target, a CBR's rate, a VBR's least) and the preset of bytes 26 and 27 (0: none).
  uint8_t LameMethod = 0;
  uint8_t LameBitRate = 0;
  uint16_t LamePreset = 0;
  // The encoder's name and version a LAME header opens with ("LAME3.100"), NUL-padded.
  std::array<char, 9> LameVersion{};
};

namespace MpegAudio {

/// Finds the first accepted frame header at or after `start` and no later than `end` (1-based
/// positions; `end` is the last byte of audio), then its Xing/Info or VBRI header.
MpegAudioState Analyse(FileReader& file, int64_t start, int64_t end);

int32_t MPEGVersion(const MpegAudioState& s);
int32_t Layer(const MpegAudioState& s);
int32_t ChannelMode(const MpegAudioState& s);
int32_t Padding(const MpegAudioState& s);
int32_t Encoding(const MpegAudioState& s);
int32_t SamplingRateFrequency(const MpegAudioState& s);
int32_t FrameSamples(const MpegAudioState& s);
double BitRate(const MpegAudioState& s);
double FrameSize(const MpegAudioState& s);
double Length(const MpegAudioState& s);

/// The duration in samples where a header counts the frames, else the bit rate's estimate.
struct ExactLength {
  enum class Source : uint8_t { kNone, kLame, kXing, kVbri, kBitRate };
  double seconds = 0;
  Source source = Source::kNone;
};
ExactLength Exact(const MpegAudioState& s);

/// The fewest bytes the frames a header counts can fill: each frame at the first frame's bit rate
/// in a constant stream, at the lowest bit rate in a variable one; 0 without a count.
int64_t LeastBytesForFrames(const MpegAudioState& s);

}  // namespace MpegAudio
