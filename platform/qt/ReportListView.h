#pragma once

#include <QCursor>
#include <QStringList>
#include <QTreeView>
#include <optional>

#include "platform/ListViewPort.h"
#include "platform/ReportListModel.h"

/// The report-style list on screen: a flat tree view over a ReportListModel, one selected row
/// kept in step with the model, column widths from twips at the screen's logical DPI.
class ReportListView : public QTreeView, public ListViewPort {
  Q_OBJECT

 public:
  explicit ReportListView(ReportListModel& model, QWidget* parent = nullptr);

  std::optional<int> RowAt(int x, int y) const override;
  void EnsureVisible(int row) override;

  /// Twips (1/1440 inch) as pixels at the given logical DPI.
  static int TwipsToPixels(int twips, int dpi) { return (twips * dpi + 720) / 1440; }

  // ---- Drops from the file manager, the reorder drag, removal keys ----
  /// Takes files and folders dropped from the desktop's file manager; any other drag is refused.
  /// Rows are never dragged out of the list.
  void AcceptFileDrops();
  /// The picture the list shows while a row is dragged inside it; a file that is missing or not
  /// a picture leaves the list's pointer as it is.
  void SetDragPicture(const QString& path);
  void ShowDragPointer() override;
  void ShowArrowPointer() override;
  /// The local file paths a drag carries, in its order; URLs that are not local files are left
  /// out.
  static QStringList LocalPaths(const QMimeData* data);
  /// The old key code of a key: 46 for Delete, letters and digits as themselves, 0 otherwise.
  static int KeyCodeOf(int qt_key);

 signals:
  void MouseDown();
  /// A button went down on a row (1-based), after the row became the selected one.
  void RowClicked(int row);
  /// x and y in the list's area, screen_y from the top edge of the screen.
  void PointerMoved(int x, int y, int screen_y);
  void MouseUp();
  void DoubleClicked();
  void KeyDown(int key_code);
  /// Local paths of a drop, sent from the event loop after the drop has returned, so the file
  /// manager is not held while folders are scanned.
  void FilesDropped(const QStringList& paths);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  /// Over a cell that does not show its whole text, the tip shows it; elsewhere the list's hint
  /// text shows, over its rows as over its empty part.
  bool viewportEvent(QEvent* event) override;

 private:
  /// A tip longer than a screen can hold is cut here.
  static constexpr qsizetype kLongestTip = 5000;
  /// The whole text of a cell that does not show it whole; empty otherwise.
  QString CellTip(const QModelIndex& index) const;

  void ApplyColumnWidth(int column, int width_twips);
  void ShowModelSelection(int row);
  void Show(QItemSelectionModel* selection, int row);

  ReportListModel& model_;
  bool following_model_ = false;  // the view changes its selection to match the model
  bool from_view_ = false;        // the view's own current row is being told to the model
  std::optional<QCursor> drag_pointer_;
};
