// The window as a keyboard and a careless click meet it: shortcuts, the Tab order, the column
// chooser's moves, selections that show what Delete will remove, and what the window says about
// columns the rows were never read for.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <set>

#include "app/ui/MainWindow.h"
#include "platform/PosixFileSystem.h"
#include "platform/qt/ColumnChooser.h"
#include "tests/support/TestFiles.h"
#include "tests/support/fakes/FakeServices.h"

namespace {

class WindowKeysTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto bin = TestFiles::BinDir();
    if (!bin) GTEST_SKIP() << "TAGLOOM_BIN is not set";
    folder = QString::fromStdString(bin->string());
    window = std::make_unique<MainWindow>(services, folder);
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  }

  QPushButton* Button(int number) { return window->PushButton(number); }
  void LoadSamplesAndRun() {
    Button(8)->click();
    Button(10)->click();
  }
  int Kinds(ScriptedUi::Kind kind) const {
    int n = 0;
    for (const ScriptedUi::Shown& shown : f.ui.shown) n += shown.kind == kind ? 1 : 0;
    return n;
  }

  FakeServices f;
  PosixFileSystem files;
  Services services{f.ui,     f.settings, f.clipboard,   f.desktop, f.random,
                    f.events, files,      f.spreadsheet, f.shell};
  QString folder;
  std::unique_ptr<MainWindow> window;
};

TEST_F(WindowKeysTest, TheMainActionsHaveTheDesktopsKeysAndMnemonics) {
  QTest::keyClick(window.get(), Qt::Key_O, Qt::ControlModifier);
  EXPECT_EQ(Kinds(ScriptedUi::Kind::OpenFiles), 1);
  QTest::keyClick(window.get(), Qt::Key_F5);
  EXPECT_EQ(f.ui.Messages(), QStringList({"No files added."}));
  QTest::keyClick(window.get(), Qt::Key_S, Qt::ControlModifier);
  EXPECT_EQ(Kinds(ScriptedUi::Kind::SaveFile), 1);
  QTest::keyClick(window.get(), Qt::Key_F1);
  ASSERT_EQ(f.ui.Messages().size(), 2);
  EXPECT_TRUE(f.ui.Messages()[1].startsWith("Tagloom"));
  // Alt and the underlined letter press the button.
  QTest::keyClick(window.get(), Qt::Key_F, Qt::AltModifier);
  QTest::qWait(300);  // a mnemonic presses its button as a click would, animated
  EXPECT_EQ(Kinds(ScriptedUi::Kind::Input), 1);  // the folder scan's first question
  std::set<QChar> letters;
  for (int n : {1, 3, 4, 5, 6, 7, 8, 9, 10, 13}) {
    const QString text = Button(n)->text();
    const qsizetype amp = text.indexOf(u'&');
    ASSERT_GE(amp, 0) << n;
    EXPECT_TRUE(letters.insert(text[amp + 1].toLower()).second) << text.toStdString();
  }
  // Every key is named in its button's tip.
  EXPECT_TRUE(Button(10)->toolTip().contains("F5"));
  EXPECT_TRUE(Button(4)->toolTip().contains("Ctrl+O"));
}

TEST_F(WindowKeysTest, TabFollowsTheLayoutAndAFocusedButtonShowsIt) {
  const std::vector<QWidget*> expected = {&window->FileListView(),
                                          Button(4),
                                          Button(3),
                                          Button(8),
                                          Button(7),
                                          Button(10),
                                          window->StopButton(),
                                          &window->ResultListView(),
                                          Button(6),
                                          Button(1),
                                          Button(13),
                                          window->ColumnsButton(),
                                          Button(5),
                                          Button(9)};
  const std::set<QWidget*> ours(expected.begin(), expected.end());
  std::vector<QWidget*> chain;
  QWidget* at = expected.front();
  do {
    if (ours.count(at)) chain.push_back(at);
    at = at->nextInFocusChain();
  } while (at != expected.front() && chain.size() < expected.size());
  EXPECT_EQ(chain, expected);
  // The skin draws a ring around the focused button, and greys out a disabled one.
  EXPECT_TRUE(window->styleSheet().contains("QPushButton:focus"));
  EXPECT_TRUE(window->styleSheet().contains("QPushButton:disabled"));
}

