#include "batch/FileList.h"

#include <QObject>
#include <algorithm>

#include "batch/AddFolder.h"
#include "batch/FolderScan.h"
#include "batch/OtherFormats.h"
#include "core/ErrorTrap.h"
#include "core/Locations.h"
#include "core/Main.h"
#include "platform/EventLoop.h"
#include "platform/FileSystem.h"
#include "platform/ListViewPort.h"
#include "platform/ReportListModel.h"
#include "platform/Ui.h"
#include "platform/WindowPointer.h"

namespace {

const QString kTooManyFiles = QStringLiteral(
    "You've selected too many files to add.\r\rPlease try adding via the \"Add All\" button.");

}  // namespace

FileList::FileList(Ui& ui, const FileSystem& files, EventLoop& events, ReportListModel& file_list,
                   ReportListModel& results, ListViewPort& file_view, WindowPointer& pointer,
                   ErrorReport& reporter)
    : ui_(ui),
      files_(files),
      events_(events),
      file_list_(file_list),
      results_(results),
      file_view_(file_view),
      pointer_(pointer),
      reporter_(reporter) {
  // Whatever takes rows away or reorders them (a removal here, a loader elsewhere) leaves the
  // drag's source row pointing at another path, so the drag forgets it.
  const auto forget_source = [this] { reorder_source_item_.reset(); };
  connections_.push_back(
      QObject::connect(&file_list_, &QAbstractItemModel::rowsAboutToBeRemoved, forget_source));
  connections_.push_back(
      QObject::connect(&file_list_, &QAbstractItemModel::modelAboutToBeReset, forget_source));
  connections_.push_back(
      QObject::connect(&file_list_, &QAbstractItemModel::rowsAboutToBeMoved, forget_source));
}

FileList::~FileList() {
  for (const QMetaObject::Connection& c : connections_) QObject::disconnect(c);
}

void FileList::AddFiles() {
  ErrorTrap trap(loc::kPushButton4Click, reporter_);
  trap.Line(104);
  trap.Line(106);
  const FileDialogRequest request{
      QStringLiteral("Add File(s) - Hold Ctrl to select multiple files"),
      every_format_ ? QStringLiteral("Audio Files|") + OtherFormats::DialogFilter() +
                          QStringLiteral("|All Files (*.*)|*.*|")
                    : QStringLiteral("All Files (*.mp3)|*.mp3|")};
  trap.Line(108);
  trap.Line(110);
  OpenFilesResult result;
  trap.Step(112, [&] { result = ui_.OpenFiles(request); });
  if (result.status == OpenFilesResult::Status::TooMany) {
    ui_.Message(kTooManyFiles);
    return;
  }
  trap.Line(114);
  if (result.status != OpenFilesResult::Status::Chosen || result.paths.isEmpty()) return;
  trap.Line(116);
  trap.Line(118);
  if (result.paths.size() == 1) {
    trap.Line(120);
    trap.Step(122, [&] { file_list_.AppendRow(result.paths.front()); });
    ShowLastRow();
    return;
  }
  trap.Line(124);
  QStringList paths;
  paths.reserve(result.paths.size());
  for (const QString& path : std::as_const(result.paths))
    paths.append(Main::CollapseBackslashes(path));
  trap.Step(140, [&] { file_list_.AppendRows(paths); });
  trap.Line(142);
  ShowLastRow();
}

void FileList::ClearResults() {
  ErrorTrap trap(loc::kPushButton5Click, reporter_);
  trap.Step(100, [&] { results_.Clear(); });
}

void FileList::ClearList() {
  ErrorTrap trap(loc::kPushButton7Click, reporter_);
  trap.Step(100, [&] {
    if (!pointer_.IsBusy()) file_list_.Clear();
  });
}

void FileList::DropPaths(const QStringList& paths) {
  const int before = file_list_.RowCount();
  DropPathsInOrder(paths);
  // Rows land below the part of the list in sight; the last one added comes into view.
  if (file_list_.RowCount() > before) ShowLastRow();
}

void FileList::DropPathsInOrder(const QStringList& paths) {
  const AddFolder::Walk walk{
      files_, events_, [this](std::u16string_view location, int step, const QString& description) {
        reporter_.ShowErrorReport(QStringView(location.data(), location.size()), step, description);
      }};
  for (const QString& path : paths) {
    if (!Main::IsFolder(files_, path)) {
      file_list_.AppendRow(path);
      continue;
    }
    QStringList folders{path + Main::kSeparator};
    const QString every = QStringLiteral("*.*");
    AddFolder::ListedFiles listed;
    if (!FolderScan::WalkForFiles(folders, every, walk, listed)) return;
    for (const QString& folder : std::as_const(folders)) {
      try {
        FolderScan::QueueFiles(file_list_, files_, folder, every, &listed);
      } catch (const std::exception&) {
        // A folder that went away or may not be read adds nothing; the rest of the drop goes on.
      }
    }
  }
}

void FileList::RemoveSelected(ReportListModel& list) {
  if (pointer_.IsBusy() || list.RowCount() == 0) return;
  const std::optional<int> row = list.SelectedRow();
  if (!row) return;
  list.RemoveRow(*row);
  // The row that moved up into its place (or the new last row) is selected, so the next Delete
  // or double click goes on without a click in between.
  if (list.RowCount() > 0) list.SetSelectedRow(std::min(*row, list.RowCount()));
}

void FileList::ShowLastRow() {
  if (file_list_.RowCount() > 0) file_view_.EnsureVisible(file_list_.RowCount());
}

void FileList::RemoveSelectedFile() { RemoveSelected(file_list_); }

void FileList::FileListKeyDown(int key_code) {
  if (key_code == kDeleteKey) RemoveSelected(file_list_);
}

void FileList::ResultsKeyDown(int key_code) {
  if (key_code == kDeleteKey) RemoveSelected(results_);
}

void FileList::ReorderButtonDown() { reorder_drag_active_ = true; }

void FileList::ReorderRowClicked() {
  file_view_.ShowDragPointer();
  reorder_source_item_ = file_list_.SelectedRow();
}

void FileList::ReorderPointerMoved(int x, int y, int screen_y) {
  pointer_.SetDefault();
  if (!reorder_drag_active_) return;
  const std::optional<int> target = file_view_.RowAt(x, y);
  const std::optional<int> source = reorder_source_item_;
  if (!target || !source || *source > file_list_.RowCount() || *target > file_list_.RowCount())
    return;
  const QString target_text = file_list_.Text(*target);
  const QString source_text = file_list_.Text(*source);
  if (target_text == source_text) return;
  file_list_.SetText(*source, target_text);
  file_list_.SetText(*target, source_text);
  file_list_.SetSelectedRow(*target);
  reorder_source_item_ = target;
  if (screen_y < kScrollUpBelowY) {
    if (*target != 1) file_view_.EnsureVisible(*target - 1);
  } else if (screen_y > kScrollDownAboveY && *target < file_list_.RowCount()) {
    file_view_.EnsureVisible(*target + 1);
  }
}

void FileList::ReorderButtonUp() {
  reorder_drag_active_ = false;
  file_view_.ShowArrowPointer();
}

void FileList::PointerOverResults() { pointer_.SetDefault(); }
