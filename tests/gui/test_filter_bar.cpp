// The filter field above the result table, on the offscreen platform: typing filters, the
// caption counts, Esc empties it, a malformed text is marked, and the exports take the rows shown.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "app/ui/MainWindow.h"
#include "platform/PosixFileSystem.h"
#include "platform/xlsx/XlsxSpreadsheet.h"
#include "tests/support/ScopedVariable.h"
#include "tests/support/TestFiles.h"
#include "tests/support/fakes/FakeServices.h"
#include "tools/samples/SampleBuilder.h"

namespace {

class FilterBarTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto bin = TestFiles::BinDir();
    if (!bin) GTEST_SKIP() << "TAGLOOM_BIN is not set";
    window = std::make_unique<MainWindow>(services, QString::fromStdString(bin->string()));
    window->show();
    ReportListModel& results = window->form().ListView2;
    for (const auto& [name, title] :
         {std::pair{"1.mp3", "Crème"}, {"2.mp3", "Water"}, {"3.mp3", "creme brulee"}}) {
      const int row = results.AppendRow(QString::fromUtf8(name));
      results.SetSubItem(row, 1, QString::fromUtf8(title));
      results.SetChecked(row, true);
    }
  }

  FakeServices f;
  PosixFileSystem files;
  Services services{f.ui,     f.settings, f.clipboard,   f.desktop, f.random,
                    f.events, files,      f.spreadsheet, f.shell};
  std::unique_ptr<MainWindow> window;
};

}  // namespace

TEST_F(FilterBarTest, TypingFiltersTheTableAndTheCopyTakesTheRowsShown) {
  QLineEdit* field = window->FilterField();
  ASSERT_NE(field, nullptr);
  EXPECT_EQ(window->FilterCaption()->text(), "");
  QTest::keyClicks(field, "creme");
  EXPECT_EQ(window->form().ListView2.RowCount(), 2);
  EXPECT_EQ(window->FilterCaption()->text(), "2 of 3 rows shown");
  EXPECT_EQ(window->ResultListView().model()->rowCount(), 2);

  window->findChild<QPushButton*>("PushButton6")->click();
  EXPECT_EQ(f.clipboard.text.count("\r\n"), 2);
  EXPECT_FALSE(f.clipboard.text.contains("Water"));
  EXPECT_TRUE(f.clipboard.html.contains("creme brulee"));

  // A malformed text is marked and explained; the rows stay as they were.
  field->setText("creme OR");
  EXPECT_TRUE(field->styleSheet().contains("red") || field->styleSheet().contains("#d00000"));
  EXPECT_EQ(field->toolTip(), "OR needs a term after it (at character 7)");
  EXPECT_EQ(window->form().ListView2.RowCount(), 2);

  // Esc empties the field and every row is back.
  QTest::keyClick(field, Qt::Key_Escape);
  EXPECT_EQ(field->text(), "");
  EXPECT_EQ(field->toolTip(), "");
  EXPECT_EQ(window->form().ListView2.RowCount(), 3);
  EXPECT_EQ(window->FilterCaption()->text(), "");
  EXPECT_EQ(f.settings.values.value("Filter"), "");
}

TEST_F(FilterBarTest, CtrlFGoesToTheFieldAndTheTextIsRemembered) {
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  window->ResultListView().setFocus();
  QTest::keyClick(window.get(), Qt::Key_F, Qt::ControlModifier);
  EXPECT_TRUE(window->FilterField()->hasFocus());
  QTest::keyClicks(window->FilterField(), "title=water");
  EXPECT_EQ(f.settings.values.value("Filter"), "title=water");

  // The next window starts with the text in its field.
  window.reset();
  MainWindow next(services, QString::fromStdString(TestFiles::BinDir()->string()));
  EXPECT_EQ(next.FilterField()->text(), "title=water");
}

TEST_F(FilterBarTest, CtrlClicksSelectSeveralRowsForTheRowActions) {
  TestFiles::TempDir music;
  QStringList paths;
  for (const char* name : {"a.mp3", "b.mp3", "c.mp3"})
    paths.append(QString::fromStdString(
        music.Write(name, SampleBuilder::Silence(SampleBuilder::kMpeg1, 0.3))));
  window->form().ListView1.AppendRows(paths);
  window->form().PushButton10_Click();
  ReportListView& view = window->ResultListView();
  ASSERT_EQ(view.model()->rowCount(), 3);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  const auto click = [&](int row, Qt::KeyboardModifiers keys) {
    const QRect cell = view.visualRect(view.model()->index(row, 1));
    ASSERT_FALSE(cell.isEmpty()) << row;
    QTest::mouseClick(view.viewport(), Qt::LeftButton, keys, cell.center());
  };
  click(0, Qt::NoModifier);
  click(2, Qt::ControlModifier);
  EXPECT_EQ(view.selectionModel()->selectedRows().size(), 2);
  EXPECT_EQ(window->form().ResultPath(1), paths[0]);
  auto* menu = view.findChild<QMenu*>("ResultRowMenu");
  ASSERT_NE(menu, nullptr);
  QStringList captions;
  for (QAction* action : menu->actions()) captions.append(action->text());
  EXPECT_EQ(captions, QStringList({"Open in Player", "Show in File Manager", "Copy Full Path",
                                   "Read Again", "Remove from Table"}));
  menu->actions()[2]->trigger();
  EXPECT_EQ(f.clipboard.text, paths[0] + "\n" + paths[2]);
  // Shift extends the selection.
  click(0, Qt::NoModifier);
  click(2, Qt::ShiftModifier);
  menu->actions()[4]->trigger();
  EXPECT_EQ(view.model()->rowCount(), 0);
}

