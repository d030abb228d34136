#include "core/Locations.h"
#include "export/ClipboardCopy.h"
#include "platform/StepFailure.h"
#include "tests/export/ExportFixture.h"

namespace {

const QString kConfirmation = QStringLiteral(
    "Results have been copied to the clipboard.\r\rClick a text area where you normally type and "
    "press Ctrl+V to paste the clipboard.");

class ClipboardCopyTest : public ExportFixture {
 protected:
  void Click() { ClipboardCopy(results, fakes.clipboard, fakes.events, fakes.ui, errors).Run(); }
};

}  // namespace

TEST_F(ClipboardCopyTest, CopiesCheckedRowsWithoutHeaderAndConfirms) {
  Columns({"Filename", "A header wider than any cell", "Last"});
  Row({"a.mp3", "Long title", "end  "});
  Row({"skipped-but-widest.mp3", "x", "y"}, false);
  Row({"bb.mp3", "", ""});
  Click();
  // Widths 22 and 10: headers do not count, unchecked rows do; the last column is bare.
  EXPECT_EQ(fakes.clipboard.text, QStringLiteral("a.mp3                 \tLong title\tend\r\n"
                                                 "bb.mp3                \t          \t\r\n"));
  EXPECT_EQ(fakes.ui.Messages(), QStringList{kConfirmation});
  EXPECT_EQ(fakes.ui.shown.back().title, QStringLiteral("Tagloom"));
}

TEST_F(ClipboardCopyTest, EmptyTableLeavesTheClipboardAloneYetConfirms) {
  Columns({"Filename"});
  fakes.clipboard.text = QStringLiteral("someone else's");
  Click();
  EXPECT_EQ(fakes.clipboard.text, QStringLiteral("someone else's"));
  EXPECT_EQ(fakes.clipboard.clear_attempts + fakes.clipboard.set_attempts, 0);
  EXPECT_EQ(fakes.ui.Messages(), QStringList{kConfirmation});
}

TEST_F(ClipboardCopyTest, NoCheckedRowEndsWithAnEmptyClipboard) {
  Columns({"Filename"});
  Row({"a.mp3"}, false);
  fakes.clipboard.text = QStringLiteral("old");
  Click();
  EXPECT_TRUE(fakes.clipboard.holds_text);
  EXPECT_EQ(fakes.clipboard.text, QString());
}

TEST_F(ClipboardCopyTest, RetriesUpToAThousandTimesEach) {
  EXPECT_TRUE(TableClipboard::SetClipboardTextRetrying(fakes.clipboard, QStringLiteral("t"), 0));
  fakes.clipboard = MemoryClipboard{};
  fakes.clipboard.fail_next = 999;
  EXPECT_TRUE(TableClipboard::ClearClipboardRetrying(fakes.clipboard));
  EXPECT_EQ(fakes.clipboard.clear_attempts, 1000);
  fakes.clipboard.fail_next = 1000;
  EXPECT_FALSE(TableClipboard::SetClipboardTextRetrying(fakes.clipboard, QStringLiteral("t"), 0));
  EXPECT_EQ(fakes.clipboard.set_attempts, 1000);
}

TEST_F(ClipboardCopyTest, AClipboardHeldThroughoutIsReportedNotConfirmed) {
  Columns({"Filename"});
  Row({"a.mp3"});
  fakes.clipboard.fail_next = 5000;
  Click();
  EXPECT_EQ(fakes.clipboard.clear_attempts, 1000);
  EXPECT_EQ(fakes.clipboard.set_attempts, 1000);
  ASSERT_EQ(fakes.ui.Reports().size(), 1);
  EXPECT_TRUE(fakes.ui.Reports()[0].contains(QStringView(loc::kPushButton6Click).toString() +
                                             QStringLiteral("at line 100")));
  EXPECT_EQ(fakes.ui.Messages(), QStringList());
}

TEST_F(ClipboardCopyTest, ATextOverTheLimitIsRefusedBeforeItIsBuilt) {
  Columns({"Filename", "Lyrics"});
  Row({"a.mp3", QString(100, u'l')});
  for (int i = 0; i < 9; ++i) Row({"b.mp3", ""});
  // Ten lines of at most 5 + 1 + 100 + 1 + 2 code units: the bound counts the last tab too.
  EXPECT_EQ(TableClipboard::ClipboardText(results, fakes.events, 1090)->size(), 108 + 9 * 8);
  EXPECT_THROW(TableClipboard::ClipboardText(results, fakes.events, 1089), StepFailure);

  // The real limit, reached by one long lyric padded into a million rows.
  results.Clear();
  Row({"a.mp3", QString(200, u'l')});
  for (int i = 0; i < 1000000; ++i) Row({"b.mp3", ""});
  Click();
  ASSERT_EQ(fakes.ui.Reports().size(), 1);
  EXPECT_TRUE(fakes.ui.Reports()[0].contains(QStringLiteral("too large for the clipboard")));
  EXPECT_EQ(fakes.clipboard.set_attempts, 0);
  EXPECT_EQ(fakes.ui.Messages(), QStringList());
}

TEST_F(ClipboardCopyTest, CopiesTheTableAsItWasWhenTheCopyBegan) {
  Columns({"Filename"});
  Row({"a.mp3"});
  Row({"b.mp3"});
  fakes.events.on_yield = [&](int n) {
    if (n == 2) results.Clear();
  };
  Click();
  EXPECT_EQ(fakes.clipboard.text, QStringLiteral("a.mp3\r\nb.mp3\r\n"));
  EXPECT_TRUE(fakes.ui.Reports().isEmpty());
}