TEST_F(WindowKeysTest, ADisabledButtonShowsNoHand) {
  ASSERT_FALSE(window->StopButton()->isEnabled());
  QMouseEvent move(QEvent::MouseMove, QPointF(window->StopButton()->geometry().center()), QPointF(),
                   Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(window->StopButton()->parentWidget(), &move);
  EXPECT_EQ(window->cursor().shape(), Qt::ArrowCursor);
  QMouseEvent over_help(QEvent::MouseMove, QPointF(Button(9)->geometry().center()), QPointF(),
                        Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(Button(9)->parentWidget(), &over_help);
  EXPECT_EQ(window->cursor().shape(), Qt::BitmapCursor);
}

TEST_F(WindowKeysTest, AtItsSmallestTheWindowCutsNoButtonsCaption) {
  window->resize(800, 600);
  QApplication::processEvents();
  for (QPushButton* button : window->findChildren<QPushButton*>()) {
    if (!button->isVisible()) continue;
    EXPECT_GE(button->width(), button->sizeHint().width()) << button->objectName().toStdString();
  }
  EXPECT_LE(window->minimumSizeHint().height(), 600);
}

TEST_F(WindowKeysTest, AClickBelowTheRowsSelectsNothingAndDeleteRemovesOnlyWhatShowsSelected) {
  Button(8)->click();  // the samples
  ReportListView& list = window->FileListView();
  while (window->form().ListView1.RowCount() > 3) window->form().ListView1.RemoveRow(4);
  const int rows = list.model()->rowCount();
  const QPoint below(5, list.visualRect(list.model()->index(rows - 1, 0)).bottom() + 6);
  ASSERT_LT(below.y(), list.viewport()->height());
  list.setFocus();
  // Focus makes a row current without selecting it: Delete leaves it alone.
  QTest::keyClick(&list, Qt::Key_Delete);
  EXPECT_EQ(list.model()->rowCount(), rows);
  // A click on a row selects it; a click below the rows clears the selection.
  const QRect second = list.visualRect(list.model()->index(1, 0));
  QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, second.center());
  EXPECT_EQ(window->form().ListView1.SelectedRow(), 2);
  QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, below);
  EXPECT_FALSE(window->form().ListView1.SelectedRow());
  EXPECT_TRUE(list.selectionModel()->selectedRows().isEmpty());
  QTest::keyClick(&list, Qt::Key_Delete);
  EXPECT_EQ(list.model()->rowCount(), rows);
  // Selected again and then cleared with Ctrl: Delete still removes nothing.
  QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, second.center());
  QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::ControlModifier, second.center());
  EXPECT_FALSE(window->form().ListView1.SelectedRow());
  QTest::keyClick(&list, Qt::Key_Delete);
  EXPECT_EQ(list.model()->rowCount(), rows);
  // A row that shows selected goes.
  QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, second.center());
  QTest::keyClick(&list, Qt::Key_Delete);
  EXPECT_EQ(list.model()->rowCount(), rows - 1);

  // The result table alike.
  Button(10)->click();
  ReportListView& results = window->ResultListView();
  const int read = results.model()->rowCount();
  ASSERT_EQ(read, rows - 1);
  results.setFocus();
  QTest::mouseClick(results.viewport(), Qt::LeftButton, {},
                    results.visualRect(results.model()->index(0, 0)).center());
  EXPECT_EQ(window->form().ListView2.SelectedRow(), 1);
  QTest::mouseClick(
      results.viewport(), Qt::LeftButton, {},
      QPoint(5, results.visualRect(results.model()->index(read - 1, 0)).bottom() + 6));
  EXPECT_FALSE(window->form().ListView2.SelectedRow());
  QTest::keyClick(&results, Qt::Key_Delete);
  EXPECT_EQ(results.model()->rowCount(), read);
}

TEST_F(WindowKeysTest, TheFileListsTitleCountsTheQueuedFiles) {
  QGroupBox* box = nullptr;
  for (QGroupBox* each : window->findChildren<QGroupBox*>())
    if (each->title().startsWith("Files to read")) box = each;
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->title(), "Files to read");
  Button(8)->click();
  const int rows = window->form().ListView1.RowCount();
  EXPECT_EQ(box->title(), QStringLiteral("Files to read: %1 files").arg(rows));
  Button(7)->click();
  EXPECT_EQ(box->title(), "Files to read");
}

