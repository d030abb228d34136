#include <gtest/gtest.h>

#include "batch/FileList.h"
#include "core/ErrorReport.h"
#include "platform/ReportListModel.h"
#include "platform/WindowPointer.h"
#include "tests/batch/TempTree.h"
#include "tests/support/fakes/FakeListViewPort.h"
#include "tests/support/fakes/FakeServices.h"

namespace {

/// The list view without a screen, also recording the list's own pointer.
class RecordingListView : public FakeListViewPort {
 public:
  using FakeListViewPort::FakeListViewPort;
  void ShowDragPointer() override { pointers.append("drag"); }
  void ShowArrowPointer() override { pointers.append("arrow"); }
  QStringList pointers;
};

class FileListTest : public ::testing::Test {
 protected:
  FileListTest()
      : view(files, kRowHeight),
        actions(fake.ui, disk, fake.events, files, results, view, pointer, reporter) {}

  QStringList Rows(const ReportListModel& list) const {
    QStringList out;
    for (int r = 1; r <= list.RowCount(); ++r) out.append(list.Text(r));
    return out;
  }
  void Fill(const QStringList& paths) {
    for (const QString& p : paths) files.AppendRow(p);
  }
  /// Presses on row `row`, as the view reports it: the row becomes selected, then the events.
  void PressOn(int row) {
    files.SetSelectedRow(row);
    actions.ReorderButtonDown();
    actions.ReorderRowClicked();
  }
  void MoveOver(int row, int screen_y = 330) {
    actions.ReorderPointerMoved(5, (row - 1) * kRowHeight + 3, screen_y);
  }

