// Copies that other programs take as tables: the clipboard's HTML beside its unchanged text, and
// CSV from the text-file button when the name asks for it.
#include <gtest/gtest.h>

#include "core/ErrorReport.h"
#include "export/ClipboardCopy.h"
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
  const std::optional<QString> text = Main::ClipboardText(results, fakes.events);
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

}  // namespace
