#include "core/ErrorTrap.h"
#include "core/Locations.h"
#include "export/ResultTable.h"
#include "export/SpreadsheetExport.h"
#include "export/TextLines.h"
#include "tests/export/ExportFixture.h"

namespace {

class SpreadsheetExportTest : public ExportFixture {
 protected:
  SpreadsheetExport Export() {
    return SpreadsheetExport(
        results, fakes.spreadsheet, pointer, fakes.ui, fakes.events, errors,
        {dir.path(), [] { return QDateTime(QDate(2026, 12, 7), QTime(19, 30, 5)); }});
  }
  RecordingSpreadsheet& sheet = fakes.spreadsheet;
};

}  // namespace

TEST_F(SpreadsheetExportTest, WithoutASpreadsheetApplicationTheWorkbookIsSavedAndItsPlaceNamed) {
  Columns({"Filename", "Title"});
  Row({"a.mp3", "t"});
  sheet.available = false;
  Export().Run();
  const QString name = QStringLiteral("Tagloom results 2026-12-07 19-30-05.xlsx");
  EXPECT_EQ(sheet.calls, QStringList({"NewWorkbook", "AutoFitColumns", "FreezeHeaderWithFilter 2 2",
                                      "Save " + PathOf(name)}));
  EXPECT_EQ(sheet.Cell(2, 2), QStringLiteral("t"));
  EXPECT_EQ(sheet.probes, 1);
  EXPECT_EQ(fakes.ui.Messages(),
            QStringList{"The workbook was saved, but no spreadsheet application is set up to open "
                        "it.\r\rFolder: " +
                        QDir::toNativeSeparators(dir.path()) + "\rName: " + name});
  EXPECT_TRUE(fakes.ui.Reports().isEmpty());
  EXPECT_FALSE(pointer.IsBusy());

  // An application that is set up but does not start: the same, with the reason.
  fakes.ui.shown.clear();
  sheet.available = true;
  sheet.fail_open = true;
  Export().Run();
  ASSERT_EQ(fakes.ui.Messages().size(), 1);
  EXPECT_EQ(fakes.ui.Messages()[0],
            "The workbook was saved, but it could not be opened: The application did not start."
            "\r\rFolder: " +
                QDir::toNativeSeparators(dir.path()) + "\rName: " + name);
  EXPECT_TRUE(fakes.ui.Reports().isEmpty());
}

TEST_F(SpreadsheetExportTest, AnEmptyTableOpensNoWorkbookAndSaysNothing) {
  Columns({"Filename"});
  Export().Run();
  EXPECT_EQ(sheet.probes, 0);  // no workbook: nothing to open
  EXPECT_TRUE(sheet.calls.isEmpty());
  EXPECT_TRUE(fakes.ui.shown.empty());
}

TEST_F(SpreadsheetExportTest, CheckedRowsLandAtTheirTablePositionsWithoutEqualsInTags) {
  Columns({"Filename", "Title", "Artist"});
  Row({"one.mp3", "x", "y"}, false);
  Row({"a=b.mp3", "a=b", "==c="});
  Row({"three.mp3", "z", "w"}, false);
  bool busy_seen = false;
  fakes.events.on_yield = [&](int) { busy_seen = busy_seen || pointer.IsBusy(); };
  Export().Run();

  EXPECT_EQ(sheet.Cell(1, 1), QStringLiteral("Filename"));
  EXPECT_EQ(sheet.Cell(1, 3), QStringLiteral("Artist"));
  for (int c = 1; c <= 3; ++c) {
    EXPECT_EQ(sheet.Cell(2, c), QString());
    EXPECT_EQ(sheet.Cell(4, c), QString());
  }
  EXPECT_EQ(sheet.Cell(3, 1), QStringLiteral("a=b.mp3"));
  EXPECT_EQ(sheet.Cell(3, 2), QStringLiteral("ab"));
  EXPECT_EQ(sheet.Cell(3, 3), QStringLiteral("c"));
  EXPECT_EQ(sheet.LastRow(), 3);

  const QString path = QDir(dir.path()).filePath("Tagloom results 2026-12-07 19-30-05.xlsx");
  EXPECT_EQ(sheet.calls, QStringList({"NewWorkbook", "AutoFitColumns", "FreezeHeaderWithFilter 4 3",
                                      "Save " + path, "Open " + path}));
  EXPECT_TRUE(busy_seen);
  EXPECT_FALSE(pointer.IsBusy());
  EXPECT_TRUE(fakes.ui.shown.empty());
}

TEST_F(SpreadsheetExportTest, TheHeaderRowIsWrittenWhenNoRowIsChecked) {
  Columns({"Filename", "Title"});
  Row({"a.mp3", "t"}, false);
  Export().Run();
  EXPECT_EQ(sheet.Cell(1, 2), QStringLiteral("Title"));
  EXPECT_EQ(sheet.LastRow(), 1);
}

TEST_F(SpreadsheetExportTest, CellsOverTheLimitAreCutAndCountedOnce) {
  Columns({"Filename", "Lyrics"});
  Row({"a.mp3", QString(40000, u'l')});
  Row({"b.mp3", QString(32767, u'l')});
  Row({"c.mp3", QString(32768, u'l') + QChar(u'\0')});
  Export().Run();
  EXPECT_EQ(sheet.Cell(2, 2).size(), TextLines::kWorkbookCellLimit);
  EXPECT_EQ(sheet.Cell(3, 2).size(), TextLines::kWorkbookCellLimit);
  ASSERT_EQ(fakes.ui.Messages().size(), 1);
  EXPECT_TRUE(fakes.ui.Messages()[0].startsWith(QStringLiteral("2 cell(s) held more than 32767")));
}

