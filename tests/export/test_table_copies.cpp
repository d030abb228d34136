// Copies that other programs take as tables: the clipboard's HTML beside its unchanged text, and
// CSV from the text-file button when the name asks for it.
#include <gtest/gtest.h>

#include "core/ErrorReport.h"
#include "export/ClipboardCopy.h"
#include "export/ResultTable.h"
#include "export/TextExport.h"
#include "tests/export/ExportFixture.h"

namespace {

class TableCopies : public ExportFixture {
 protected:
  void Fill() {
    Columns({"Filename", "Title", "Year"});
    Row({"a.mp3", "Tom & \"Jerry\" <live>", "1999"});
    Row({"skip.mp3", "not this one", ""}, false);
    Row({"b.mp3", "Two\r\nlines", ""});
  }
  ErrorReport errors{fakes.ui};
};

TEST_F(TableCopies, TheClipboardCarriesTheSameTextAndATableWithItsHeader) {
  Fill();
  const std::optional<QString> text = TableClipboard::ClipboardText(results, fakes.events);
  ASSERT_TRUE(text);
  ClipboardCopy(results, fakes.clipboard, fakes.events, fakes.ui, errors).Run();
  EXPECT_EQ(fakes.clipboard.text, *text);  // the plain text as it always was
  EXPECT_EQ(
      fakes.clipboard.html,
      "<html><body><table>\n"
      "<tr><th>Filename</th><th>Title</th><th>Year</th></tr>\n"
      "<tr><td>a.mp3</td><td>Tom &amp; &quot;Jerry&quot; &lt;live&gt;</td><td>1999</td></tr>\n"
      "<tr><td>b.mp3</td><td>Two<br>lines</td><td></td></tr>\n"
      "</table></body></html>\n");
}

TEST_F(TableCopies, ANameEndingInCsvGetsCsvWithAByteOrderMark) {
  Fill();
  TextFileExport button(results, progress, pointer, fakes.ui, {fakes.events, errors});
  fakes.ui.save_answers.push_back(PathOf("table.CSV"));
  button.Run();
  EXPECT_EQ(Read(PathOf("table.CSV")),
            "\xEF\xBB\xBF"
            "Filename,Title,Year\r\n"
            "a.mp3,\"Tom & \"\"Jerry\"\" <live>\",1999\r\n"
            "b.mp3,\"Two\r\nlines\",\r\n");
  // Any other name still gets the aligned text.
  fakes.ui.save_answers.push_back(PathOf("table.txt"));
  button.Run();
  EXPECT_TRUE(Read(PathOf("table.txt")).startsWith("Filename\t"));
  EXPECT_TRUE(fakes.ui.Reports().isEmpty());
}

TEST_F(TableCopies, CsvChosenForANameWithoutExtensionWritesCsvUnderThatNamePlusCsv) {
  Fill();
  TextFileExport button(results, progress, pointer, fakes.ui, {fakes.events, errors});
  fakes.ui.save_answers.push_back(PathOf("table"));
  fakes.ui.save_type_answers.push_back(1);  // "CSV (*.csv)"
  button.Run();
  EXPECT_TRUE(Read(PathOf("table.csv"))
                  .startsWith("\xEF\xBB\xBF"
                              "Filename,Title,Year\r\n"));
  EXPECT_FALSE(QFile::exists(PathOf("table")));
  // The text type, or a name with an extension of its own, keep the name as typed.
  fakes.ui.save_answers.push_back(PathOf("plain"));
  fakes.ui.save_type_answers.push_back(0);
  fakes.ui.save_answers.push_back(PathOf("notes.txt"));
  fakes.ui.save_type_answers.push_back(1);
  button.Run();
  button.Run();
  EXPECT_TRUE(Read(PathOf("plain")).startsWith("Filename\t"));
  EXPECT_TRUE(Read(PathOf("notes.txt")).startsWith("Filename\t"));
  EXPECT_TRUE(fakes.ui.Reports().isEmpty());
}

// A column added after the rows were read has no cells for them: every export leaves it out
// rather than write it empty, as if the files had no such value.
TEST_F(TableCopies, AColumnTheRowsWereNotReadForIsLeftOutOfEveryExport) {
  Fill();
  results.ReplaceColumns({"Filename", "Genre", "Title", "Year"}, {});
  ASSERT_TRUE(results.ColumnUnread(2));
  EXPECT_FALSE(results.ColumnUnread(3));
  results.SetChecked(2, true);
  const ResultTable table = ResultTable::Of(results);
  EXPECT_EQ(table.headers, QStringList({"Filename", "Title", "Year"}));
  EXPECT_EQ(table.rows[0].Cells(3), QStringList({"a.mp3", "Tom & \"Jerry\" <live>", "1999"}));

  ClipboardCopy(results, fakes.clipboard, fakes.events, fakes.ui, errors).Run();
  EXPECT_TRUE(fakes.clipboard.html.contains("<tr><th>Filename</th><th>Title</th><th>Year</th>"));
  EXPECT_EQ(fakes.clipboard.text, *TableClipboard::ClipboardTextOf(table, fakes.events));
  EXPECT_EQ(fakes.clipboard.text.section("\r\n", 0, 0).count(u'\t'), 2);  // three columns
  TextFileExport button(results, progress, pointer, fakes.ui, {fakes.events, errors});
  fakes.ui.save_answers.push_back(PathOf("t.csv"));
  button.Run();
  EXPECT_TRUE(Read(PathOf("t.csv"))
                  .startsWith("\xEF\xBB\xBF"
                              "Filename,Title,Year\r\n"));

  // Once the table is emptied for a new run, every column is read again.
  results.Clear();
  EXPECT_FALSE(results.HasUnreadColumns());
  EXPECT_EQ(ResultTable::Of(results).headers, QStringList({"Filename", "Genre", "Title", "Year"}));
}

TEST_F(TableCopies, TheFolderSummaryCopyHasAHeaderLineAndAConfirmationOfItsOwn) {
  Columns({"Folder", "Files", "Duration"});
  Row({"/music/a", "12", "0:40:00.000"});
  Row({"Total", "12", "0:40:00.000"});
  SummaryCopy(results, fakes.clipboard, fakes.events, fakes.ui, errors).Run();
  EXPECT_EQ(fakes.clipboard.text,
            "Folder  \tFiles\tDuration\r\n"
            "/music/a\t12   \t0:40:00.000\r\n"
            "Total   \t12   \t0:40:00.000\r\n");
  EXPECT_TRUE(fakes.clipboard.html.contains("<tr><th>Folder</th><th>Files</th><th>Duration</th>"));
  ASSERT_EQ(fakes.ui.Messages().size(), 1);
  EXPECT_TRUE(fakes.ui.Messages()[0].startsWith("The folder summary has been copied"));
  EXPECT_TRUE(fakes.ui.Reports().isEmpty());
}

}  // namespace
