#include <gtest/gtest.h>

#include "export/TextLines.h"
#include "tests/support/ReferenceLines.h"

using TextLines::AlignedLine;
using TextLines::ClipboardLine;

namespace {
QStringList L(std::initializer_list<const char16_t*> cells) {
  QStringList out;
  for (const char16_t* c : cells) out.append(QString::fromUtf16(c));
  return out;
}

// The exports' lines, decoded back for the comparison.
QString Csv(const QStringList& cells, bool formula_safe = false) {
  const std::vector<QStringView> views(cells.begin(), cells.end());
  std::string line;
  TextLines::AppendCsvLineUtf8(line, views, formula_safe);
  return QString::fromStdString(line);
}

QString Json(const QStringList& headers, const QStringList& cells) {
  const std::vector<QStringView> views(cells.begin(), cells.end());
  std::string line;
  TextLines::AppendJsonLineUtf8(line, TextLines::JsonKeys(headers), views);
  return QString::fromStdString(line);
}
}  // namespace

TEST(TextLinesTest, FieldsArePaddedToTheirWidthAndClosedByATab) {
  EXPECT_EQ(AlignedLine(L({u"a.mp3", u"Long title"}), {8, 10}),
            QStringLiteral("a.mp3   \tLong title\t"));
  // An empty cell becomes width spaces; a cell wider than its column is not cut.
  EXPECT_EQ(AlignedLine(L({u"", u"toolong"}), {3, 4}), QStringLiteral("   \ttoolong\t"));
  EXPECT_EQ(AlignedLine({}, {}), QString());
}

TEST(TextLinesTest, WidthsCountUtf16CodeUnits) {
  // U+1F600 takes two code units, so it fills a column of 2; "é" one.
  EXPECT_EQ(AlignedLine(L({u"\U0001F600", u"é"}), {3, 3}),
            QString::fromUtf16(u"\U0001F600 \té  \t"));
}

TEST(TextLinesTest, ClipboardLineDropsTheLastTabAndTrailingSpaces) {
  EXPECT_EQ(ClipboardLine(L({u"a.mp3", u"Long title"}), {6, 10}),
            QStringLiteral("a.mp3 \tLong title\r\n"));
  EXPECT_EQ(ClipboardLine(L({u"bb.mp3", u""}), {6, 10}), QStringLiteral("bb.mp3\t\r\n"));
  // Spaces the last text ends with go too, and a bare first column loses its padding.
  EXPECT_EQ(ClipboardLine(L({u"x", u"end  "}), {3, 8}), QStringLiteral("x  \tend\r\n"));
  EXPECT_EQ(ClipboardLine(L({u"x"}), {5}), QStringLiteral("x\r\n"));
  EXPECT_EQ(TextLines::ClipboardLineBound({6, 10}), 6 + 1 + 10 + 1 + 2);
}

TEST(TextLinesTest, CsvQuotesOnlyWhatNeedsIt) {
  EXPECT_EQ(Csv(L({u"plain", u"", u"a,b", u"say \"hi\"", u"two\r\nlines"})),
            QStringLiteral("plain,,\"a,b\",\"say \"\"hi\"\"\",\"two\r\nlines\"\r\n"));
  EXPECT_EQ(Csv(L({u"=1+1", u" spaced "})), QStringLiteral("=1+1, spaced \r\n"));
}

TEST(TextLinesTest, FormulaSafeCsvMarksOnlyTheFirstCharacter) {
  EXPECT_EQ(Csv(L({u"a=b", u"", u"-", u"'=x", u"@", u" =x"}), true),
            QStringLiteral("a=b,,'-,'=x,'@, =x\r\n"));
  EXPECT_EQ(Csv(L({u"\r=", u"=a,b"}), true), QStringLiteral("\"'\r=\",\"'=a,b\"\r\n"));
}