TEST_F(SpreadsheetExportTest, FailuresAreReportedOnceAndThePointerComesBack) {
  Columns({"Filename"});
  for (int i = 0; i < 20; ++i) Row({"a.mp3"});
  sheet.fail_new_workbook = true;
  Export().Run();
  ASSERT_EQ(fakes.ui.Reports().size(), 1);
  EXPECT_TRUE(fakes.ui.Reports()[0].contains(QStringView(loc::kPushButton13Click).toString() +
                                             QStringLiteral("at line 108")));
  EXPECT_FALSE(pointer.IsBusy());

  fakes.ui.shown.clear();
  sheet.fail_new_workbook = false;
  sheet.fail_save = true;
  Export().Run();
  ASSERT_EQ(fakes.ui.Reports().size(), 1);
  EXPECT_TRUE(fakes.ui.Reports()[0].contains(QStringLiteral("at line 128")));
  EXPECT_FALSE(sheet.calls.join(u' ').contains(QStringLiteral("Open")));
  EXPECT_FALSE(pointer.IsBusy());
}

TEST(WorkbookPathTest, NamesAreReadableAndNeverReused) {
  QTemporaryDir dir;
  const QDateTime when(QDate(2026, 1, 2), QTime(3, 4, 5));
  const QString first = NewWorkbookPath(dir.path(), when);
  EXPECT_EQ(QFileInfo(first).fileName(),
            QStringLiteral("Tagloom results 2026-01-02 03-04-05.xlsx"));
  QFile(first).open(QIODevice::WriteOnly);
  EXPECT_EQ(QFileInfo(NewWorkbookPath(dir.path(), when)).fileName(),
            QStringLiteral("Tagloom results 2026-01-02 03-04-05 (2).xlsx"));
  // A folder that survives a restart, never the temporary one.
  EXPECT_TRUE(DefaultWorkbookFolder().endsWith(QStringLiteral("/Tagloom")));
  EXPECT_FALSE(DefaultWorkbookFolder().startsWith(QDir::tempPath()));
}

TEST_F(SpreadsheetExportTest, PlainNumbersAndDurationsAreTypedAndEverythingElseStaysText) {
  Columns({"Filename", "Year", "Track", "Duration"});
  Row({"1999", "1999", "007", "1:02:03"});
  Row({"b.mp3", "-2.50", "3/12", "62:03"});
  ErrorTrap trap(u"test ", errors);
  const WorkbookFill fill = FillWorkbook(ResultTable::Of(results), sheet, fakes.events, trap,
                                         {{}, {false, false, false, true}});
  EXPECT_TRUE(fill.created);
  EXPECT_EQ(sheet.numbers,
            (QMap<std::pair<int, int>, double>{{{2, 1}, 1999}, {{2, 2}, 1999}, {{3, 2}, -2.5}}));
  EXPECT_EQ(sheet.durations, (QMap<std::pair<int, int>, double>{{{2, 4}, 3723}}));
  EXPECT_EQ(sheet.Cell(2, 3), "007");
  EXPECT_EQ(sheet.Cell(3, 4), "62:03");  // not h:mm:ss
  EXPECT_EQ(WorkbookNumber("1e5"), std::nullopt);
  EXPECT_EQ(WorkbookNumber("1234567890123456"), std::nullopt);  // past the sheet's precision
  EXPECT_EQ(WorkbookNumber("0.5"), 0.5);
}

// A home whose workbook folder cannot be made is the user's setup, not a fault of the program:
// the reason is said plainly and the workbook can still be saved elsewhere.
TEST_F(SpreadsheetExportTest, AWorkbookFolderThatCannotBeMadeOffersSaveAs) {
  Columns({"Filename", "Title"});
  Row({"a.mp3", "t"});
  QFile blocker(PathOf("Documents"));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  const auto run = [&] {
    SpreadsheetExport(results, fakes.spreadsheet, pointer, fakes.ui, fakes.events, errors,
                      {PathOf("Documents/Tagloom"), {}})
        .Run();
  };
  fakes.ui.yes_no_answers.push_back(true);
  fakes.ui.save_answers.push_back(PathOf("mine"));
  run();
  const QStringList questions = fakes.ui.Texts(ScriptedUi::Kind::YesNo);
  ASSERT_EQ(questions.size(), 1);
  EXPECT_EQ(questions[0], "The folder for workbooks could not be made:\r" +
                              QDir::toNativeSeparators(PathOf("Documents/Tagloom")) +
                              "\r\rNot a directory.\r\rSave the workbook somewhere else (Save "
                              "As…)?");
  EXPECT_EQ(sheet.saved_path, PathOf("mine.xlsx"));
  EXPECT_EQ(sheet.sheet_name, "Tags");
  EXPECT_TRUE(fakes.ui.Reports().isEmpty());
  EXPECT_FALSE(pointer.IsBusy());

  // Declined, nothing is saved and nothing reported.
  sheet.saved_path.clear();
  fakes.ui.shown.clear();
  run();
  EXPECT_TRUE(sheet.saved_path.isEmpty());
  EXPECT_TRUE(fakes.ui.Reports().isEmpty());
  EXPECT_FALSE(pointer.IsBusy());
}
