// The first accepted MPEG frame header, its Xing/Info or VBRI header, and the properties
// computed from them.
#include <gtest/gtest.h>

#include "tests/tag/TagFile.h"

namespace {

using namespace TagFile;
using namespace std::string_literals;

Bytes Header(uint8_t b1, uint8_t b2, uint8_t b3) {
  return "\xFF"s + static_cast<char>(b1) + static_cast<char>(b2) + static_cast<char>(b3);
}

TEST(MpegHeader, Mpeg1Layer3At128k) {
  const auto tag = Read(Header(0xFB, 0x90, 0x00) + Bytes(413, '\0'));
  EXPECT_EQ(tag->MPEGVersion(), 2);
  EXPECT_EQ(tag->Layer(), 1);
  EXPECT_EQ(tag->BitRate(), 128000);
  EXPECT_EQ(tag->SamplingRateFrequency(), 44100);
  EXPECT_EQ(tag->FrameSamples(), 1152);
  EXPECT_EQ(tag->Padding(), 0);
  EXPECT_DOUBLE_EQ(tag->FrameSize(), 144.0 * 128000 / 44100);
  EXPECT_EQ(tag->ChannelMode(), 0);
  EXPECT_EQ(tag->Encoding(), 0);
  EXPECT_DOUBLE_EQ(tag->length(), 412.0 * 8 / 128000);  // 413 bytes after the header, less one
}

TEST(MpegHeader, PaddingDependsOnTheLayer) {
  const auto layer3 = Read(Header(0xFB, 0x92, 0x00) + Bytes(100, '\0'));
  EXPECT_EQ(layer3->Padding(), 1);
  EXPECT_DOUBLE_EQ(layer3->FrameSize(), 144.0 * 128000 / 44100 + 1);
  // Layer I (bits 11), index 9 = 288 kbit/s, 44.1 kHz, padding.
  const auto layer1 = Read(Header(0xFF, 0x92, 0x00) + Bytes(100, '\0'));
  EXPECT_EQ(layer1->Layer(), 3);
  EXPECT_EQ(layer1->Padding(), 4);
  EXPECT_EQ(layer1->FrameSamples(), 384);
  EXPECT_EQ(layer1->BitRate(), 288000);
  // Layer II, index 9 = 160 kbit/s.
  const auto layer2 = Read(Header(0xFD, 0x92, 0xC0) + Bytes(100, '\0'));
  EXPECT_EQ(layer2->Layer(), 2);
  EXPECT_EQ(layer2->Padding(), 1);
  EXPECT_EQ(layer2->BitRate(), 160000);
  EXPECT_EQ(layer2->ChannelMode(), 3);
}

TEST(MpegHeader, VersionsAndTheirTables) {
  struct Case {
    MpegFormat format;
    int version_code, sample_rate, samples;
  };
  const Case cases[] = {
      {{1, 320, 48000, ChannelMode::JointStereo}, 2, 48000, 1152},
      {{1, 32, 32000, ChannelMode::DualChannel}, 2, 32000, 1152},
      {{2, 64, 22050, ChannelMode::Mono}, 3, 22050, 576},
      {{2, 8, 16000, ChannelMode::Stereo}, 3, 16000, 576},
      {{2, 160, 24000, ChannelMode::Stereo}, 3, 24000, 576},
  };
  for (const Case& c : cases) {
    const auto tag = Read(SilentFrames(c.format, 3));
    EXPECT_EQ(tag->MPEGVersion(), c.version_code);
    EXPECT_EQ(tag->SamplingRateFrequency(), c.sample_rate);
    EXPECT_EQ(tag->BitRate(), c.format.kbps * 1000);
    EXPECT_EQ(tag->FrameSamples(), c.samples);
    EXPECT_EQ(tag->ChannelMode(), static_cast<int>(c.format.mode));
    EXPECT_EQ(tag->Layer(), 1);
  }
  // MPEG 2.5 (version bits 00), 11025 Hz, index 8 of the MPEG-2 row = 64 kbit/s.
  const auto mpeg25 = Read(Header(0xE3, 0x80, 0xC0) + Bytes(100, '\0'));
  EXPECT_EQ(mpeg25->MPEGVersion(), 0);
  EXPECT_EQ(mpeg25->SamplingRateFrequency(), 11025);
  EXPECT_EQ(mpeg25->BitRate(), 64000);
  EXPECT_EQ(mpeg25->FrameSamples(), 576);
}

TEST(MpegHeader, RejectedCandidatesAreSkipped) {
  const Bytes bad[] = {
      Header(0xFB, 0x00, 0x00),  // bit-rate index 0 (free format)
      Header(0xFB, 0xF0, 0x00),  // bit-rate index 15
      Header(0xFB, 0x9C, 0x00),  // sampling-rate index 3
      Header(0xFB, 0x90, 0x02),  // emphasis 10
      Header(0xEB, 0x90, 0x00),  // version bits 01
      Header(0xF9, 0x90, 0x00),  // layer bits 00
      Header(0xDB, 0x90, 0x00),  // not a sync: B1 below E0
  };
  for (const Bytes& b : bad) {
    const auto alone = Read(b + Bytes(50, '\0'));
    EXPECT_EQ(alone->Layer(), 0);
    EXPECT_EQ(alone->SamplingRateFrequency(), 11025);
    EXPECT_EQ(alone->BitRate(), 0);
    EXPECT_EQ(alone->length(), 0);
    // The real frame after it is found.
    const auto then = Read(b + Bytes(10, '\0') + Header(0xF3, 0x80, 0xC0) + Bytes(50, '\0'));
    EXPECT_EQ(then->MPEGVersion(), 3);
    EXPECT_EQ(then->BitRate(), 64000);
  }
  // A rejected header's three bytes are not looked at again: FF FB FF FB 90 00 skips the
  // second FF, which stands inside the rejected header.
  const auto inside = Read(Header(0xFB, 0xFF, 0xFB) + "\x90\x00"s + Bytes(10, '\0'));
  EXPECT_EQ(inside->Layer(), 0);
  // A sync in the last two bytes before the end is no candidate.
  EXPECT_EQ(Read(Bytes(10, '\0') + "\xFF\xFB\x90"s)->Layer(), 0);
}

TEST(MpegHeader, SearchStartsAfterTheId3v2Tag) {
  // A frame header hidden inside the tag is not taken for audio.
  const Bytes hidden = Frame(3, "PRIV", "owner\0"s + Header(0xFF, 0x92, 0x00));
  const auto tag = Read(Id3v2Tag(3, hidden) + Header(0xF3, 0x80, 0xC0) + Bytes(40, '\0'));
  EXPECT_EQ(tag->MPEGVersion(), 3);
  // An audio frame 25 000 bytes in, beyond the first 20 480-byte chunk.
  const auto far = Read(Id3v2Tag(3, "", TagOptions{0, 0, false, "", false, 1000}) +
                        Bytes(25000, '\x11') + Header(0xFB, 0x90, 0x00) + Bytes(96, '\0'));
  EXPECT_EQ(far->Layer(), 1);
  EXPECT_EQ(CountedAudioBytes(*far), 96);
  // A sync at the boundary of two chunks, its header split across them.
  const auto split = Read(Bytes(20478, '\x11') + Header(0xFB, 0x90, 0x00) + Bytes(96, '\0'));
  EXPECT_EQ(split->Layer(), 1);
  EXPECT_EQ(CountedAudioBytes(*split), 96);
}

TEST(MpegHeader, ConstantBitRateLengthFromTheByteCount) {
  // E = 1 000 005 bytes with the first frame at offset 0: 1 000 000 bytes after its header
  // plus one; at 128 kbit/s that is 62.5 seconds.
  const auto tag = Read(Header(0xFB, 0x90, 0x00) + Bytes(1000001, '\0'));
  EXPECT_DOUBLE_EQ(tag->length(), 62.5);
}

TEST(XingHeader, VbrFromXingAndCbrFromInfo) {
  const MpegFormat format = kMpeg1;
  const Bytes after = SilentFrames(format, 5);
  const auto xing = Read(XingFrame(format, 1000, 400000) + after);
  EXPECT_EQ(xing->Encoding(), 1);
  EXPECT_DOUBLE_EQ(xing->length(), 1000.0 * 1152 / 44100);
  EXPECT_DOUBLE_EQ(xing->FrameSize(), 400.0);
  EXPECT_DOUBLE_EQ(xing->BitRate(), 400.0 * 44100 / 144);

  const auto info = Read(XingFrame(format, 1000, 400000, true) + after);
  EXPECT_EQ(info->Encoding(), 0);
  EXPECT_EQ(info->BitRate(), 128000);
  // The Info header's 120 bytes are taken off the audio byte count.
  const long long all =
      static_cast<long long>(SilentFrame(format, false).size() + after.size()) - 4;
  EXPECT_EQ(CountedAudioBytes(*info), all - 120);

  Bytes upper = XingFrame(format, 1000, 400000);
  upper.replace(static_cast<size_t>(XingOffset(format)), 4, "XING");
  EXPECT_EQ(Read(upper + after)->Encoding(), 1);
}

TEST(XingHeader, OffsetFollowsVersionAndChannels) {
  for (const MpegFormat& format :
       {MpegFormat{1, 128, 44100, ChannelMode::Mono}, MpegFormat{2, 64, 22050, ChannelMode::Mono},
        MpegFormat{2, 64, 22050, ChannelMode::Stereo}, kMpeg1}) {
    const auto tag = Read(XingFrame(format, 300, 60000) + SilentFrames(format, 2));
    EXPECT_EQ(tag->Encoding(), 1) << format.version << " " << static_cast<int>(format.mode);
    EXPECT_DOUBLE_EQ(tag->length(), 300.0 * FrameSamples(format) / format.sample_rate);
  }
}

// With a byte count of 0 and a frame count above 0, a VBR stream's bit rate falls back to
// audio bytes × 8 / length, which shows how many bytes the analysis counted.
TEST(XingHeader, FlagsDecideWhichFieldsAreReadAndSkipped) {
  const Bytes after = SilentFrames(kMpeg1, 2);
  const long long all =
      static_cast<long long>(SilentFrame(kMpeg1, false).size() + after.size()) - 4;
  // Flags 0x01: a frame count only.
  Bytes frames_only = SilentFrame(kMpeg1, false);
  frames_only.replace(36, 12, "Xing"s + BigEndian(1, 4) + BigEndian(300, 4));
  const auto one = Read(frames_only + after);
  EXPECT_EQ(one->Encoding(), 1);
  EXPECT_DOUBLE_EQ(one->length(), 300.0 * 1152 / 44100);
  EXPECT_EQ(CountedAudioBytes(*one), all - 12);
  // Flags 0x0D: frame count, table and quality, no byte count.
  Bytes no_bytes = SilentFrame(kMpeg1, false);
  no_bytes.replace(36, 12, "Xing"s + BigEndian(0x0D, 4) + BigEndian(300, 4));
  EXPECT_EQ(CountedAudioBytes(*Read(no_bytes + after)), all - 8 - 4 - 100 - 4);
  // Flags 0x02: a byte count only, so no frame count: no division by zero anywhere.
  Bytes bytes_only = SilentFrame(kMpeg1, false);
  bytes_only.replace(36, 12, "Xing"s + BigEndian(2, 4) + BigEndian(5000, 4));
  const auto two = Read(bytes_only + after);
  EXPECT_EQ(two->Encoding(), 1);
  EXPECT_EQ(two->length(), 0);
  EXPECT_EQ(two->FrameSize(), 0);
  EXPECT_EQ(two->BitRate(), 0);
  const auto zero = Read(XingFrame(kMpeg1, 0, 0) + after);
  EXPECT_EQ(zero->length(), 0);
  EXPECT_EQ(zero->FrameSize(), 0);
  EXPECT_EQ(zero->BitRate(), 0);
  // All flags with a byte count of 0: 120 bytes off.
  EXPECT_EQ(CountedAudioBytes(*Read(XingFrame(kMpeg1, 300, 0) + after)), all - 120);
}

TEST(VbriHeader, CountsAndTableSize) {
  const auto tag = Read(VbriFrame(kMpeg1, 2000, 800000, 100) + SilentFrames(kMpeg1, 3));
  EXPECT_EQ(tag->Encoding(), 1);
  EXPECT_DOUBLE_EQ(tag->length(), 2000.0 * 1152 / 44100);
  EXPECT_DOUBLE_EQ(tag->FrameSize(), 400.0);
  // Mono MPEG-2: VBRI stays at offset 36 whatever the side information.
  const MpegFormat mono2{2, 128, 22050, ChannelMode::Mono};
  const auto mpeg2 = Read(VbriFrame(mono2, 500, 100000, 10) + SilentFrames(mono2, 3));
  EXPECT_EQ(mpeg2->Encoding(), 1);
  EXPECT_DOUBLE_EQ(mpeg2->length(), 500.0 * 576 / 22050);
}

TEST(VbriHeader, TableIsTakenOffTheAudioBytes) {
  const Bytes after = SilentFrames(kMpeg1, 3);
  const long long all =
      static_cast<long long>(SilentFrame(kMpeg1, false).size() + after.size()) - 4;
  // 100 entries of 2 bytes: 26 + 200 bytes off.
  EXPECT_EQ(CountedAudioBytes(*Read(VbriFrame(kMpeg1, 100, 0, 100) + after)), all - 226);
  EXPECT_EQ(CountedAudioBytes(*Read(VbriFrame(kMpeg1, 100, 0, 0) + after)), all - 26);
}

TEST(VbriHeader, OverridesXingCounts) {
  // Mono MPEG-1 puts Xing at 21; a short one (frame count only) leaves offset 36 for VBRI.
  const MpegFormat mono{1, 128, 44100, ChannelMode::Mono};
  Bytes frame = VbriFrame(mono, 2000, 800000, 10);
  frame.replace(21, 12, "Info"s + BigEndian(1, 4) + BigEndian(1000, 4));
  const auto tag = Read(frame + SilentFrames(mono, 2));
  EXPECT_EQ(tag->Encoding(), 1);
  EXPECT_DOUBLE_EQ(tag->length(), 2000.0 * 1152 / 44100);
  EXPECT_DOUBLE_EQ(tag->FrameSize(), 400.0);
}

TEST(MpegHeader, AudioByteCountKeepsItsFormulaBelowZero) {
  // Results users have stored rely on the formulas as they stand: a header whose last byte ends
  // the audio counts E - (P + 4) = -1 bytes, and an Info header in a stream shorter than its own
  // 120 bytes counts fewer still. Only divisions by zero are defined as 0.
  const auto last_bytes = Read(Bytes(10, '\0') + Header(0xFB, 0x90, 0x00));
  EXPECT_EQ(last_bytes->Layer(), 1);
  EXPECT_DOUBLE_EQ(last_bytes->length(), -1.0 / 128000 * 8);

  Bytes info = XingFrame(kMpeg1, 5, 0, true);
  info.resize(100);  // the header claims 120 bytes; the file holds 95 after the 4-byte header
  const auto short_info = Read(info);
  EXPECT_EQ(short_info->Encoding(), 0);
  EXPECT_DOUBLE_EQ(short_info->length(), -25.0 / 128000 * 8);

  // VBR with a byte count of 0 falls back to audio bytes x 8 / length.
  Bytes xing = XingFrame(kMpeg1, 5, 0);
  xing.resize(100);
  const auto short_xing = Read(xing);
  EXPECT_EQ(short_xing->Encoding(), 1);
  EXPECT_DOUBLE_EQ(short_xing->length(), 5.0 * 1152 / 44100);
  EXPECT_DOUBLE_EQ(short_xing->BitRate(), -25.0 * 8 / (5.0 * 1152 / 44100));
}

TEST(MpegHeader, NoFrameGivesTheAllZeroProperties) {
  for (const Bytes& bytes : {""s, "\xFF"s, "\xFF\xFB\x90"s, Bytes(3000, '\x22')}) {
    const auto tag = Read(bytes);
    EXPECT_EQ(tag->MPEGVersion(), 0);
    EXPECT_EQ(tag->Layer(), 0);
    EXPECT_EQ(tag->ChannelMode(), 0);
    EXPECT_EQ(tag->Padding(), 0);
    EXPECT_EQ(tag->SamplingRateFrequency(), 11025);
    EXPECT_EQ(tag->BitRate(), 0);
    EXPECT_EQ(tag->FrameSamples(), 0);
    EXPECT_EQ(tag->FrameSize(), 0);
    EXPECT_EQ(tag->length(), 0);
    EXPECT_EQ(tag->Encoding(), 0);
  }
}

TEST(MpegHeader, TrailingTagsAreNotAudio) {
  // A sync word inside the ID3v1 block or a Lyrics3 block must not count.
  Id3v1Fields v1;
  v1.title = "\xFF\xFB\x90";
  EXPECT_EQ(Read(Bytes(20, '\0') + Id3v1(v1))->Layer(), 0);
  const auto lyrics = Read(Bytes(20, '\0') + Lyrics3v2({{"LYR", "\xFF\xFB\x90\x00 words"}}));
  EXPECT_EQ(lyrics->Layer(), 0);
}

}  // namespace
