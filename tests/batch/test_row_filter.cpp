// The filter language on its own: terms, columns, quoting, accents, numbers and the errors.
#include <gtest/gtest.h>

#include <QStringList>
#include <vector>

#include "batch/RowFilter.h"

namespace {

const QStringList kHeaders = {"Filename", "Title", "Artist",   "Band",  "Year",
                              "Bit rate", "Genre", "Duration", "Status"};

struct Row {
  QStringList cells;  // in kHeaders' order; missing ones empty
};

const std::vector<Row> kRows = {
    {{"01 Café.mp3", "Café del Mar", "Énigma", "Marlow Ave.", "2004", "128", "Rock", "0:03:05",
      "read"}},
    {{"02 live.mp3", "Live at Leeds", "The Who", "", "1970", "96", "Rock", "1:02:00", "truncated"}},
    {{"03 straße.mp3", "", "ＦＵＬＬ", "Marlow Avenue", "2010-05-01", "320", "Jazz", "", "read"}},
    {{"04 empty.mp3", "Quiet", "", "", "", "", "", "", "no tags"}},
};

// The filenames of the rows the filter keeps; "error: ..." when it does not parse or bind.
QString Kept(const QString& text, qsizetype searched = kHeaders.size()) {
  RowFilter::Problem problem;
  std::optional<RowFilter> filter = RowFilter::Parse(text, problem);
  if (!filter) return "error: " + problem.Text();
  QString missing;
  if (!filter->Bind(kHeaders, searched, missing)) return "missing: " + missing;
  QStringList kept;
  for (const Row& row : kRows) {
    std::vector<QStringView> cells(row.cells.begin(), row.cells.end());
    if (filter->Matches(cells)) kept.append(row.cells[0].left(2));
  }
  return kept.join(u' ');
}

TEST(RowFilter, PlainWordsAndPhrasesMatchAnyCellIgnoringCaseAndAccents) {
  EXPECT_EQ(Kept(""), "01 02 03 04");
  EXPECT_EQ(Kept("   "), "01 02 03 04");
  EXPECT_EQ(Kept("cafe"), "01");
  EXPECT_EQ(Kept("CAFÉ"), "01");
  EXPECT_EQ(Kept("enigma"), "01");
  EXPECT_EQ(Kept("full"), "03");     // full-width letters are their plain forms
  EXPECT_EQ(Kept("STRASSE"), "03");  // "ß" folds to "ss"
  EXPECT_EQ(Kept("rock"), "01 02");
  EXPECT_EQ(Kept("rock leeds"), "02");  // every term must hold
  EXPECT_EQ(Kept("\"at leeds\""), "02");
  EXPECT_EQ(Kept("\"leeds at\""), "");
  // Only the cells shown are searched: the Artist column onwards is not shown here.
  EXPECT_EQ(Kept("who", 2), "");
  EXPECT_EQ(Kept("who", 3), "02");
}

TEST(RowFilter, ColumnTermsContainEqualOrAreEmpty) {
  EXPECT_EQ(Kept("status:truncated"), "02");
  EXPECT_EQ(Kept("band:\"Marlow Ave.\""), "01");
  EXPECT_EQ(Kept("band:marlow"), "01 03");
  EXPECT_EQ(Kept("title=café del mar"), "");  // "=" takes one piece; a phrase needs quotes
  EXPECT_EQ(Kept("title=\"cafe DEL mar\""), "01");
  EXPECT_EQ(Kept("title=quiet"), "04");
  EXPECT_EQ(Kept("title=qui"), "");
  EXPECT_EQ(Kept("title="), "03");
  EXPECT_EQ(Kept("-title="), "01 02 04");
  EXPECT_EQ(Kept("artist= band="), "04");
  // The column is any catalogue header, named ignoring case and spaces.
  EXPECT_EQ(Kept("bitrate<100"), "02");
  EXPECT_EQ(Kept("Bit Rate<100"), "02");
  EXPECT_EQ(Kept("BIT RATE:96"), "02");
  EXPECT_EQ(Kept("-bit rate<100"), "01 03 04");
}

TEST(RowFilter, ComparisonsTakeNumbersAndDurationsAndNeverAnEmptyCell) {
  EXPECT_EQ(Kept("bitrate<128"), "02");
  EXPECT_EQ(Kept("bitrate<=128"), "01 02");
  EXPECT_EQ(Kept("bitrate>128"), "03");
  EXPECT_EQ(Kept("bitrate>=128"), "01 03");
  EXPECT_EQ(Kept("bitrate>=0"), "01 02 03");  // row 4 has no bit rate
  EXPECT_EQ(Kept("year>=2004"), "01 03");     // "2010-05-01" is 2010
  EXPECT_EQ(Kept("year>=2004 genre:rock"), "01");
  EXPECT_EQ(Kept("duration>3:00"), "01 02");
  EXPECT_EQ(Kept("duration>185"), "02");
  EXPECT_EQ(Kept("duration<=0:03:05"), "01");
  EXPECT_EQ(Kept("duration>1:00:00"), "02");
  EXPECT_EQ(Kept("duration<1.5"), "");
  EXPECT_EQ(Kept("bitrate>-1"), "01 02 03");
  // A cell that is no number satisfies no comparison, and its negation keeps it.
  EXPECT_EQ(Kept("status<5"), "");
  EXPECT_EQ(Kept("-status<5"), "01 02 03 04");
}

TEST(RowFilter, NegationAndAlternatives) {
  EXPECT_EQ(Kept("-genre:rock"), "03 04");
  EXPECT_EQ(Kept("-genre:rock -status:read"), "04");
  EXPECT_EQ(Kept("genre:jazz OR status:truncated"), "02 03");
  // OR binds looser than the terms beside it.
  EXPECT_EQ(Kept("rock cafe OR jazz"), "01 03");
  EXPECT_EQ(Kept("-rock OR leeds"), "02 03 04");
  EXPECT_EQ(Kept("rock or"), "");  // a lower-case "or" is a word
}

TEST(RowFilter, QuotesHoldBlanksOperatorsAndEscapes) {
  EXPECT_EQ(Kept("\"title:x\""), "");  // quoted, it is a phrase, not a column term
  EXPECT_EQ(Kept("\"Marlow Ave.\""), "01");
  EXPECT_EQ(Kept("band=\"marlow avenue\""), "03");
  RowFilter::Problem problem;
  std::optional<RowFilter> filter = RowFilter::Parse(uR"(title:"say \"hi\" \\ now")", problem);
  ASSERT_TRUE(filter);
  QString missing;
  ASSERT_TRUE(filter->Bind({"Title"}, 1, missing));
  const std::vector<QStringView> cells = {uR"(They say "HI" \ now)"};
  EXPECT_TRUE(filter->Matches(cells));
  EXPECT_EQ(filter->Columns(), QStringList({"Title"}));
}

TEST(RowFilter, MalformedTextIsAnErrorNamingThePlace) {
  EXPECT_EQ(Kept("bitrat<128"), "error: unknown column 'bitrat' (at character 1)");
  EXPECT_EQ(Kept("rock  mood:x"), "error: unknown column 'mood' (at character 7)");
  EXPECT_EQ(Kept("bitrate<fast"),
            "error: '<' needs a number or a duration (h:mm:ss) after it (at character 9)");
  EXPECT_EQ(Kept("duration>=3:"),
            "error: '>=' needs a number or a duration (h:mm:ss) after it (at character 11)");
  EXPECT_EQ(Kept("bit rate<x"),
            "error: '<' needs a number or a duration (h:mm:ss) after it (at character 10)");
  EXPECT_EQ(Kept("bitrate<"),
            "error: '<' needs a number or a duration (h:mm:ss) after it (at character 9)");
  EXPECT_EQ(Kept("title:"), "error: ':' needs a word or a \"phrase\" after it (at character 7)");
  EXPECT_EQ(Kept(":rock"), "error: a column name is missing before ':' (at character 1)");
  EXPECT_EQ(Kept("band:\"Marlow"), "error: the quote is not closed (at character 6)");
  EXPECT_EQ(Kept("\"a\"b"), "error: a blank is needed after the closing quote (at character 4)");
  EXPECT_EQ(Kept("\"\""), "error: an empty phrase (at character 1)");
  EXPECT_EQ(Kept("rock -"), "error: '-' needs a term right after it (at character 6)");
  EXPECT_EQ(Kept("OR rock"), "error: OR needs a term before it (at character 1)");
  EXPECT_EQ(Kept("rock OR"), "error: OR needs a term after it (at character 6)");
  EXPECT_EQ(Kept("rock OR OR jazz"), "error: OR needs a term after it (at character 6)");
  // A column the catalogue knows but the rows do not hold.
  EXPECT_EQ(Kept("comments:x"), "missing: Comments");
}

}  // namespace
