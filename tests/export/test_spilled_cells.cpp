// A big run keeps its long cells in a temporary file; every reader of the table must still see
// the texts a run that kept them in memory shows.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <cstdint>
#include <limits>
#include <string>

#include "batch/ExtractionRun.h"
#include "batch/ResultColumns.h"
#include "batch/ResultFilter.h"
#include "batch/ResultSort.h"
#include "core/ErrorReport.h"
#include "core/ErrorTrap.h"
#include "export/ClipboardCopy.h"
#include "export/DataExport.h"
#include "export/ResultTable.h"
#include "export/SpreadsheetExport.h"
#include "export/TextExport.h"
#include "export/TextOutput.h"
#include "platform/CellSpill.h"
#include "tests/support/TestFiles.h"
#include "tests/support/fakes/FakeServices.h"
#include "tests/support/fakes/RecordingSpreadsheet.h"
#include "tools/samples/SampleBuilder.h"

namespace {

namespace sb = SampleBuilder;

class StringOutput : public TextOutput {
 public:
  void Write(std::string_view bytes) override { text.append(bytes); }
  void Commit() override {}
  std::string text;
};

// One table filled by a run over the same files, its long cells spilled or not.
struct Table {
  explicit Table(FakeServices& f) : errors(f.ui) {
    results.AddColumn(QStringLiteral("Filename"), 5000);
    for (const ResultColumns::Field& field : ResultColumns::kFields)
      results.AddColumn(QString::fromUtf16(field.header.data(), field.header.size()),
                        field.width_twips);
  }
  ErrorReport errors;
  ReportListModel file_list;
  ReportListModel results;
  ProgressBarModel progress;
  WindowPointer pointer;
  bool running = false;
};

class SpilledCellsTest : public ::testing::Test {
 protected:
  SpilledCellsTest() {
    // Long comments and lyrics, Latin-1 and beyond, with line breaks and characters that CSV,
    // JSON and HTML escape; a few rows without them, and one short cell that stays in memory.
    for (int i = 0; i < 12; ++i) {
      std::u16string lyrics;
      for (int line = 0; line <= i * 7; ++line)
        lyrics +=
            u"Line " + std::u16string(1, char16_t(u'a' + line % 26)) +
            (i % 3 == 0 ? u" \u00e9t\u00e9 \u201cquoted\u201d \u3042" : u" plain, \"x\" <b>") +
            u"\r\n";
      std::u16string comment(static_cast<size_t>(40 * i), char16_t(u'A' + i));
      std::string frames = sb::Frame(
          3, "TIT2", sb::TextBody(sb::Encoding::Utf16, u"Title " + std::u16string(1, u'L' - i)));
      if (i % 4 != 1) {
        frames += sb::Frame(3, "COMM", sb::CommentBody(sb::Encoding::Utf16, "eng", u"", comment));
        frames += sb::Frame(3, "USLT", sb::CommentBody(sb::Encoding::Utf16, "eng", u"", lyrics));
      }
      paths.append(QString::fromStdString(
          dir.Write("f" + std::to_string(i) + ".mp3",
                    sb::Id3v2Tag(3, frames) + sb::Silence(sb::kMpeg1, 0.1))));
    }
  }

  void Run(Table& table, size_t spill_from, const std::string& folder) {
    for (const QString& p : paths) table.file_list.AppendRow(p);
    ExtractionRun run{table.file_list, table.results, table.progress, table.pointer,
                      table.running,   f.ui,          f.events,       table.errors};
    run.SetJobs(2);
    run.SetSpill(spill_from, folder);
    run.Start();
  }

  static int SpilledCells(const ReportListModel& list) {
    int spilled = 0;
    for (int r = 1; r <= list.RowCount(); ++r)
      for (int c = 0; c < list.Cells(r).Count(); ++c)
        spilled += CellSpill::IsSpilled(list.Cells(r).Packed(c)) ? 1 : 0;
    return spilled;
  }

