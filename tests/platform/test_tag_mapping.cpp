// The one mapping of other formats' keys onto the columns, and the sniffing of first bytes.
#include <gtest/gtest.h>

#include "platform/formats/AudioSniff.h"
#include "platform/formats/TagMapping.h"
#include "tests/support/TestFiles.h"

namespace {

using Kind = TagMapping::Kind;

TEST(TagMapping, NumbersSplitValuesJoinAndTheFirstTagWins) {
  OtherFormatRead read;
  TagMapping::Apply(Kind::kVorbis, "Vorbis", "tracknumber", {u"3/12"}, read);
  TagMapping::Apply(Kind::kVorbis, "Vorbis", "TRACKTOTAL", {u"14"}, read);
  TagMapping::Apply(Kind::kVorbis, "Vorbis", "ARTIST", {u"A", u"", u"B"}, read);
  TagMapping::Apply(Kind::kVorbis, "Vorbis", "DATE", {u"2021-05-04"}, read);
  TagMapping::Apply(Kind::kVorbis, "Vorbis", "ALBUMARTIST", {u"Band"}, read);
  TagMapping::Apply(Kind::kVorbis, "Vorbis", "SOMETHING ELSE", {u"x"}, read);
  // A second tag of the same file fills only what the first left empty.
  TagMapping::Apply(Kind::kId3v2, "ID3v2.4", "ARTIST", {u"Other"}, read);
  TagMapping::Apply(Kind::kId3v2, "ID3v2.4", "DISCNUMBER", {u"2"}, read);
  EXPECT_EQ(read[OtherField::kTrackNumber].text, u"3");
  EXPECT_EQ(read[OtherField::kTracks].text, u"12");
  EXPECT_EQ(read[OtherField::kArtist].text, u"A; B");
  EXPECT_EQ(read[OtherField::kArtist].source, "Vorbis ARTIST");
  EXPECT_EQ(read[OtherField::kYear].text, u"2021");
  EXPECT_EQ(read[OtherField::kBand].source, "Vorbis ALBUMARTIST");
  EXPECT_EQ(read[OtherField::kDisc].text, u"2");
  EXPECT_EQ(read[OtherField::kDisc].source, "ID3v2.4 TPOS");
  EXPECT_TRUE(read[OtherField::kDiscs].text.empty());
}

TEST(TagMapping, SourcesNameEachFormatsOwnKey) {
  OtherFormatRead read;
  TagMapping::Apply(Kind::kMp4, "MP4", "ALBUMARTIST", {u"x"}, read);
  TagMapping::Apply(Kind::kAsf, "ASF", "TITLE", {u"x"}, read);
  TagMapping::Apply(Kind::kApe, "APEv2", "DATE", {u"1999"}, read);
  TagMapping::Apply(Kind::kRiffInfo, "RIFF INFO", "ARTIST", {u"x"}, read);
  TagMapping::Apply(Kind::kId3v1, "ID3v1", "ALBUM", {u"x"}, read);
  EXPECT_EQ(read[OtherField::kBand].source, "MP4 aART");
  EXPECT_EQ(read[OtherField::kTitle].source, "ASF Title");
  EXPECT_EQ(read[OtherField::kYear].source, "APEv2 Year");
  EXPECT_EQ(read[OtherField::kArtist].source, "RIFF INFO IART");
  EXPECT_EQ(read[OtherField::kAlbum].source, "ID3v1");
  EXPECT_EQ(TagMapping::NativeKey(Kind::kMp4, "title"), "\xC2\xA9nam");
  EXPECT_EQ(TagMapping::NativeKey(Kind::kVorbis, "NOT A KEY"), "");
}

TEST(AudioSniff, ContentNotNameTellsTheFormat) {
  const TestFiles::TempDir dir;
  int64_t size = 0, declared = 0;
  const auto format = [&](std::string_view bytes) {
    return AudioSniff::Format(dir.Write("x.mp3", bytes), size, declared);
  };
  EXPECT_EQ(format("fLaC\0\0\0\x22" + std::string(40, '\0')), "FLAC");
  // An ID3v2 tag of 16 bytes before the stream is passed over.
  EXPECT_EQ(format(std::string("ID3\x04\0\0\0\0\0\x10", 10) + std::string(16, '\0') + "fLaC" +
                   std::string(40, '\0')),
            "FLAC");
  std::string ogg = "OggS" + std::string(22, '\0') + std::string("\x01\x13", 2) + "OpusHead" +
                    std::string(20, '\0');
  EXPECT_EQ(format(ogg), "Opus");
  EXPECT_EQ(format(std::string("\0\0\0\x20"
                               "ftypM4A ",
                               12) +
                   std::string(20, '\0')),
            "MP4");
  // A RIFF header that promises more than the file holds.
  EXPECT_EQ(format(std::string("RIFF\xF0\0\0\0WAVEfmt ", 16) + std::string(20, '\0')), "WAV");
  EXPECT_EQ(declared, 0xF0 + 8);
  EXPECT_EQ(size, 36);
  EXPECT_EQ(format(std::string("\xFF\xFB\x90\x00", 4) + std::string(400, '\0')), "");
  EXPECT_EQ(format("plain text, nothing more"), "");
  // An APEv2 footer at the end of an MPEG file, or before its ID3v1 block.
  bool ape = false;
  const std::string frames = std::string("\xFF\xFB\x90\x00", 4) + std::string(400, '\0');
  const std::string footer = "APETAGEX" + std::string(24, '\0');
  const std::string v1 = "TAG" + std::string(125, ' ');
  for (const std::string& bytes : {frames + footer, frames + footer + v1}) {
    EXPECT_EQ(AudioSniff::Format(dir.Write("ape.mp3", bytes), size, declared, &ape), "");
    EXPECT_TRUE(ape);
  }
  AudioSniff::Format(dir.Write("ape.mp3", frames + v1), size, declared, &ape);
  EXPECT_FALSE(ape);
  EXPECT_EQ(format("ID3"), "");
  EXPECT_EQ(AudioSniff::Format(dir.PathOf("missing"), size, declared), "");
  EXPECT_EQ(size, -1);
}

}  // namespace
