// What the read records beside the fields: which tag gave each value, which ID3v1 values
// disagree with the shown ones, legacy text read through a caller's decoder, and the duration
// counted in samples.
#include <gtest/gtest.h>

#include <map>

#include "tag/CodePage.h"
#include "tests/tag/TagFile.h"

namespace {

using namespace TagFile;
using Tag = FieldSource::Tag;

Bytes Audio() { return SilentFrames(kMpeg1, 10); }

std::string Describe(const FieldSource& s) {
  return std::to_string(static_cast<int>(s.tag)) + "/" + std::to_string(s.revision) + "/" +
         std::string(s.Id()) + (s.legacy ? "/legacy" : "");
}

std::string Expect(Tag tag, int revision, std::string_view id, bool legacy) {
  return Describe(FieldSource::Of(tag, id, legacy, static_cast<uint8_t>(revision)));
}

TEST(FieldSources, EachFieldNamesTheTagThatWonAndTheFrameOrFieldID) {
  Id3v1Fields v1;
  v1.title = "v1 title";
  v1.artist = "v1 artist";
  v1.year = "1999";
  v1.comment = "v1 comment";
  v1.track = 7;
  v1.genre = 17;
  const Bytes frames = Frame(4, "TIT2", TextBody(Encoding::Utf8, u"First")) +
                       Frame(4, "TIT2", TextBody(Encoding::Latin1, u"Second")) +
                       Frame(4, "TDRC", TextBody(Encoding::Latin1, u"2004-05-06")) +
                       Frame(4, "TCON", TextBody(Encoding::Latin1, u"(13)Pop")) +
                       Frame(4, "TRCK", TextBody(Encoding::Utf16, u"3/12")) +
                       Frame(4, "COMM", CommentBody(Encoding::Latin1, "eng", u"desc", u"x"));
  const auto tag = Read(Id3v2Tag(4, frames) + Audio() +
                        Lyrics3v2({{"EAR", "L3 artist"}, {"ETT", "L3 title"}}) + Id3v1(v1));
  const FieldSources& s = tag->Sources();
  // The last of two frames stays, and says it was text without an encoding of its own.
  EXPECT_EQ(tag->Title(), u"Second");
  EXPECT_EQ(Describe(s[FieldId::Title]), Expect(Tag::kId3v2, 4, "TIT2", true));
  EXPECT_EQ(Describe(s[FieldId::Year]), Expect(Tag::kId3v2, 4, "TDRC", true));
  EXPECT_EQ(Describe(s[FieldId::Genre]), Expect(Tag::kId3v2, 4, "TCON", true));
  EXPECT_EQ(Describe(s[FieldId::GenreID]), Expect(Tag::kId3v2, 4, "TCON", false));
  EXPECT_EQ(Describe(s[FieldId::TrackNumber]), Expect(Tag::kId3v2, 4, "TRCK", false));
  EXPECT_EQ(Describe(s[FieldId::TracksTotal]), Expect(Tag::kId3v2, 4, "TRCK", false));
  // Lyrics3 fills what ID3v2 left empty, ID3v1 the rest; a comment with a description is none.
  EXPECT_EQ(Describe(s[FieldId::Artist]), Expect(Tag::kLyrics3v2, 0, "EAR", true));
  EXPECT_EQ(tag->Comments(), u"v1 comment");
  EXPECT_EQ(Describe(s[FieldId::Comments]), Expect(Tag::kId3v11, 0, "", true));
  EXPECT_EQ(Describe(s[FieldId::Album]), Expect(Tag::kNone, 0, "", false));
  EXPECT_EQ(Describe(s[FieldId::Composer]), Expect(Tag::kNone, 0, "", false));

  // Without a genre number in the frame the ID3v1 byte gives it; ID3v2.2 names its own IDs; an
  // empty ID3v2 title leaves the field to ID3v1, which then names itself.
  v1.track = -1;
  const auto older = Read(Id3v2Tag(2, Frame(2, "TT2", TextBody(Encoding::Latin1, u"")) +
                                          Frame(2, "TCO", TextBody(Encoding::Latin1, u"Pop")) +
                                          Frame(2, "TP1", TextBody(Encoding::Utf16, u"Band"))) +
                          Audio() + Id3v1(v1));
  EXPECT_EQ(Describe(older->Sources()[FieldId::Title]), Expect(Tag::kId3v1, 0, "", true));
  EXPECT_EQ(Describe(older->Sources()[FieldId::Artist]), Expect(Tag::kId3v2, 2, "TP1", false));
  EXPECT_EQ(Describe(older->Sources()[FieldId::GenreID]), Expect(Tag::kId3v1, 0, "", false));
  EXPECT_EQ(Describe(older->Sources()[FieldId::Genre]), Expect(Tag::kId3v2, 2, "TCO", true));

  const auto lyrics = Read(Audio() + Lyrics3v1("la la"));
  EXPECT_EQ(Describe(lyrics->Sources()[FieldId::Lyrics]), Expect(Tag::kLyrics3v1, 0, "", true));
}

TEST(FieldSources, ANewReadForgetsTheLastFileAndTheFieldsAreAsWithout) {
  TestFiles::TempDir dir;
  clsID3 tag;
  tag.SetFileName(dir.Write(
      "a.mp3", Id3v2Tag(3, Frame(3, "TIT2", TextBody(Encoding::Latin1, u"A"))) + Audio()));
  EXPECT_EQ(tag.Sources()[FieldId::Title].tag, Tag::kId3v2);
  EXPECT_TRUE(tag.HasLegacyText());
  tag.SetFileName(dir.Write("b.mp3", Audio()));
  EXPECT_EQ(tag.Sources()[FieldId::Title].tag, Tag::kNone);
  EXPECT_FALSE(tag.HasLegacyText());
  EXPECT_TRUE(tag.Id3v1Conflicts().empty());
}

// Text a tag writer made of the shown value: cut to the width, "?" for what the code page lacks.
TEST(Id3v1Conflicts, OnlyValuesThatReallyDifferCount) {
  const std::u16string long_title = u"A Title Much Longer Than Thirty Characters";
  Id3v1Fields v1;
  v1.title = "A Title Much Longer Than Thirt";  // the first 30
  v1.artist = "???? ???";                       // Cyrillic, which Windows-1252 lacks
  v1.album = "Caf?";                            // but it holds "é": a real difference
  v1.year = "2004";
  v1.comment = "other words";
  v1.track = 4;
  v1.genre = 17;  // Rock
  const Bytes frames = Frame(3, "TIT2", TextBody(Encoding::Utf16, long_title)) +
                       Frame(3, "TPE1", TextBody(Encoding::Utf16, u"Кино Цой")) +
                       Frame(3, "TALB", TextBody(Encoding::Utf16, u"Café")) +
                       Frame(3, "TYER", TextBody(Encoding::Latin1, u"2004")) +
                       Frame(3, "COMM", CommentBody(Encoding::Latin1, "eng", u"", u"words")) +
                       Frame(3, "TRCK", TextBody(Encoding::Latin1, u"04/10")) +
                       Frame(3, "TCON", TextBody(Encoding::Latin1, u"(17)rock"));
  const auto tag = Read(Id3v2Tag(3, frames) + Audio() + Id3v1(v1));
  EXPECT_EQ(tag->Id3v1Conflicts(), (std::vector<FieldId>{FieldId::Album, FieldId::Comments}));

  v1.track = 5;
  v1.genre = 0;  // Blues
  v1.comment = "";
  v1.year = "2005";
  const auto other = Read(Id3v2Tag(3, frames) + Audio() + Id3v1(v1));
  EXPECT_EQ(other->Id3v1Conflicts(),
            (std::vector<FieldId>{FieldId::Album, FieldId::Year, FieldId::TrackNumber,
                                  FieldId::GenreID}));

  // A value only ID3v1 holds agrees with itself; 255 is no genre at all.
  Id3v1Fields alone;
  alone.title = "Solo";
  const auto only = Read(Audio() + Id3v1(alone));
  EXPECT_TRUE(only->Id3v1Conflicts().empty());
  // A shorter ID3v1 value that is not the cut of the shown one is a difference.
  alone.title = "A Title";
  const auto cut =
      Read(Id3v2Tag(3, Frame(3, "TIT2", TextBody(Encoding::Latin1, u"A Title Longer"))) + Audio() +
           Id3v1(alone));
  EXPECT_EQ(cut->Id3v1Conflicts(), std::vector<FieldId>{FieldId::Title});
}

// Reads bytes from 0x80 up as Cyrillic from U+0410 on, so recoded text is easy to tell.
class ShiftDecoder : public LegacyTextDecoder {
 public:
  std::string CodePageFor(std::string_view bytes, std::string&) override {
    samples.emplace_back(bytes);
    return page;
  }
  bool Decode(const std::string& code_page, std::string_view bytes, std::u16string& text) override {
    if (code_page != "shift") return false;
    text.clear();
    for (unsigned char b : bytes) text.push_back(b >= 0x80 ? char16_t(0x0410 + (b - 0x80)) : b);
    return true;
  }
  std::string Encode(const std::string&, std::u16string_view text) override {
    std::string bytes;
    for (char16_t c : text)
      bytes.push_back(c >= 0x0410 && c < 0x0490 ? char(0x80 + (c - 0x0410))
                      : c < 0x80                ? char(c)
                                                : '?');
    return bytes;
  }
  std::string page = "shift";
  std::vector<std::string> samples;
};

TEST(LegacyText, OnlyTextWithoutAnEncodingOfItsOwnIsReadAgainInTheFilesCodePage) {
  Id3v1Fields v1;
  v1.title = "\x81\x82 v1";
  v1.album = "\x90 hidden";  // not shown (ID3v2 has an album) but part of the file's text
  v1.year = "1999";
  const Bytes frames = Frame(3, "TPE1", TextBody(Encoding::Latin1, u"\u0083 art")) +
                       Frame(3, "TALB", TextBody(Encoding::Utf16, u"\u00e9 utf16")) +
                       Frame(3, "TCON", TextBody(Encoding::Latin1, u"(1)\u0084x"));
  const Bytes file =
      Id3v2Tag(3, frames) + Audio() + Lyrics3v2({{"EAL", "x"}, {"AUT", "\x85 l3"}}) + Id3v1(v1);
  const auto plain = Read(file);
  EXPECT_EQ(plain->Title(), CodePage::BytesToText("\x81\x82 v1"));
  EXPECT_EQ(plain->LegacyCodePage(), "");

  auto decoder = std::make_shared<ShiftDecoder>();
  TestFiles::TempDir dir;
  clsID3 tag;
  tag.SetLegacyTextDecoder(decoder);
  tag.SetFileName(dir.Write("f.mp3", file));
  EXPECT_EQ(tag.LegacyCodePage(), "shift");
  EXPECT_EQ(tag.Title(), u"\u0411\u0412 v1");
  EXPECT_EQ(tag.Artist(), u"\u0413 art");
  EXPECT_EQ(tag.Lyricist(), u"\u0415 l3");
  EXPECT_EQ(tag.Genre(), u"\u0414x");
  EXPECT_EQ(tag.Album(), u"\u00e9 utf16");  // UTF-16 text is never read again
  EXPECT_EQ(tag.Year(), u"1999");
  ASSERT_EQ(decoder->samples.size(), 1u);
  for (const char* part : {"\x81\x82 v1", "\x83 art", "\x84x", "\x85 l3", "\x90 hidden"})
    EXPECT_NE(decoder->samples[0].find(part), std::string::npos) << part;
  // The ID3v1 values compare in the same code page: the recoded title agrees with itself, the
  // album is another one.
  EXPECT_EQ(tag.Id3v1Conflicts(), std::vector<FieldId>{FieldId::Album});

  // A code page that cannot be used leaves the text as Windows-1252 gave it; none chosen too.
  decoder->page = "Unknown";
  tag.RefreshID3Tags();
  EXPECT_EQ(tag.Title(), plain->Title());
  EXPECT_EQ(tag.Artist(), plain->Artist());
  EXPECT_EQ(tag.LegacyCodePage(), "");
  EXPECT_EQ(tag.LegacyProblem(), "unknown could not be used");
  decoder->page = "";
  tag.RefreshID3Tags();
  EXPECT_EQ(tag.Title(), plain->Title());
  EXPECT_EQ(tag.LegacyCodePage(), "");
  // Plain ASCII asks for a code page but reads the same.
  decoder->page = "shift";
  tag.SetFileName(dir.Write(
      "ascii.mp3", Id3v2Tag(3, Frame(3, "TIT2", TextBody(Encoding::Latin1, u"plain"))) + Audio()));
  EXPECT_EQ(tag.Title(), u"plain");
  EXPECT_EQ(decoder->samples.back(), "");
  EXPECT_TRUE(tag.LegacyTextAscii());
  EXPECT_EQ(tag.LegacyProblem(), "");
}

// A first frame with a Xing or Info header followed by LAME's extension.
Bytes LameFrame(const MpegFormat& format, uint32_t frames, int delay, int padding,
                std::string_view name = "LAME3.100", bool info = true) {
  Bytes frame = XingFrame(format, frames, frames * FrameLength(format, false), info);
  Bytes lame(36, '\0');
  lame.replace(0, name.size(), name);
  if (name.size() <= 9) lame[9] = '\x04';  // revision 0, a VBR method
  lame[21] = static_cast<char>(delay >> 4);
  lame[22] = static_cast<char>(((delay & 0x0F) << 4) | (padding >> 8));
  lame[23] = static_cast<char>(padding & 0xFF);
  frame.replace(static_cast<size_t>(XingOffset(format)) + 120, lame.size(), lame);
  return frame;
}

TEST(ExactLength, FramesTimesSamplesLessTheEncodersDelayAndPadding) {
  using Source = MpegAudio::ExactLength::Source;
  const int n = 40;
  const auto lame = Read(LameFrame(kMpeg1, n, 576, 1000) + SilentFrames(kMpeg1, n));
  EXPECT_EQ(lame->ExactLength().source, Source::kLame);
  EXPECT_DOUBLE_EQ(lame->ExactLength().seconds, (n * 1152.0 - 576 - 1000) / 44100);
  const auto mpeg2 = Read(LameFrame(kMpeg2, n, 1105, 300) + SilentFrames(kMpeg2, n));
  EXPECT_DOUBLE_EQ(mpeg2->ExactLength().seconds, (n * 576.0 - 1105 - 300) / 22050);

  // An old encoder's name, or revision bits that are text, leave the count alone.
  const auto old =
      Read(LameFrame(kMpeg1, n, 576, 1000, "LAME3.88 (beta)") + SilentFrames(kMpeg1, n));
  EXPECT_EQ(old->ExactLength().source, Source::kXing);
  EXPECT_DOUBLE_EQ(old->ExactLength().seconds, n * 1152.0 / 44100);
  const auto vbri = Read(VbriFrame(kMpeg1, n, n * 418) + SilentFrames(kMpeg1, n));
  EXPECT_EQ(vbri->ExactLength().source, Source::kVbri);
  EXPECT_DOUBLE_EQ(vbri->ExactLength().seconds, n * 1152.0 / 44100);
  // A delay longer than the file counts as none of it.
  const auto bogus = Read(LameFrame(kMpeg1, 1, 2000, 1500) + SilentFrames(kMpeg1, 1));
  EXPECT_EQ(bogus->ExactLength().seconds, 0);

  // Without a count the bit rate estimates, as the length does; without audio there is nothing.
  const auto plain = Read(SilentFrames(kMpeg1, n));
  EXPECT_EQ(plain->ExactLength().source, Source::kBitRate);
  EXPECT_DOUBLE_EQ(plain->ExactLength().seconds, plain->length());
  EXPECT_EQ(Read("no audio")->ExactLength().source, Source::kNone);
  // The length of Part-one rules stays what it was.
  EXPECT_DOUBLE_EQ(lame->length(),
                   Read(XingFrame(kMpeg1, n, n * 418, true) + SilentFrames(kMpeg1, n))->length());
}

// TXXX: the encoding, the description, its terminator, the value.
Bytes UserText(Encoding encoding, std::u16string_view description, std::u16string_view value) {
  return Frame(3, "TXXX",
               Bytes(1, static_cast<char>(encoding)) + EncodeText(encoding, description, true) +
                   EncodeText(encoding, value));
}

TEST(EncoderAndReplayGain, TheLameHeaderThenTsseAndTxxxInAnyCaseAndEncoding) {
  const int n = 40;
  const Bytes frames = Frame(3, "TSSE", TextBody(Encoding::Latin1, u"Lavf58.76.100")) +
                       UserText(Encoding::Latin1, u"replaygain_track_gain", u"-6.50 dB") +
                       UserText(Encoding::Utf16, u"REPLAYGAIN_Track_Peak", u"0.988553") +
                       UserText(Encoding::Latin1, u"REPLAYGAIN_ALBUM_GAIN", u"-7.01 dB") +
                       UserText(Encoding::Latin1, u"MusicBrainz Album Id", u"not a gain") +
                       UserText(Encoding::Latin1, u"REPLAYGAIN_ALBUM_GAIN", u"a second one");
  const auto lame =
      Read(Id3v2Tag(3, frames) + LameFrame(kMpeg1, n, 576, 1000) + SilentFrames(kMpeg1, n));
  EXPECT_EQ(lame->Encoder(), u"LAME3.100");
  EXPECT_EQ(lame->ReplayGain(clsID3::Gain::kTrackGain), u"-6.50 dB");
  EXPECT_EQ(lame->ReplayGain(clsID3::Gain::kTrackPeak), u"0.988553");
  EXPECT_EQ(lame->ReplayGain(clsID3::Gain::kAlbumGain), u"-7.01 dB");
  EXPECT_EQ(lame->ReplayGain(clsID3::Gain::kAlbumPeak), u"");
  // The fields are what they were without these frames.
  EXPECT_EQ(lame->Title(), u"");
  // No LAME header: the TSSE frame; an old encoder's longer name keeps its first nine bytes.
  EXPECT_EQ(Read(Id3v2Tag(3, frames) + SilentFrames(kMpeg1, n))->Encoder(), u"Lavf58.76.100");
  EXPECT_EQ(
      Read(LameFrame(kMpeg1, n, 576, 1000, "LAME3.88 (beta)") + SilentFrames(kMpeg1, n))->Encoder(),
      u"LAME3.88");
  EXPECT_EQ(Read(SilentFrames(kMpeg1, n))->Encoder(), u"");

  // The record of a read keeps them, so an index gives them back.
  clsID3 restored;
  ASSERT_TRUE(restored.RestoreRead(lame->SavedRead(), "x.mp3"));
  EXPECT_EQ(restored.Encoder(), u"LAME3.100");
  EXPECT_EQ(restored.ReplayGain(clsID3::Gain::kAlbumGain), u"-7.01 dB");
}

TEST(ExactLength, AFrameCountTheAudioCannotHoldIsTruncated) {
  using Status = ReadDiagnosis::Status;
  // Only the frame count: flags 0x01. 400 frames of at least 417 bytes over 40 frames.
  auto counted_only = [](uint32_t frames) {
    Bytes frame = SilentFrame(kMpeg1, false);
    const Bytes header = "Info" + BigEndian(1, 4) + BigEndian(frames, 4);
    frame.replace(static_cast<size_t>(XingOffset(kMpeg1)), header.size(), header);
    return frame;
  };
  const auto cut = Read(counted_only(400) + SilentFrames(kMpeg1, 40));
  EXPECT_EQ(cut->Diagnosis().status, Status::kTruncated);
  EXPECT_TRUE(cut->Diagnosis().audio_cut);
  EXPECT_EQ(Read(counted_only(41) + SilentFrames(kMpeg1, 40))->Diagnosis().status, Status::kNoTags);
  // A LAME file cut after its first frame.
  const Bytes whole = LameFrame(kMpeg1, 100, 576, 1000) + SilentFrames(kMpeg1, 100);
  EXPECT_EQ(Read(whole)->Diagnosis().status, Status::kNoTags);
  EXPECT_EQ(Read(whole.substr(0, 500))->Diagnosis().status, Status::kTruncated);
}

}  // namespace