  // Every export of the table, as bytes.
  std::string Exports(const ReportListModel& list) {
    std::string all;
    const QString path = QDir(out.path()).filePath("table.txt");
    TextExport::SaveListviewProperlySpaced(list, path, nullptr, {f.events, errors});
    QFile text(path);
    EXPECT_TRUE(text.open(QIODevice::ReadOnly));
    all += text.readAll().toStdString() + "\n--\n";
    all += TableClipboard::ClipboardText(list, f.events)
               .value_or(QStringLiteral("none"))
               .toStdString() +
           "\n--\n";
    const ResultTable table = ResultTable::Of(list);
    all += TableClipboard::ClipboardHtml(table).toStdString() + "\n--\n";
    StringOutput csv;
    DataExport::WriteCsv(table, csv);
    StringOutput json;
    DataExport::WriteJsonLines(table, json);
    all += csv.text + "\n--\n" + json.text + "\n--\n";
    RecordingSpreadsheet workbook;
    ErrorTrap trap(u"test", errors);
    FillWorkbook(table, workbook, f.events, trap);
    for (auto it = workbook.cells.begin(); it != workbook.cells.end(); ++it)
      all += std::to_string(it.key().first) + "," + std::to_string(it.key().second) + "=" +
             it.value().toStdString() + "\n";
    return all;
  }

  FakeServices f;
  ErrorReport errors{f.ui};
  TestFiles::TempDir dir;
  QTemporaryDir out;
  QTemporaryDir spill_dir;
  QStringList paths;
};

}  // namespace

TEST_F(SpilledCellsTest, SpilledCellsShowSortFilterAndExportAsCellsKeptInMemory) {
  Table kept(f), spilled(f);
  Run(kept, std::numeric_limits<size_t>::max(), {});
  Run(spilled, 0, spill_dir.path().toStdString());
  EXPECT_EQ(f.ui.Messages(), QStringList({QStringLiteral("Done."), QStringLiteral("Done.")}));
  EXPECT_EQ(SpilledCells(kept.results), 0);
  // Comments of 240 units and more and most lyrics; the short ones stay.
  EXPECT_GE(SpilledCells(spilled.results), 12);
  // Comments go from 32 bytes on, as they run long as a rule; a title of a few words stays.
  for (int r = 1; r <= spilled.results.RowCount(); ++r) {
    const RowCells& cells = spilled.results.Cells(r);
    EXPECT_FALSE(CellSpill::IsSpilled(cells.Packed(1))) << r;
    EXPECT_EQ(CellSpill::IsSpilled(cells.Packed(6)), spilled.results.Cell(r, 7).size() >= 40) << r;
  }
  ASSERT_EQ(spilled.results.RowCount(), kept.results.RowCount());
  for (int r = 1; r <= kept.results.RowCount(); ++r)
    for (int c = 1; c <= kept.results.ColumnCount(); ++c) {
      ASSERT_EQ(spilled.results.Cell(r, c), kept.results.Cell(r, c)) << r << "," << c;
      ASSERT_EQ(spilled.results.data(spilled.results.index(r - 1, c - 1)),
                kept.results.data(kept.results.index(r - 1, c - 1)))
          << r << "," << c;
    }
  EXPECT_EQ(Exports(spilled.results), Exports(kept.results));

  // Sorted by the lyrics, the comments, and filtered on a word inside the spilled text.
  for (const int column : {8, 7}) {
    for (const auto direction :
         {ResultSort::Direction::kAscending, ResultSort::Direction::kDescending}) {
      ResultSort::Sort(kept.results, column, direction);
      ResultSort::Sort(spilled.results, column, direction);
      EXPECT_EQ(spilled.results.Texts(), kept.results.Texts()) << column;
    }
  }
  ResultFilter kept_filter(kept.results, kept.progress, f.events);
  ResultFilter spilled_filter(spilled.results, spilled.progress, f.events);
  kept_filter.SetText(QStringLiteral("quoted"));
  spilled_filter.SetText(QStringLiteral("quoted"));
  EXPECT_GT(kept.results.RowCount(), 0);
  EXPECT_LT(kept.results.RowCount(), 12);
  EXPECT_EQ(spilled.results.Texts(), kept.results.Texts());
  EXPECT_EQ(Exports(spilled.results), Exports(kept.results));
}

TEST_F(SpilledCellsTest, AFolderThatTakesNoFileKeepsTheCellsInMemoryAndSaysSoOnce) {
  Table kept(f), fallback(f);
  Run(kept, std::numeric_limits<size_t>::max(), {});
  f.ui.shown.clear();
  Run(fallback, 0, spill_dir.path().toStdString() + "/missing");
  const QStringList messages = f.ui.Messages();
  ASSERT_EQ(messages.size(), 2);
  EXPECT_TRUE(
      messages[0].startsWith(QStringLiteral("The long cells of this run are kept in memory:")))
      << messages[0].toStdString();
  EXPECT_TRUE(messages[0].contains(QStringLiteral("missing")));
  EXPECT_EQ(messages[1], QStringLiteral("Done."));
  EXPECT_EQ(SpilledCells(fallback.results), 0);
  EXPECT_EQ(Exports(fallback.results), Exports(kept.results));
}
