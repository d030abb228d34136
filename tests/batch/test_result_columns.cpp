// The columns a user may choose, how a run fills them, and sorting the table by one of them.
#include <gtest/gtest.h>

#include <QStringList>

#include "batch/ColumnCatalogue.h"
#include "batch/ExtractionRun.h"
#include "batch/ResultSort.h"
#include "core/ErrorReport.h"
#include "tests/batch/ChosenColumnsRun.h"
#include "tests/support/TestFiles.h"
#include "tests/support/fakes/FakeServices.h"
#include "tools/samples/SampleBuilder.h"

namespace {

using namespace SampleBuilder;

QString Q(const std::string& s) { return QString::fromStdString(s); }

TEST(ColumnCatalogue, ChoicesAreCheckedAndStoredByHeader) {
  const QStringList defaults = ColumnCatalogue::DefaultHeaders();
  ASSERT_EQ(defaults.size(), 12);
  EXPECT_EQ(defaults.front(), "Filename");
  EXPECT_EQ(defaults.back(), "Copyright");
  EXPECT_TRUE(ColumnCatalogue::IsDefault(defaults));

  QString problem;
  EXPECT_EQ(ColumnCatalogue::Resolve({"status", " bit RATE", "Filename"}, problem),
            QStringList({"Status", "Bit rate", "Filename"}));
  EXPECT_FALSE(ColumnCatalogue::Resolve({"Title", "Mood"}, problem));
  EXPECT_TRUE(problem.contains("Mood"));
  EXPECT_FALSE(ColumnCatalogue::Resolve({"Title", "title"}, problem));
  EXPECT_FALSE(ColumnCatalogue::Resolve({}, problem));

  // What the settings store kept comes back; what no longer resolves gives the defaults.
  const QStringList chosen = {"Folder", "Filename", "Duration"};
  EXPECT_EQ(ColumnCatalogue::Split(ColumnCatalogue::Join(chosen)), chosen);
  EXPECT_EQ(ColumnCatalogue::Split("Title|Gone"), defaults);
  EXPECT_EQ(ColumnCatalogue::Split(""), defaults);

  // Every header is unique, whatever its case, so a choice names one column.
  QStringList seen;
  for (const ColumnCatalogue::Column& column : ColumnCatalogue::All()) {
    EXPECT_FALSE(seen.contains(column.header, Qt::CaseInsensitive)) << column.header.toStdString();
    seen.append(column.header);
  }
}

TEST_F(ChosenColumnsRun, EveryKindOfColumnIsFilledFromTheReadInTheChosenOrder) {
  const MpegFormat format = kMpeg1;
  const int frame = FrameLength(format, false);
  const Bytes tag =
      Id3v2Tag(4, Frame(4, "TIT2", TextBody(Encoding::Utf8, u"Song")) +
                      Frame(4, "TPOS", TextBody(Encoding::Latin1, u"2/3")) +
                      Frame(4, "APIC", PictureBody(4, Encoding::Latin1, "image/png", 3, u"", "P")));
  // 3 829 frames of 1152 samples at 44.1 kHz: 100 s.
  const Bytes audio = XingFrame(format, 3829, 3829 * frame) + SilentFrames(format, 3828);
  const std::string path = dir.Write("Album/01 - Song.mp3", tag + audio);
  const QStringList columns = {"Title",    "Status",         "Duration",     "Bit rate",
                               "VBR",      "MPEG",           "Frames",       "Disc",
                               "Pictures", "Tags",           "Folder",       "Size",
                               "Filename", "ID3v2 revision", "Channel mode", "Sampling rate"};
  const QStringList cells = Cells(columns, {Q(path)});
  ASSERT_EQ(cells.size(), columns.size());
  EXPECT_EQ(cells, QStringList({"Song", "read", "0:01:40", "128", "yes", "MPEG-1 Layer III", "3829",
                                "2", "1", "ID3v2.4", Q(dir.PathOf("Album")),
                                QString::number((tag + audio).size()), "01 - Song.mp3", "2.4",
                                "Joint stereo", "44100"}));
  EXPECT_EQ(caption, "Progress Bar");
}

TEST_F(ChosenColumnsRun, FilesThatGiveNothingSayWhyAndTheCaptionCountsTheUnread) {
  const std::string text = dir.Write("notes.mp3", "a shopping list");
  const QStringList cells = Cells({"Filename", "Status", "Duration", "Size", "Tags"},
                                  {Q(text), Q(dir.PathOf("gone.mp3")), Q(dir.Path().string())});
  EXPECT_EQ(cells,
            QStringList({"notes.mp3", "not MPEG audio", "", "15", "",  //
                         "gone.mp3", "missing", "", "", "",            //
                         Q(dir.Path().filename().string()), "not a regular file", "", "", ""}));
  EXPECT_EQ(caption, "3 files, 2 not read");
  EXPECT_EQ(ExtractionRun::RunSummary(1204, 3), "1 204 files, 3 not read");
  EXPECT_EQ(ExtractionRun::RunSummary(1, 1), "1 file, 1 not read");
  EXPECT_EQ(ExtractionRun::RunSummary(1234567, 1000), "1 234 567 files, 1 000 not read");
}

void Fill(ReportListModel& table, const QStringList& cells) {
  table.AddColumn("Filename");
  table.AddColumn("Year");
  for (const QString& cell : cells) {
    const int row = table.AppendRow(QStringLiteral("r%1").arg(table.RowCount() + 1));
    table.SetSubItem(row, 1, cell);
  }
}

QStringList Names(const ReportListModel& table) { return table.Texts(); }

TEST_F(ChosenColumnsRun, TheGenreColumnShowsTheNameSortsAndCountsByIt) {
  const auto tcon = [](int version, std::u16string_view text) {
    return Id3v2Tag(version, Frame(version, "TCON", TextBody(Encoding::Latin1, text)));
  };
  Id3v1Fields rock;
  rock.genre = 17;
  const Bytes audio = SilentFrames(kMpeg1, 3);
  const QStringList paths = {
      Q(dir.Write("a.mp3", tcon(3, u"(17)") + audio)),
      Q(dir.Write("b.mp3", audio + Id3v1(rock))),
      Q(dir.Write("c.mp3", tcon(4, u"40") + audio)),
      Q(dir.Write("d.mp3", tcon(3, u"(255)") + audio)),
      Q(dir.Write("e.mp3", tcon(3, u"(18)Acid Techno") + audio)),
      Q(dir.Write("f.mp3", audio)),
      Q(dir.Write("g.mp3", tcon(3, u"17") + audio + Id3v1(rock))),
  };
  const QStringList cells = Cells({"Filename", "Genre", "Genre number", "Conflicts"}, paths);
  QStringList rows;
  for (qsizetype at = 0; at + 4 <= cells.size(); at += 4) rows.append(cells.mid(at, 4).join('|'));
  EXPECT_EQ(rows, QStringList({"a.mp3|Rock|17|", "b.mp3|Rock|17|", "c.mp3|AlternRock||",
                               "d.mp3|(255)||", "e.mp3|Acid Techno|18|", "f.mp3|||",
                               "g.mp3|Rock|17|"}));  // g agrees with its ID3v1 genre
  ASSERT_EQ(totals.Folders().size(), 1u);
  EXPECT_EQ(FolderTotals::Cells(totals.Folders()[0])[10], "1");  // no genre: f.mp3 alone

  ReportListModel table;
  table.AddColumn("Filename");
  table.AddColumn("Genre");
  for (qsizetype at = 0; at + 4 <= cells.size(); at += 4)
    table.SetSubItem(table.AppendRow(cells[at]), 1, cells[at + 1]);
  ResultSort::Sort(table, 2, ResultSort::Direction::kAscending);
  EXPECT_EQ(Names(table),
            QStringList({"d.mp3", "e.mp3", "c.mp3", "a.mp3", "b.mp3", "g.mp3", "f.mp3"}));
}

TEST(ResultSort, NumbersTextAndEmptyCellsEachInTheirPlace) {
  using ColumnCatalogue::Order;
  using ResultSort::Direction;
  ReportListModel years;
  Fill(years, {"2004", "", "1999-05-01", "12", "abc", "9/12"});
  years.ReorderRows(ResultSort::Order(years, 2, Order::kNumber, Direction::kAscending));
  EXPECT_EQ(Names(years), QStringList({"r6", "r4", "r3", "r1", "r5", "r2"}));
  years.ReorderRows(ResultSort::Order(years, 2, Order::kNumber, Direction::kDescending));
  EXPECT_EQ(Names(years), QStringList({"r1", "r3", "r4", "r6", "r5", "r2"}));  // empty still last
  years.ReorderRows(years.ArrivalOrder());
  EXPECT_EQ(Names(years), QStringList({"r1", "r2", "r3", "r4", "r5", "r6"}));

  // Durations as seconds; text ignores case and accents; equal keys keep their order.
  EXPECT_EQ(ResultSort::NumberOf("1:02:03"), 3723);
  EXPECT_EQ(ResultSort::NumberOf("4:05"), 245);
  EXPECT_EQ(ResultSort::NumberOf("3.5 MB"), 3.5);
  EXPECT_FALSE(ResultSort::NumberOf("n/a"));
  ReportListModel words;
  Fill(words, {"élan", "Zebra", "apple", "Elan", "zebra"});
  words.ReorderRows(ResultSort::Order(words, 2, Order::kText, Direction::kAscending));
  EXPECT_EQ(Names(words), QStringList({"r3", "r1", "r4", "r2", "r5"}));
}

TEST(ResultSort, TheSelectionFollowsItsRowAndReplacedColumnsKeepTheirCells) {
  ReportListModel table;
  Fill(table, {"b", "c", "a"});
  table.SetSelectedRow(2);  // "c"
  ResultSort::Sort(table, 2, ResultSort::Direction::kAscending);
  EXPECT_EQ(Names(table), QStringList({"r3", "r1", "r2"}));
  EXPECT_EQ(table.SelectedRow(), 3);
  // Column replacement keeps every row's cells under their header.
  table.ReplaceColumns({"Year", "Title", "Filename"}, {});
  EXPECT_EQ(table.Cell(1, 1), "a");
  EXPECT_EQ(table.Cell(1, 2), "");
  EXPECT_EQ(table.Cell(1, 3), "r3");
  EXPECT_EQ(table.Header(2), "Title");
}

}  // namespace