TEST(TextLinesTest, JsonLineKeysByHeaderAndEscapes) {
  const QString line = Json(L({u"Filename", u"Title", u"Lyrics"}),
                            L({u"a\"b\\.mp3", u"Tab\there", u"one\r\ntwo\x01"}));
  EXPECT_EQ(line, QStringLiteral("{\"Filename\":\"a\\\"b\\\\.mp3\",\"Title\":\"Tab\\there\","
                                 "\"Lyrics\":\"one\\r\\ntwo\\u0001\"}\n"));
  // A lone surrogate cannot stand in UTF-8; a pair is kept.
  QString lone = QStringLiteral("x");
  lone.append(QChar(0xD800));
  EXPECT_EQ(Json(L({u"T"}), QStringList{lone}), QString::fromUtf16(u"{\"T\":\"x\uFFFD\"}\n"));
  EXPECT_EQ(Json(L({u"T", u"U"}), L({u"\U0001F600"})),
            QString::fromUtf16(u"{\"T\":\"\U0001F600\",\"U\":\"\"}\n"));
}

TEST(TextLinesTest, WorkbookCellsLoseNulsAndAreCutAtTheLimit) {
  bool cut = true;
  EXPECT_EQ(TextLines::WorkbookCellText(QString::fromUtf16(u"a\0b", 3), cut),
            QString::fromUtf16(u"a\uFFFDb"));
  EXPECT_FALSE(cut);
  const QString exact(TextLines::kWorkbookCellLimit, u'x');
  EXPECT_EQ(TextLines::WorkbookCellText(exact, cut), exact);
  EXPECT_FALSE(cut);
  EXPECT_EQ(TextLines::WorkbookCellText(exact + u'y', cut), exact);
  EXPECT_TRUE(cut);
  // Never between the halves of a pair.
  QString pair(TextLines::kWorkbookCellLimit - 1, u'x');
  pair += QString::fromUtf16(u"\U0001F600");
  EXPECT_EQ(TextLines::WorkbookCellText(pair, cut).size(), TextLines::kWorkbookCellLimit - 1);
  EXPECT_TRUE(cut);
  EXPECT_EQ(TextLines::WithoutEquals(QStringLiteral("=a=b==")), QStringLiteral("ab"));
}

TEST(TextLinesTest, DirectUtf8MatchesTheTextLine) {
  QString lone = QStringLiteral("ab");
  lone.insert(1, QChar(0xDC00));  // a low half with no high half before it
  const QStringList cells = {QStringLiteral("plain"), QString::fromUtf16(u"Zoë Åsa"),
                             QString::fromUtf16(u"\u20AC \U0001F600"), QString(), lone};
  const std::vector<int> widths = {7, 3, 6, 2, 4};
  std::string direct;
  for (qsizetype c = 0; c < cells.size(); ++c)
    TextLines::AppendPaddedFieldUtf8(direct, cells[c], widths[size_t(c)]);
  QString line = AlignedLine(cells, widths);
  line.replace(QChar(0xDC00), QChar(QChar::ReplacementCharacter));
  EXPECT_EQ(QByteArray::fromStdString(direct), line.toUtf8());
}