  static constexpr int kRowHeight = 20;
  TempTree tree;
  FakeServices fake;
  PosixFileSystem disk;
  ReportListModel files;
  ReportListModel results;
  RecordingListView view;
  WindowPointer pointer;
  ErrorReport reporter{fake.ui};
  FileList actions;
};

TEST_F(FileListTest, TheDialogAddsOneFileAsItIsAndSeveralCollapsed) {
  fake.ui.open_files_answers.push_back(
      {OpenFilesResult::Status::Chosen, {QStringLiteral("/music//one.mp3")}});
  fake.ui.open_files_answers.push_back(
      {OpenFilesResult::Status::Chosen,
       {QStringLiteral("//b.mp3"), QStringLiteral("/m//a.mp3"), QStringLiteral("/m/c.mp3")}});
  fake.ui.open_files_answers.push_back(
      {OpenFilesResult::Status::Chosen, {QStringLiteral("/music//one.mp3")}});
  actions.AddFiles();
  actions.AddFiles();
  actions.AddFiles();
  EXPECT_EQ(Rows(files),
            QStringList({"/music//one.mp3", "/b.mp3", "/m/a.mp3", "/m/c.mp3", "/music//one.mp3"}));
  ASSERT_EQ(fake.ui.shown.size(), 3u);
  EXPECT_EQ(fake.ui.shown[0].title, "Add File(s) - Hold Ctrl to select multiple files");
  EXPECT_EQ(fake.ui.shown[0].detail, "All Files (*.mp3)|*.mp3|");
}

TEST_F(FileListTest, CancellingTheDialogAddsNothingAndTooManyFilesSaysSo) {
  actions.AddFiles();
  EXPECT_EQ(files.RowCount(), 0);
  EXPECT_EQ(fake.ui.shown.size(), 1u);

  fake.ui.open_files_answers.push_back({OpenFilesResult::Status::TooMany, {}});
  actions.AddFiles();
  EXPECT_EQ(files.RowCount(), 0);
  EXPECT_EQ(fake.ui.Messages(),
            QStringList({"You've selected too many files to add.\r\rPlease try adding via the "
                         "\"Add All\" button."}));
}

TEST_F(FileListTest, DroppedFoldersAddEveryFileBeneathThemDroppedFilesGoInAsTheyAre) {
  for (const char* f : {"D/a.mp3", "D/notes.txt", "D/~temp.mp3", "D/.hidden", "D/sub/b.ogg",
                        "E/c.mp3", "single.wav"})
    tree.File(f);
  const QString root = tree.Root();
  actions.DropPaths({tree.PathOf("D"), tree.PathOf("single.wav"), root + "/missing.mp3",
                     tree.PathOf("E") + u'/', tree.PathOf("D")});
  const QStringList d{root + "/D/a.mp3", root + "/D/notes.txt", root + "/D/sub/b.ogg"};
  EXPECT_EQ(Rows(files),
            d + QStringList({root + "/single.wav", root + "/missing.mp3", root + "/E/c.mp3"}) + d);
  EXPECT_TRUE(fake.ui.shown.empty());
}

TEST_F(FileListTest, ADroppedFolderThatCannotBeListedAddsNothingAndTheDropGoesOn) {
  tree.File("D/a.mp3");
  const QString gone = tree.PathOf("D");
  fake.events.on_yield = [&](int n) {
    if (n == 1) QDir(gone).removeRecursively();
  };
  actions.DropPaths({gone, tree.PathOf("x.mp3")});
  EXPECT_EQ(Rows(files), QStringList({tree.PathOf("x.mp3")}));
}

TEST_F(FileListTest, RemovalsTakeTheSelectedRowUnlessTheWindowIsBusy) {
  Fill({"a", "b", "c", "d"});
  actions.RemoveSelectedFile();  // nothing selected
  actions.FileListKeyDown(FileList::kDeleteKey);
  EXPECT_EQ(files.RowCount(), 4);

  files.SetSelectedRow(2);
  pointer.BeginLongAction();
  actions.RemoveSelectedFile();
  actions.FileListKeyDown(FileList::kDeleteKey);
  actions.ClearList();
  EXPECT_EQ(Rows(files), QStringList({"a", "b", "c", "d"}));
  pointer.EndLongAction();

  actions.FileListKeyDown(45);  // any other key
  EXPECT_EQ(files.RowCount(), 4);
  actions.FileListKeyDown(FileList::kDeleteKey);
  EXPECT_EQ(Rows(files), QStringList({"a", "c", "d"}));
  files.SetSelectedRow(3);
  actions.RemoveSelectedFile();
  EXPECT_EQ(Rows(files), QStringList({"a", "c"}));
  actions.ClearList();
  EXPECT_EQ(files.RowCount(), 0);
  actions.FileListKeyDown(FileList::kDeleteKey);  // empty list
  EXPECT_TRUE(fake.ui.Reports().isEmpty());
}

TEST_F(FileListTest, TheResultTableLosesRowsByDeleteAndAllByClearResultsEvenWhenBusy) {
  results.AppendRows({"r1", "r2", "r3"});
  results.SetSelectedRow(1);
  pointer.BeginLongAction();
  actions.ResultsKeyDown(FileList::kDeleteKey);
  EXPECT_EQ(results.RowCount(), 3);
  pointer.EndLongAction();
  actions.ResultsKeyDown(FileList::kDeleteKey);
  EXPECT_EQ(Rows(results), QStringList({"r2", "r3"}));

  pointer.BeginLongAction();
  actions.ClearResults();
  EXPECT_EQ(results.RowCount(), 0);
  actions.ClearResults();  // already empty
  EXPECT_TRUE(fake.ui.Reports().isEmpty());
}

TEST_F(FileListTest, DraggingTheFirstRowOverTheNextTwoCarriesItsPathDown) {
  Fill({"p1", "p2", "p3"});
  PressOn(1);
  EXPECT_EQ(view.pointers, QStringList({"drag"}));
  MoveOver(1);  // over itself: nothing
  MoveOver(2);
  MoveOver(3);
  EXPECT_EQ(Rows(files), QStringList({"p2", "p3", "p1"}));
  EXPECT_EQ(files.SelectedRow(), 3);
  actions.ReorderButtonUp();
  EXPECT_FALSE(actions.ReorderDragActive());
  EXPECT_EQ(view.pointers, QStringList({"drag", "arrow"}));

  MoveOver(1);  // button up: moving no longer drags
  EXPECT_EQ(Rows(files), QStringList({"p2", "p3", "p1"}));
}

TEST_F(FileListTest, TheDragComparesTextsSoRowsWithTheSamePathStay) {
  Fill({"same", "same", "other"});
  PressOn(1);
  MoveOver(2);
  EXPECT_EQ(actions.ReorderSourceItem(), 1);
  MoveOver(3);
  EXPECT_EQ(Rows(files), QStringList({"other", "same", "same"}));
  MoveOver(7);  // below the last row
  EXPECT_EQ(Rows(files), QStringList({"other", "same", "same"}));
}

TEST_F(FileListTest, TheDragScrollsByTheScreenPositionOfThePointer) {
  Fill({"a", "b", "c", "d", "e"});
  PressOn(3);
  MoveOver(2, 304);  // high on the screen: the row above shows
  MoveOver(3, 305);  // the quiet band
  MoveOver(4, 364);
  MoveOver(5, 365);  // low on the screen, but no row below the last
  MoveOver(4, 400);
  MoveOver(1, 100);  // the first row has none above
  EXPECT_EQ(view.made_visible, std::vector<int>({1, 5}));
}

TEST_F(FileListTest, ARemovalDuringADragLeavesTheDragWithoutASource) {
  Fill({"a", "b", "c"});
  PressOn(3);
  files.SetSelectedRow(1);
  actions.FileListKeyDown(FileList::kDeleteKey);
  EXPECT_FALSE(actions.ReorderSourceItem());
  MoveOver(1);
  MoveOver(2);
  EXPECT_EQ(Rows(files), QStringList({"b", "c"}));

  PressOn(2);
  actions.ClearList();
  files.AppendRows({"x", "y"});
  MoveOver(1);
  EXPECT_EQ(Rows(files), QStringList({"x", "y"}));
}

TEST_F(FileListTest, PointerMovesOverTheListsShowTheDefaultPointerButNeverHideTheBusyOne) {
  pointer.SetHover();
  actions.ReorderPointerMoved(1, 1, 1);
  EXPECT_EQ(pointer.Shape(), Pointer::Default);
  pointer.SetHover();
  actions.PointerOverResults();
  EXPECT_EQ(pointer.Shape(), Pointer::Default);
  pointer.BeginLongAction();
  actions.ReorderPointerMoved(1, 1, 1);
  actions.PointerOverResults();
  EXPECT_TRUE(pointer.IsBusy());
}

}  // namespace