namespace {

QString Unzipped(const QString& workbook, const QString& part) {
  const TestFiles::RunResult unzip =
      TestFiles::Run("unzip", {"-p", workbook.toStdString(), part.toStdString()});
  if (unzip.status != 0) return QStringLiteral("<unzip failed>");
  return QString::fromStdString(unzip.out);
}

}  // namespace

TEST_F(FilterBarTest, TheFolderSummaryAndItsSheetTotalTheRowsShown) {
  QTemporaryDir home;
  // The workbook goes to the user's documents: those of a home of the test's own.
  const ScopedVariable home_variable("HOME", home.path());
  const ScopedVariable config_variable("XDG_CONFIG_HOME", home.filePath(QStringLiteral(".config")));
  XlsxSpreadsheet workbook;
  Services with_workbook{f.ui,     f.settings, f.clipboard, f.desktop, f.random,
                         f.events, files,      workbook,    f.shell};
  MainWindow other(with_workbook, QString::fromStdString(TestFiles::BinDir()->string()));
  Form1& form = other.form();
  TestFiles::TempDir music;
  for (const auto& [name, title] :
       {std::pair{"a/1.mp3", "One"}, {"a/2.mp3", "Two"}, {"b/3.mp3", "Three"}}) {
    SampleBuilder::Id3v1Fields v1;
    v1.title = title;
    form.ListView1.AppendRow(QString::fromStdString(music.Write(
        name, SampleBuilder::Silence(SampleBuilder::kMpeg1, 0.3) + SampleBuilder::Id3v1(v1))));
  }
  form.PushButton10_Click();
  ASSERT_EQ(form.ListView2.RowCount(), 3);
  form.CopySummary();
  const QString whole = f.clipboard.text;
  EXPECT_EQ(whole.count(QStringLiteral("\r\n")), 4);  // a header, two folders, all of them

  // Only b's file shown: a is gone from the summary, and "All folders" counts one file.
  other.FilterField()->setText(QStringLiteral("title:three"));
  ASSERT_EQ(form.ListView2.RowCount(), 1);
  form.CopySummary();
  const QStringList lines = f.clipboard.text.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 3) << f.clipboard.text.toStdString();
  EXPECT_TRUE(lines[1].startsWith(QString::fromStdString(music.PathOf("b"))));
  EXPECT_TRUE(lines[2].startsWith(QStringLiteral("All folders")));
  EXPECT_EQ(lines[2].split(u'\t').value(1).trimmed(), "1");

  form.SetSummarySheet(true);
  form.PushButton13_Click();
  const QString saved_in = home.filePath(QStringLiteral("Documents/Tagloom"));
  const QStringList written = QDir(saved_in).entryList({QStringLiteral("*.xlsx")}, QDir::Files);
  ASSERT_EQ(written.size(), 1);
  const QString sheet =
      Unzipped(saved_in + u'/' + written[0], QStringLiteral("xl/worksheets/sheet2.xml"));
  QString strings = sheet;
  if (!sheet.contains("inlineStr"))
    strings = Unzipped(saved_in + u'/' + written[0], QStringLiteral("xl/sharedStrings.xml"));
  // The header, b, and the total: three rows, one file each.
  EXPECT_TRUE(sheet.contains("<row r=\"3\"")) << sheet.toStdString();
  EXPECT_FALSE(sheet.contains("<row r=\"4\"")) << sheet.toStdString();
  EXPECT_TRUE(sheet.contains("<c r=\"B3\"><v>1</v></c>")) << sheet.toStdString();
  EXPECT_TRUE(strings.contains(QString::fromStdString(music.PathOf("b"))));
  EXPECT_FALSE(strings.contains(QString::fromStdString(music.PathOf("a"))));

  // The filter emptied, the summary is the whole run's again, byte for byte.
  other.FilterField()->setText(QString());
  form.CopySummary();
  EXPECT_EQ(f.clipboard.text, whole);
}
