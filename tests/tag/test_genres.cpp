// The genre table, name matching, and the parenthesised number at the start of an ID3v2 genre.
#include <gtest/gtest.h>

#include <ostream>

#include "tests/tag/TagFile.h"

namespace {

using namespace TagFile;

TEST(GenreName, CoversTheTableAndTheThreeSpecialNumbers) {
  EXPECT_EQ(clsID3::GenreName(0), u"Blues");
  EXPECT_EQ(clsID3::GenreName(17), u"Rock");
  EXPECT_EQ(clsID3::GenreName(78), u"Rock & Roll");
  EXPECT_EQ(clsID3::GenreName(133), u"Negerpunk");
  EXPECT_EQ(clsID3::GenreName(147), u"Synthpop");
  EXPECT_EQ(clsID3::GenreName(255), u"Unknown");
  EXPECT_EQ(clsID3::GenreName(-1), u"Remix");
  EXPECT_EQ(clsID3::GenreName(-2), u"Cover");
  for (int32_t id : {148, 200, 254, 256, -3, INT32_MIN, INT32_MAX}) {
    EXPECT_EQ(clsID3::GenreName(id), u"") << id;
  }
  for (int32_t id = 0; id <= 147; ++id) EXPECT_FALSE(clsID3::GenreName(id).empty()) << id;
}

TEST(ToGenreID, EveryNameFindsItsOwnNumber) {
  for (int32_t id = -2; id <= 147; ++id) {
    // "Pop/Funk" and "Pop-Folk" share no key with an earlier entry, so every name maps back.
    EXPECT_EQ(clsID3::ToGenreID(clsID3::GenreName(id)), id) << id;
  }
  EXPECT_EQ(clsID3::ToGenreID(u"Unknown"), 255);
}

TEST(ToGenreID, MatchKeyDropsJoinersSpacesAndCase) {
  EXPECT_EQ(clsID3::ToGenreID(u"Rock and Roll"), 78);
  EXPECT_EQ(clsID3::ToGenreID(u"rock & roll"), 78);
  EXPECT_EQ(clsID3::ToGenreID(u"ROCK&ROLL"), 78);
  EXPECT_EQ(clsID3::ToGenreID(u"hip hop"), 7);
  EXPECT_EQ(clsID3::ToGenreID(u"Jazz Funk"), 29);
  EXPECT_EQ(clsID3::ToGenreID(u"remix"), -1);
  EXPECT_EQ(clsID3::ToGenreID(u"cover"), -2);
  EXPECT_EQ(clsID3::ToGenreID(u"unknown"), 255);
  EXPECT_EQ(clsID3::ToGenreID(u"  synth-pop "), 147);
}

TEST(ToGenreID, EmptyTextMeansNoneAndNoMatchMeansOther) {
  EXPECT_EQ(clsID3::ToGenreID(u""), 255);
  EXPECT_EQ(clsID3::ToGenreID(u"   "), 255);
  EXPECT_EQ(clsID3::ToGenreID(u"/"), 12);
  EXPECT_EQ(clsID3::ToGenreID(u"Rock AND Roll"), 12);  // only the lower-case joiner goes
  EXPECT_EQ(clsID3::ToGenreID(u"Alternative Rock"), 12);
  EXPECT_EQ(clsID3::ToGenreID(u"17"), 12);
}

struct GenreCase {
  std::u16string frame_text;
  int32_t id;
  std::u16string genre;
};

// Names the case by its frame text, so test listings stay readable and the same on every run.
void PrintTo(const GenreCase& c, std::ostream* os) {
  *os << '"';
  for (char16_t unit : c.frame_text) *os << static_cast<char>(unit < 0x80 ? unit : '?');
  *os << '"';
}

class Id3v2GenreText : public ::testing::TestWithParam<GenreCase> {};

TEST_P(Id3v2GenreText, SetsGenreAndNumber) {
  const GenreCase& c = GetParam();
  const auto tag = Read(Id3v2Tag(3, Frame(3, "TCON", TextBody(Encoding::Latin1, c.frame_text))) +
                        Mpeg1Header(100));
  EXPECT_EQ(tag->GenreID(), c.id);
  EXPECT_EQ(tag->Genre(), c.genre);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Id3v2GenreText,
    ::testing::Values(GenreCase{u"(17)Rock", 17, u"Rock"}, GenreCase{u"(RX)", -1, u""},
                      GenreCase{u"(CR)Live", -2, u"Live"}, GenreCase{u"(cr)", 255, u""},
                      GenreCase{u"(17", 255, u"(17"}, GenreCase{u"Rock", 255, u"Rock"},
                      GenreCase{u"17", 255, u"17"}, GenreCase{u"(17)(18)", 17, u"(18)"},
                      GenreCase{u"(2.5)", 2, u""}, GenreCase{u"(3.5)", 4, u""},
                      GenreCase{u"(-1)", -1, u""}, GenreCase{u"()Jazz", 255, u"Jazz"},
                      GenreCase{u" (17)", 255, u" (17)"}, GenreCase{u"", 255, u""}));

}  // namespace