// The streaming exports build their lines straight in UTF-8; every byte must be what the
// QString lines turn into, whatever the cells hold.
TEST(TextLinesTest, Utf8LinesAreTheBytesOfTheTextLines) {
  const auto unit = [](char16_t u) { return QString(QChar(u)); };
  const QStringList tricky = {
      QString(),
      QStringLiteral("plain"),
      QStringLiteral("a,b"),
      QStringLiteral("say \"hi\" \"\""),
      QStringLiteral("two\r\nlines\n"),
      QStringLiteral("=1+1"),
      QStringLiteral("-x,\"y\""),
      QStringLiteral("@"),
      QStringLiteral("\tlead"),
      QString::fromUtf16(u"Caf\u00E9 \u6771\u4EAC \U0001F600 \u00FF\u0100"),
      QStringLiteral("back\\slash \x01\x1F\x7F"),
      unit(0xD800),
      QStringLiteral("x") + unit(0xDC00) + QStringLiteral("y"),
      unit(0xD83D) + QStringLiteral("\""),
      QStringLiteral("\"") + unit(0xD83D) + unit(0xDE00) + unit(0xD83D),
      QStringLiteral("end") + unit(0xDBFF),
  };
  for (const bool safe : {false, true}) {
    for (qsizetype i = 0; i < tricky.size(); ++i) {
      const QStringList cells = {tricky[i], tricky[(i + 3) % tricky.size()], tricky.back()};
      const std::vector<QStringView> views(cells.begin(), cells.end());
      std::string csv = "kept";
      TextLines::AppendCsvLineUtf8(csv, views, safe);
      EXPECT_EQ(csv, "kept" + ReferenceLines::CsvLine(cells, safe).toUtf8().toStdString()) << i;
    }
  }
  // Rows of many cells, long and short, run past the writer's buffer at every offset.
  QStringList row;
  for (int c = 0; c < 70; ++c)
    row.append(c % 3 == 0 ? QString() : QString(c * 9 % 700, QChar(c % 2 ? u'\u00E9' : u'x')));
  row[5] = QString(600, u'"');
  // Fields that turn out to need quotes only after the writer's buffer has been written out.
  row[7] = QString(700, u'x') + u',';
  row[8] = QString(300, QChar(0xE9)) + QStringLiteral("\nend");
  for (const bool safe : {false, true}) {
    const std::vector<QStringView> views(row.begin(), row.end());
    std::string csv;
    TextLines::AppendCsvLineUtf8(csv, views, safe);
    EXPECT_EQ(csv, ReferenceLines::CsvLine(row, safe).toUtf8().toStdString());
  }
  QStringList long_headers;
  for (int c = 0; c < 70; ++c) long_headers.append(QString(c * 13 % 600, QChar(u'k')));
  const std::vector<QStringView> row_views(row.begin(), row.end());
  std::string long_json;
  TextLines::AppendJsonLineUtf8(long_json, TextLines::JsonKeys(long_headers), row_views);
  EXPECT_EQ(long_json, ReferenceLines::JsonLine(long_headers, row).toUtf8().toStdString());

  const QStringList headers = {"Filename", QString::fromUtf16(u"T\u00EFtle \"q\""), "L\nx"};
  const std::vector<std::string> keys = TextLines::JsonKeys(headers);
  for (qsizetype i = 0; i < tricky.size(); ++i) {
    for (const qsizetype count : {3, 1, 0}) {
      const QStringList cells =
          QStringList{tricky[i], tricky[(i + 5) % tricky.size()], tricky[(i + 7) % tricky.size()]}
              .mid(0, count);
      const std::vector<QStringView> views(cells.begin(), cells.end());
      std::string json;
      TextLines::AppendJsonLineUtf8(json, keys, views);
      EXPECT_EQ(json, ReferenceLines::JsonLine(headers, cells).toUtf8().toStdString()) << i;
    }
  }
}

// Short cells go through in blocks of four and eight units that may overlap: one unit that stops
// a block, wherever it stands in a cell of any short length, must come out as the lines say.
TEST(TextLinesTest, Utf8WritersHandleEveryUnitOfShortCells) {
  const char16_t odd[] = {u',', u'"', u'\n', u'\x01', u'\\', u'\u00E9', u'\u6771', 0xD800};
  const QStringList headers = {"a", "b"};
  const std::vector<std::string> keys = TextLines::JsonKeys(headers);
  for (int length = 1; length <= 20; ++length) {
    for (int at = 0; at < length; ++at) {
      for (const char16_t unit : odd) {
        QString cell(length, u'x');
        cell[at] = QChar(unit);
        const QStringList cells = {cell, QStringLiteral("y")};
        const std::vector<QStringView> views(cells.begin(), cells.end());
        std::string csv;
        TextLines::AppendCsvLineUtf8(csv, views, false);
        EXPECT_EQ(csv, ReferenceLines::CsvLine(cells, false).toUtf8().toStdString())
            << length << at;
        std::string json;
        TextLines::AppendJsonLineUtf8(json, keys, views);
        EXPECT_EQ(json, ReferenceLines::JsonLine(headers, cells).toUtf8().toStdString())
            << length << at;
        std::string text;
        TextLines::AppendUtf8(text, cell);
        QString lone = cell;
        lone.replace(QChar(0xD800), QChar(QChar::ReplacementCharacter));
        EXPECT_EQ(QByteArray::fromStdString(text), lone.toUtf8()) << length << at;
      }
    }
  }
}
