// Lyrics3 v1 and v2 blocks between the audio and the ID3v1 block.
#include <gtest/gtest.h>

#include "tag/Lyrics3.h"
#include "tests/tag/TagFile.h"

namespace {

using namespace TagFile;
using namespace std::string_literals;

// 1000 audio bytes after the first header, so moves of the audio's end show in the length.
Bytes Audio() { return Mpeg1Header(1000); }

// A hand-made v2 block ends with its size in six digits.
Bytes CloseV2(const Bytes& begin_and_fields) {
  std::string size = std::to_string(begin_and_fields.size());
  return begin_and_fields + std::string(6 - size.size(), '0') + size + "LYRICS200";
}

TEST(Lyrics3v2, BlockWithTimestampsMovesTheEndOfAudio) {
  // LYRICSBEGIN, IND00002 "11", LYR00012 "[00:01]Hello", size 000041, LYRICS200.
  const Bytes block = "LYRICSBEGININD0000211LYR00012[00:01]Hello000041LYRICS200"s;
  ASSERT_EQ(block, Lyrics3v2({{"IND", "11"}, {"LYR", "[00:01]Hello"}}));
  const auto tag = Read(Audio() + block);
  EXPECT_TRUE(tag->Lyrics3v2Exists());
  EXPECT_FALSE(tag->Lyrics3v1Exists());
  EXPECT_EQ(tag->Lyrics(), u"Hello");
  EXPECT_EQ(CountedAudioBytes(*tag), 1000);  // the 56 bytes of the block are not audio

  const auto untimed = Read(Audio() + Lyrics3v2({{"IND", "10"}, {"LYR", "[00:01]Hello"}}));
  EXPECT_EQ(untimed->Lyrics(), u"[00:01]Hello");
  // IND after LYR comes too late to strip anything.
  const auto late = Read(Audio() + Lyrics3v2({{"LYR", "[00:01]Hello"}, {"IND", "11"}}));
  EXPECT_EQ(late->Lyrics(), u"[00:01]Hello");
  const auto short_ind = Read(Audio() + Lyrics3v2({{"IND", "1"}, {"LYR", "[00:01]Hi"}}));
  EXPECT_EQ(short_ind->Lyrics(), u"[00:01]Hi");
}

TEST(Lyrics3v2, ExtendedFieldsFillOnlyEmptyFields) {
  const Bytes fields = Lyrics3v2({{"ETT", "Song"},
                                  {"EAR", "Singer"},
                                  {"EAL", "Record"},
                                  {"AUT", "Writer"},
                                  {"INF", "ignored"},
                                  {"LYR", "Words"}});
  Id3v1Fields v1;
  v1.title = "C";
  v1.artist = "V1 artist";
  const auto no_v2 = Read(Audio() + fields + Id3v1(v1));
  EXPECT_EQ(no_v2->Title(), u"Song");  // the ID3v1 title is then not used
  EXPECT_EQ(no_v2->Artist(), u"Singer");
  EXPECT_EQ(no_v2->Album(), u"Record");
  EXPECT_EQ(no_v2->Lyricist(), u"Writer");
  EXPECT_EQ(no_v2->Lyrics(), u"Words");
  EXPECT_EQ(CountedAudioBytes(*no_v2), 1000);

  const Bytes id3v2 =
      Id3v2Tag(3, Frame(3, "TIT2", TextBody(Encoding::Latin1, u"A")) +
                      Frame(3, "USLT", CommentBody(Encoding::Latin1, "eng", u"", u"V2 words")));
  const auto with_v2 = Read(id3v2 + Audio() + fields + Id3v1(v1));
  EXPECT_EQ(with_v2->Title(), u"A");
  EXPECT_EQ(with_v2->Lyrics(), u"V2 words");
  EXPECT_EQ(with_v2->Artist(), u"Singer");

  const auto neither = Read(Audio() + Lyrics3v2({{"LYR", "x"}}) + Id3v1(v1));
  EXPECT_EQ(neither->Title(), u"C");
}

TEST(Lyrics3v2, EscapesBecomeLineBreaks) {
  auto lyrics = [](std::string_view value) {
    return Read(Audio() + Lyrics3v2({{"LYR", std::string(value)}}))->Lyrics();
  };
  EXPECT_EQ(lyrics("a[CR][LF]b"), u"a\r\nb");
  EXPECT_EQ(lyrics("a[LF]b"), u"a\nb");
  EXPECT_EQ(lyrics("a[CR]b[cr]"), u"a\rb[cr]");
  EXPECT_EQ(lyrics("Caf\xE9"), u"Caf\u00E9");
}

TEST(Lyrics3v2, MalformedBlocksKeepTheFlagAndLoseNothingElse) {
  // Size field "00001A" is not a number.
  Bytes bad_size = Lyrics3v2({{"LYR", "x"}});
  bad_size.replace(bad_size.size() - 15, 6, "00001A");
  auto tag = Read(Audio() + bad_size);
  EXPECT_TRUE(tag->Lyrics3v2Exists());
  EXPECT_EQ(tag->Lyrics(), u"");
  EXPECT_EQ(CountedAudioBytes(*tag), 1000 + static_cast<long long>(bad_size.size()));

  // A size that points outside the start marker.
  Bytes wrong_start = Lyrics3v2({{"LYR", "x"}});
  wrong_start.replace(wrong_start.size() - 15, 6, "000010");
  tag = Read(Audio() + wrong_start);
  EXPECT_TRUE(tag->Lyrics3v2Exists());
  EXPECT_EQ(tag->Lyrics(), u"");

  // A size larger than the file.
  Bytes too_big = Lyrics3v2({{"LYR", "x"}});
  too_big.replace(too_big.size() - 15, 6, "999999");
  tag = Read(too_big);
  EXPECT_TRUE(tag->Lyrics3v2Exists());
  EXPECT_EQ(tag->Lyrics(), u"");

  // A field whose size is not digits ends the walk after the fields before it.
  const Bytes broken =
      "LYRICSBEGIN"s + Lyrics3Field("ETT", "Kept") + "EAR00x03abc" + Lyrics3Field("EAL", "Lost");
  tag = Read(Audio() + CloseV2(broken));
  EXPECT_EQ(tag->Title(), u"Kept");
  EXPECT_EQ(tag->Artist(), u"");
  EXPECT_EQ(tag->Album(), u"");

  // A field whose size runs past the block yields the bytes that exist.
  const Bytes overrun = "LYRICSBEGIN"s + "ETT00050Short";
  tag = Read(Audio() + CloseV2(overrun));
  EXPECT_EQ(tag->Title(), u"Short");
}

TEST(Lyrics3v1, LyricsBetweenMarkers) {
  Id3v1Fields v1;
  v1.title = "With v1";
  const auto tag = Read(Audio() + Lyrics3v1("Hello") + Id3v1(v1));
  EXPECT_TRUE(tag->Lyrics3v1Exists());
  EXPECT_FALSE(tag->Lyrics3v2Exists());
  EXPECT_EQ(tag->Lyrics(), u"Hello");
  EXPECT_EQ(tag->Title(), u"With v1");
  // The end of audio stays at the ID3v1 block.
  EXPECT_EQ(CountedAudioBytes(*tag), 1000 + 11 + 5 + 9);

  // The last start marker wins.
  EXPECT_EQ(Read(Audio() + Lyrics3v1("one LYRICSBEGINtwo"))->Lyrics(), u"two");

  // 30 bytes: 9 others, then 'LYRICSBEGIN' 'x' 'LYRICSEND'.
  const auto small = Read("123456789LYRICSBEGINxLYRICSEND"s);
  EXPECT_TRUE(small->Lyrics3v1Exists());
  EXPECT_EQ(small->Lyrics(), u"x");

  // No start marker: the flag alone.
  const auto no_start = Read(Audio() + "just textLYRICSEND");
  EXPECT_TRUE(no_start->Lyrics3v1Exists());
  EXPECT_EQ(no_start->Lyrics(), u"");

  // A start marker further back than 5100 bytes of lyrics is out of reach.
  const auto far = Read(Audio() + Lyrics3v1(std::string(5101, 'a')));
  EXPECT_TRUE(far->Lyrics3v1Exists());
  EXPECT_EQ(far->Lyrics(), u"");
  EXPECT_EQ(Read(Audio() + Lyrics3v1(std::string(5100, 'a')))->Lyrics().size(), 5100u);

  // An ID3v2 lyrics frame wins.
  const Bytes id3v2 =
      Id3v2Tag(3, Frame(3, "USLT", CommentBody(Encoding::Latin1, "eng", u"", u"From v2")));
  EXPECT_EQ(Read(id3v2 + Audio() + Lyrics3v1("From v1"))->Lyrics(), u"From v2");
}

TEST(Lyrics3, StripTimestampsRemovesOnlyWholeNonNegativeStamps) {
  EXPECT_EQ(Lyrics3::StripTimestamps(u"[00:12]Hello\r\n[00:15]World"), u"Hello\r\nWorld");
  EXPECT_EQ(Lyrics3::StripTimestamps(u"[Chorus]"), u"[Chorus]");
  EXPECT_EQ(Lyrics3::StripTimestamps(u"[1:2]a[x]b[-1:00]c"), u"a[x]b[-1:00]c");
  EXPECT_EQ(Lyrics3::StripTimestamps(u"[00:01][00:02]x"), u"x");
  EXPECT_EQ(Lyrics3::StripTimestamps(u"[[00:01]x"), u"[x");
  EXPECT_EQ(Lyrics3::StripTimestamps(u"[1.5:2]x"), u"[1.5:2]x");
  EXPECT_EQ(Lyrics3::StripTimestamps(u"[1:2:3]x"), u"[1:2:3]x");
  EXPECT_EQ(Lyrics3::StripTimestamps(u"[:]x[12:]"), u"[:]x[12:]");
  EXPECT_EQ(Lyrics3::StripTimestamps(u"open [00:01"), u"open [00:01");
  EXPECT_TRUE(Lyrics3::IsAllDigits(std::u16string_view(u"")));
  EXPECT_TRUE(Lyrics3::IsAllDigits(std::u16string_view(u"00042")));
  EXPECT_FALSE(Lyrics3::IsAllDigits(std::u16string_view(u"0004 ")));
}

}  // namespace
