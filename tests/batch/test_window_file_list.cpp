#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>

#include "app/ui/MainWindow.h"
#include "platform/PosixFileSystem.h"
#include "tests/batch/TempTree.h"
#include "tests/platform/fakes/FakeServices.h"

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

}  // namespace