TEST_F(WindowKeysTest, ColumnsAddedAfterARunSayTheyWereNotReadUntilTheNextRun) {
  LoadSamplesAndRun();
  Form1& form = window->form();
  ASSERT_TRUE(form.SetResultColumns({"Filename", "Title", "Duration"}));
  QHeaderView* header = window->ResultListView().header();
  const QAbstractItemModel* model = window->ResultListView().model();
  EXPECT_EQ(model->headerData(2, Qt::Horizontal).toString(), "Duration (run again)");
  EXPECT_TRUE(model->headerData(2, Qt::Horizontal, Qt::ToolTipRole).toString().contains("leave"));
  EXPECT_EQ(model->index(0, 2).data(Qt::ToolTipRole).toString(),
            "Run again to fill the new columns");
  EXPECT_EQ(form.ProgressBar1.Caption(), "Run again to fill the new columns");
  EXPECT_TRUE(header->isVisible());
  Button(10)->click();
  EXPECT_EQ(model->headerData(2, Qt::Horizontal).toString(), "Duration");
  EXPECT_FALSE(model->index(0, 2).data().toString().isEmpty());
  EXPECT_NE(form.ProgressBar1.Caption(), "Run again to fill the new columns");
}

TEST_F(WindowKeysTest, AHeaderClickDuringARunSortsWhenItEnds) {
  Button(8)->click();
  QHeaderView* header = window->ResultListView().header();
  bool shown_at_once = false;
  f.events.on_yield = [&](int n) {
    if (n != 3) return;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(1) + 5, header->height() / 2));
    shown_at_once = header->isSortIndicatorShown() && header->sortIndicatorSection() == 1;
  };
  Button(10)->click();
  EXPECT_TRUE(shown_at_once);
  EXPECT_EQ(window->form().SortColumn(), 2);
  EXPECT_TRUE(header->isSortIndicatorShown());
  EXPECT_EQ(header->sortIndicatorSection(), 1);
}

TEST_F(WindowKeysTest, WindowSizePlaceAndColumnWidthsAreRemembered) {
  // Wider than the buttons need, so the size asked for is the size kept.
  const QSize asked(window->minimumSizeHint().width() + 40, 650);
  window->resize(asked);
  QHeaderView* header = window->ResultListView().header();
  header->resizeSection(1, 321);
  QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, QPoint(2, 2));
  EXPECT_TRUE(f.settings.values.value("ColumnWidths").startsWith("Title="));
  window->close();
  ASSERT_TRUE(f.settings.values.contains("WindowGeometry"));

  MainWindow next(services, folder);
  EXPECT_EQ(next.size(), asked);
  EXPECT_NEAR(next.ResultListView().header()->sectionSize(1), 321, 2);
}

TEST(ColumnChooserKeysTest, MoveUpAndDownAndTheirAltKeysOrderTheColumns) {
  ColumnChoiceRequest request;
  request.headers = {"Filename", "Title", "Artist"};
  request.groups = {"Default", "Default", "Default"};
  request.chosen = {"Filename", "Title", "Artist"};
  ColumnChooser chooser(request);
  chooser.show();
  chooser.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&chooser));
  QListWidget* list = chooser.List();
  list->setCurrentRow(2);
  chooser.findChild<QPushButton*>("MoveColumnUp")->click();
  EXPECT_EQ(chooser.Chosen(), QStringList({"Filename", "Artist", "Title"}));
  EXPECT_EQ(list->currentRow(), 1);
  list->setFocus();
  QTest::keyClick(list, Qt::Key_Up, Qt::AltModifier);
  EXPECT_EQ(chooser.Chosen(), QStringList({"Artist", "Filename", "Title"}));
  QTest::keyClick(list, Qt::Key_Up, Qt::AltModifier);  // already first: stays
  EXPECT_EQ(chooser.Chosen(), QStringList({"Artist", "Filename", "Title"}));
  QTest::keyClick(list, Qt::Key_Down, Qt::AltModifier);
  chooser.findChild<QPushButton*>("MoveColumnDown")->click();
  EXPECT_EQ(chooser.Chosen(), QStringList({"Filename", "Title", "Artist"}));
}

}  // namespace
