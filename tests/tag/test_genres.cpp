// The genre table, name matching, and the parenthesised number at the start of an ID3v2 genre.
#include <gtest/gtest.h>

#include <ostream>

#include "tag/Genres.h"
#include "tests/tag/TagFile.h"

namespace {

using namespace TagFile;
using namespace std::string_literals;

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
  std::u16string shown;  // what the table shows
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
  EXPECT_EQ(tag->ShownGenre(), c.shown);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Id3v2GenreText,
    ::testing::Values(
        GenreCase{u"(17)Rock", 17, u"Rock", u"Rock"}, GenreCase{u"(RX)", -1, u"", u"Remix"},
        GenreCase{u"(CR)Live", -2, u"Live", u"Live"}, GenreCase{u"(cr)", 255, u"", u"(cr)"},
        GenreCase{u"(17", 255, u"(17", u"(17"}, GenreCase{u"Rock", 255, u"Rock", u"Rock"},
        GenreCase{u"17", 255, u"17", u"Rock"}, GenreCase{u"(17)(18)", 17, u"(18)", u"Rock"},
        GenreCase{u"(2.5)", 2, u"", u"Country"}, GenreCase{u"(3.5)", 4, u"", u"Disco"},
        GenreCase{u"(-1)", -1, u"", u"Remix"}, GenreCase{u"()Jazz", 255, u"Jazz", u"Jazz"},
        GenreCase{u" (17)", 255, u" (17)", u" (17)"}, GenreCase{u"", 255, u"", u""},
        GenreCase{u"(17)", 17, u"", u"Rock"}, GenreCase{u"(12)", 12, u"", u"Other"},
        GenreCase{u"40", 255, u"40", u"AlternRock"}, GenreCase{u"040", 255, u"040", u"AlternRock"},
        GenreCase{u"148", 255, u"148", u"148"}, GenreCase{u"255", 255, u"255", u"255"},
        GenreCase{u" 17", 255, u" 17", u" 17"}, GenreCase{u"(255)", 255, u"", u"(255)"},
        GenreCase{u"(200)", 200, u"", u"(200)"}, GenreCase{u"(255)(18)", 255, u"(18)", u"Techno"},
        GenreCase{u"(17)(18)Eurotrance", 17, u"(18)Eurotrance", u"Eurotrance"},
        GenreCase{u"(17)(Pop)(02)", 17, u"(Pop)(02)", u"(Pop)(02)"},
        GenreCase{u"(200)(201)", 200, u"(201)", u"(200)(201)"}));

TEST(ShownGenre, TheId3v1NumberNamesTheGenreWhenNoTextDoes) {
  const auto v1_only = [](uint8_t genre, const Bytes& tag = {}) {
    Id3v1Fields fields;
    fields.genre = genre;
    return Read(tag + Mpeg1Header(100) + Id3v1(fields))->ShownGenre();
  };
  EXPECT_EQ(v1_only(17), u"Rock");
  EXPECT_EQ(v1_only(0), u"Blues");
  EXPECT_EQ(v1_only(255), u"");
  EXPECT_EQ(v1_only(200), u"");  // no name, and no text stored
  // "(255)" and "(12)" give way to the ID3v1 number; a text does not.
  const auto tcon = [](std::u16string_view text) {
    return Id3v2Tag(3, Frame(3, "TCON", TextBody(Encoding::Latin1, text)));
  };
  EXPECT_EQ(v1_only(17, tcon(u"(255)")), u"Rock");
  EXPECT_EQ(v1_only(17, tcon(u"(12)")), u"Rock");
  EXPECT_EQ(v1_only(17, tcon(u"Jazz")), u"Jazz");
  // A v2.4 list: the first value counts.
  EXPECT_EQ(Read(Id3v2Tag(4, Frame(4, "TCON", TextBody(Encoding::Latin1, u"40\0Rock"s))) +
                 Mpeg1Header(100))
                ->ShownGenre(),
            u"AlternRock");
  // The rule alone, as other callers use it; the fields stay as they were read.
  EXPECT_EQ(Genres::ShownName(u"", 147, u"(147)"), u"Synthpop");
  EXPECT_EQ(Genres::ShownName(u"1000000000", 255, u"1000000000"), u"1000000000");
  EXPECT_EQ(Genres::ShownName(u"", -3, u"(-3)"), u"(-3)");
}

}  // namespace
