#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>

#include "app/ui/MainWindow.h"
#include "platform/PosixFileSystem.h"
#include "tests/batch/TempTree.h"
#include "tests/support/fakes/FakeServices.h"

namespace {

// The window on screen hands its list events and buttons to the file list's actions.
class WindowFileListTest : public ::testing::Test {
 protected:
  WindowFileListTest() : window(services, tree.Root()) { window.show(); }

  QPushButton* Button(const char* name) {
    return window.findChild<QPushButton*>(QString::fromLatin1(name));
  }

  TempTree tree;
  FakeServices f;
  PosixFileSystem files;
  Services services{f.ui,     f.settings, f.clipboard,   f.desktop, f.random,
                    f.events, files,      f.spreadsheet, f.shell};
  MainWindow window;
};

TEST_F(WindowFileListTest, DropsButtonsAndKeysReachTheFileList) {
  const QString song = tree.File("d/a.mp3");
  ReportListModel& list = window.form().ListView1;
  emit window.FileListView().FilesDropped({tree.PathOf("d"), tree.PathOf("loose.mp3")});
  EXPECT_EQ(list.RowCount(), 2);
  EXPECT_EQ(list.Text(1), song);

  list.SetSelectedRow(2);
  QTest::keyClick(&window.FileListView(), Qt::Key_Delete);
  EXPECT_EQ(list.RowCount(), 1);

  f.ui.input_answers.push_back("mp3");
  f.ui.folder_answers.push_back(tree.PathOf("d"));
  ASSERT_NE(Button("PushButton3"), nullptr);
  QTest::mouseClick(Button("PushButton3"), Qt::LeftButton);
  EXPECT_EQ(list.RowCount(), 2);
  QTest::mouseClick(Button("PushButton7"), Qt::LeftButton);
  EXPECT_EQ(list.RowCount(), 0);

  ReportListModel& results = window.form().ListView2;
  results.AppendRows({"r1", "r2"});
  results.SetSelectedRow(1);
  QTest::keyClick(&window.ResultListView(), Qt::Key_Delete);
  EXPECT_EQ(results.RowCount(), 1);
  QTest::mouseClick(Button("PushButton5"), Qt::LeftButton);
  EXPECT_EQ(results.RowCount(), 0);
}

TEST_F(WindowFileListTest, ARemovalSelectsTheRowThatTookItsPlaceInBothLists) {
  ReportListModel& list = window.form().ListView1;
  ReportListView& view = window.FileListView();
  list.AppendRows({"a", "b", "c"});
  list.SetSelectedRow(2);
  QTest::keyClick(&view, Qt::Key_Delete);
  EXPECT_EQ(list.Texts(), QStringList({"a", "c"}));
  EXPECT_EQ(list.SelectedRow(), 2);
  EXPECT_EQ(view.currentIndex().row(), 1);
  EXPECT_TRUE(view.selectionModel()->isRowSelected(1));
  // The next Delete goes on without a click; the last row gives way to the new last row.
  QTest::keyClick(&view, Qt::Key_Delete);
  EXPECT_EQ(list.Texts(), QStringList({"a"}));
  EXPECT_EQ(list.SelectedRow(), 1);
  EXPECT_TRUE(view.selectionModel()->isRowSelected(0));

  list.AppendRows({"b", "c"});
  const QPoint first = view.visualRect(list.index(0, 0)).center();
  QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, first);
  EXPECT_EQ(list.Texts(), QStringList({"b", "c"}));
  EXPECT_EQ(list.SelectedRow(), 1);
  QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, first);
  EXPECT_EQ(list.Texts(), QStringList({"c"}));
  EXPECT_EQ(list.SelectedRow(), 1);

  ReportListModel& results = window.form().ListView2;
  ReportListView& table = window.ResultListView();
  results.AppendRows({"r1", "r2", "r3"});
  results.SetSelectedRow(3);
  QTest::keyClick(&table, Qt::Key_Delete);
  EXPECT_EQ(results.Texts(), QStringList({"r1", "r2"}));
  EXPECT_EQ(results.SelectedRow(), 2);
  EXPECT_TRUE(table.selectionModel()->isRowSelected(1));
  results.SetSelectedRow(1);
  QTest::keyClick(&table, Qt::Key_Delete);
  EXPECT_EQ(results.Texts(), QStringList({"r2"}));
  EXPECT_EQ(results.SelectedRow(), 1);
  QTest::keyClick(&table, Qt::Key_Delete);
  EXPECT_EQ(results.RowCount(), 0);
  EXPECT_EQ(results.SelectedRow(), std::nullopt);
}

TEST_F(WindowFileListTest, FilesChosenOrDroppedScrollTheListToTheLastOneAdded) {
  ReportListModel& list = window.form().ListView1;
  ReportListView& view = window.FileListView();
  for (int i = 0; i < 200; ++i) list.AppendRow(QStringLiteral("/m/queued%1.mp3").arg(i));
  const auto last_in_sight = [&] {
    QCoreApplication::processEvents();
    const QRect row = view.visualRect(list.index(list.RowCount() - 1, 0));
    return row.isValid() && view.viewport()->rect().contains(row);
  };
  view.scrollToTop();
  ASSERT_FALSE(last_in_sight());

  f.ui.open_files_answers.push_back(
      {OpenFilesResult::Status::Chosen, {tree.PathOf("x/1.mp3"), tree.PathOf("x/2.mp3")}});
  Button("PushButton4")->click();
  EXPECT_EQ(list.Text(list.RowCount()), tree.PathOf("x/2.mp3"));
  EXPECT_TRUE(last_in_sight());

  view.scrollToTop();
  f.ui.open_files_answers.push_back({OpenFilesResult::Status::Chosen, {tree.PathOf("one.mp3")}});
  Button("PushButton4")->click();
  EXPECT_TRUE(last_in_sight());

  view.scrollToTop();
  tree.File("d/a.mp3");
  tree.File("d/b.mp3");
  emit view.FilesDropped({tree.PathOf("d")});
  EXPECT_EQ(list.Text(list.RowCount()), tree.PathOf("d/b.mp3"));
  EXPECT_TRUE(last_in_sight());
}

}  // namespace
