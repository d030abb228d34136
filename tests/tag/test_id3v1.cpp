// The 128-byte ID3v1 / ID3v1.1 block at the end of the file.
#include <gtest/gtest.h>

#include "tests/tag/TagFile.h"

namespace {

using namespace TagFile;
using namespace std::string_literals;

// A block written field by field, for the cases the builder would tidy up.
Bytes RawBlock(std::string_view title, std::string_view comment30, uint8_t byte125, uint8_t byte126,
               uint8_t genre) {
  auto pad = [](std::string_view text, size_t width) {
    Bytes out(text.substr(0, width));
    out.resize(width, '\0');
    return out;
  };
  return "TAG" + pad(title, 30) + pad("Artist", 30) + pad("Album", 30) + pad("1999", 4) +
         pad(comment30, 28) + Bytes(1, static_cast<char>(byte125)) +
         Bytes(1, static_cast<char>(byte126)) + Bytes(1, static_cast<char>(genre));
}

TEST(Id3v1, FieldsOfAPlainBlock) {
  Id3v1Fields v1;
  v1.title = "Harbour Lights";
  v1.artist = "Marlow Avenue";
  v1.album = "Tidewater";
  v1.year = "1998";
  v1.comment = "A comment that fills 30 bytes!";
  v1.genre = 80;
  const auto tag = Read(Mpeg1Header(400) + Id3v1(v1));
  EXPECT_TRUE(tag->ID3v1Exists());
  EXPECT_FALSE(tag->ID3v2Exists());
  EXPECT_EQ(tag->Title(), u"Harbour Lights");
  EXPECT_EQ(tag->Artist(), u"Marlow Avenue");
  EXPECT_EQ(tag->Album(), u"Tidewater");
  EXPECT_EQ(tag->Year(), u"1998");
  EXPECT_EQ(tag->Comments(), u"A comment that fills 30 bytes!");
  EXPECT_EQ(tag->TrackNumber(), u"");
  EXPECT_EQ(tag->GenreID(), 80);
  EXPECT_EQ(tag->Genre(), u"");  // the genre text comes only from ID3v2
  EXPECT_EQ(tag->ID3RevisionV2(), 3);
  // The block is not audio: 400 bytes after the 4-byte header remain.
  EXPECT_EQ(CountedAudioBytes(*tag), 400);
}

TEST(Id3v1, TrackByteMakesAnId3v11BlockOnlyAfterAZero) {
  const auto v11 = Read(Mpeg1Header(10) + RawBlock("T", "Comment", 0, 5, 17));
  EXPECT_EQ(v11->TrackNumber(), u"5");
  EXPECT_EQ(v11->Comments(), u"Comment");

  const auto track255 = Read(RawBlock("T", "", 0, 255, 17));
  EXPECT_EQ(track255->TrackNumber(), u"255");

  const auto no_track = Read(RawBlock("T", "Comment", 0, 0, 17));
  EXPECT_EQ(no_track->TrackNumber(), u"");

  // A space at 125 makes bytes 125 and 126 part of a 30-byte comment.
  const auto plain = Read(RawBlock("T", "0123456789012345678901234567", ' ', '5', 17));
  EXPECT_EQ(plain->TrackNumber(), u"");
  EXPECT_EQ(plain->Comments(), u"0123456789012345678901234567 5");
}

TEST(Id3v1, TextIsCutAtNulAndLosesTrailingSpacesOnly) {
  EXPECT_EQ(Read(RawBlock("Abc\0xyz"s, "", 0, 0, 0))->Title(), u"Abc");
  EXPECT_EQ(Read(RawBlock("Abc" + std::string(27, ' '), "", 0, 0, 0))->Title(), u"Abc");
  EXPECT_EQ(Read(RawBlock(std::string(30, ' '), "", 0, 0, 0))->Title(), u"");
  EXPECT_EQ(Read(RawBlock("  Abc\t  ", "", 0, 0, 0))->Title(), u"  Abc\t");
  // Bytes are Windows-1252 characters.
  EXPECT_EQ(Read(RawBlock("Caf\xE9 \x80", "", 0, 0, 0))->Title(), u"Caf\u00E9 \u20AC");
}

TEST(Id3v1, FileOfExactly128BytesIsAllTag) {
  const auto tag = Read(RawBlock("Only a tag", "", 0, 3, 1));
  EXPECT_TRUE(tag->ID3v1Exists());
  EXPECT_EQ(tag->Title(), u"Only a tag");
  EXPECT_EQ(tag->TrackNumber(), u"3");
  EXPECT_EQ(tag->Layer(), 0);  // no audio to find a frame in
}

TEST(Id3v1, ShortFilesAndWrongMarkersHoldNoBlock) {
  EXPECT_FALSE(Read(RawBlock("T", "", 0, 0, 0).substr(1))->ID3v1Exists());
  Bytes lower = RawBlock("T", "", 0, 0, 0);
  lower[0] = 't';
  EXPECT_FALSE(Read(lower)->ID3v1Exists());
  EXPECT_FALSE(Read("TAG")->ID3v1Exists());
  EXPECT_FALSE(Read("")->ID3v1Exists());
}

TEST(Id3v1, FillsOnlyWhatId3v2LeftEmpty) {
  Id3v1Fields v1;
  v1.title = "B";
  v1.artist = "V1 artist";
  v1.comment = "v1 comment";
  v1.year = "1999";
  v1.track = 9;
  const Bytes frames = Frame(3, "TIT2", TextBody(Encoding::Latin1, u"A")) +
                       Frame(3, "TRCK", TextBody(Encoding::Latin1, u"3/9")) +
                       Frame(3, "COMM", CommentBody(Encoding::Latin1, "eng", u"x", u"y"));
  const auto tag = Read(Id3v2Tag(3, frames) + Mpeg1Header(100) + Id3v1(v1));
  EXPECT_EQ(tag->Title(), u"A");
  EXPECT_EQ(tag->Artist(), u"V1 artist");
  EXPECT_EQ(tag->Year(), u"1999");
  EXPECT_EQ(tag->TrackNumber(), u"3");
  EXPECT_EQ(tag->TracksTotal(), u"9");
  EXPECT_EQ(tag->Comments(), u"v1 comment");  // the described comment did not count
}

TEST(Id3v1, GenreByteReplacesOnlyNoGenreOrOther) {
  auto genre_after = [](std::u16string_view tcon, uint8_t byte) {
    Id3v1Fields v1;
    v1.genre = byte;
    const Bytes tag =
        tcon.empty() ? Bytes() : Id3v2Tag(3, Frame(3, "TCON", TextBody(Encoding::Latin1, tcon)));
    return Read(tag + Mpeg1Header(10) + Id3v1(v1))->GenreID();
  };
  EXPECT_EQ(genre_after(u"(12)", 17), 17);
  EXPECT_EQ(genre_after(u"(13)", 17), 13);
  EXPECT_EQ(genre_after(u"Rock", 17), 17);  // a text without a number leaves 255
  EXPECT_EQ(genre_after(u"(RX)", 17), -1);
  EXPECT_EQ(genre_after(u"", 200), 200);
  EXPECT_EQ(genre_after(u"", 255), 255);
}

}  // namespace
