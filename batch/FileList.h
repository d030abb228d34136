#pragma once

#include <QMetaObject>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "platform/ListViewPort.h"

class ErrorReport;
class ReportListModel;
class EventLoop;
class FileSystem;
class Ui;
class WindowPointer;

/// Stands in for the file list's view until the window on screen attaches it; without one a
/// point holds no row and nothing scrolls.
class ListViewPortRelay : public ListViewPort {
 public:
  void Attach(ListViewPort* view) { view_ = view; }
  std::optional<int> RowAt(int x, int y) const override {
    return view_ ? view_->RowAt(x, y) : std::nullopt;
  }
  void EnsureVisible(int row) override {
    if (view_) view_->EnsureVisible(row);
  }
  void ShowDragPointer() override {
    if (view_) view_->ShowDragPointer();
  }
  void ShowArrowPointer() override {
    if (view_) view_->ShowArrowPointer();
  }

 private:
  ListViewPort* view_ = nullptr;
};

/// Every way the file list changes (the file dialog, drops, removals, "Clear List", the
/// reorder drag) and the two edits of the result table that go with them. The window forwards
/// its button clicks and the lists' events here.
class FileList {
 public:
  /// Key code of the Delete key.
  static constexpr int kDeleteKey = 46;
  /// The reorder drag scrolls up above this screen row and down below the next one (pixels
  /// from the top of the screen).
  static constexpr int kScrollUpBelowY = 305;
  static constexpr int kScrollDownAboveY = 364;

  FileList(Ui& ui, const FileSystem& files, EventLoop& events, ReportListModel& file_list,
           ReportListModel& results, ListViewPort& file_view, WindowPointer& pointer,
           ErrorReport& reporter);
  ~FileList();
  FileList(const FileList&) = delete;
  FileList& operator=(const FileList&) = delete;

  /// "Add MP3 File(s)": the open-file dialog with multiple selection; the list scrolls to the
  /// last file added.
  void AddFiles();
  /// Whether "Add File(s)" shows every audio format's files, not MP3 alone.
  void SetEveryFormat(bool on) { every_format_ = on; }
  /// "Clear Results".
  void ClearResults();
  /// "Clear List"; refused while the window is busy.
  void ClearList();

  /// Files and folders dropped on the file list, as local paths in the drop's order; the view
  /// calls this after the drop has returned. Folders are scanned for files of every type; the
  /// list scrolls to the last file added.
  void DropPaths(const QStringList& paths);

  /// Double click on the file list: removes the selected row unless the window is busy. The
  /// removals select the row that takes the removed one's place, or the new last row.
  void RemoveSelectedFile();
  /// Key down on the file list: Delete removes the selected row unless the window is busy.
  void FileListKeyDown(int key_code);
  /// Key down on the result table: Delete removes its selected row unless the window is busy.
  void ResultsKeyDown(int key_code);

  /// The reorder drag: button down, a row clicked, pointer moves (x, y in the list, screen_y
  /// from the top of the screen), button up.
  void ReorderButtonDown();
  void ReorderRowClicked();
  void ReorderPointerMoved(int x, int y, int screen_y);
  void ReorderButtonUp();
  /// Pointer moves over the result table.
  void PointerOverResults();

  bool ReorderDragActive() const { return reorder_drag_active_; }
  std::optional<int> ReorderSourceItem() const { return reorder_source_item_; }

 private:
  void RemoveSelected(ReportListModel& list);
  void DropPathsInOrder(const QStringList& paths);
  /// Scrolls the file list to its last row, where the rows just added are.
  void ShowLastRow();

  Ui& ui_;
  const FileSystem& files_;
  EventLoop& events_;
  ReportListModel& file_list_;
  ReportListModel& results_;
  ListViewPort& file_view_;
  WindowPointer& pointer_;
  ErrorReport& reporter_;

  bool reorder_drag_active_ = false;
  bool every_format_ = false;
  std::optional<int> reorder_source_item_;
  std::vector<QMetaObject::Connection> connections_;
};
