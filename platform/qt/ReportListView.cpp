#include "platform/qt/ReportListView.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPixmap>
#include <QStyledItemDelegate>
#include <QToolTip>
#include <QUrl>
#include <algorithm>

namespace {

// Lays out no more of a cell's text than its width can show. A long cell (a lyric, a comment)
// would otherwise be shaped whole at every repaint, only to be elided to a few words.
class ShownTextDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  static QString Cut(const QString& text, qsizetype most) {
    if (text.size() <= most) return text;
    qsizetype keep = most;
    if (text[keep - 1].isHighSurrogate()) --keep;
    return text.left(keep) + QChar(0x2026);
  }

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    // Paths differ at their end: the middle goes, the start and the last folder stay.
    const auto* model = qobject_cast<const ReportListModel*>(index.model());
    if (model && model->MiddleElided(index.column() + 1)) {
      option->textElideMode = Qt::ElideMiddle;
      return;
    }
    // No glyph of the font is narrower than the narrowest of these, so a cut leaves at least
    // as much as the cell can show; the view elides what remains as it always did.
    if (option->text.size() <= 16) return;
    if (narrowest_ < 0 || option->font != font_) {
      font_ = option->font;
      const QFontMetrics& metrics = option->fontMetrics;
      narrowest_ = metrics.horizontalAdvance(u' ');
      for (const QChar c : QStringView(u".,:;'|!iIlj1\u2009\u200A"))
        narrowest_ = std::min(narrowest_, metrics.horizontalAdvance(c));
    }
    if (narrowest_ <= 0) return;
    const qsizetype most = std::max(option->rect.width(), 1) / narrowest_ + 2;
    if (option->text.size() > most) option->text = Cut(option->text, most);
  }

 private:
  mutable QFont font_;
  mutable int narrowest_ = -1;
};

}  // namespace

ReportListView::ReportListView(ReportListModel& model, QWidget* parent)
    : QTreeView(parent), model_(model) {
  setItemDelegate(new ShownTextDelegate(this));
  // Connected before setModel so they run before the view moves its current row away from
  // removed rows; that move is the view's own, and the model decides the selection then.
  const auto hold = [this] { following_model_ = true; };
  const auto release = [this] { following_model_ = false; };
  connect(&model_, &QAbstractItemModel::rowsAboutToBeRemoved, this, hold);
  connect(&model_, &QAbstractItemModel::rowsAboutToBeMoved, this, hold);
  connect(&model_, &QAbstractItemModel::modelAboutToBeReset, this, hold);
  setModel(&model_);
  connect(&model_, &QAbstractItemModel::rowsRemoved, this, release);
  connect(&model_, &QAbstractItemModel::rowsMoved, this, release);
  connect(&model_, &QAbstractItemModel::modelReset, this, release);
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(true);  // keeps layout cheap for 100 000 rows
  setAllColumnsShowFocus(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  header()->setStretchLastSection(false);
  for (int c = 1; c <= model_.ColumnCount(); ++c) ApplyColumnWidth(c, model_.ColumnWidth(c));

  connect(&model_, &QAbstractItemModel::columnsInserted, this,
          [this](const QModelIndex&, int first, int last) {
            for (int c = first + 1; c <= last + 1; ++c) ApplyColumnWidth(c, model_.ColumnWidth(c));
          });
  connect(&model_, &ReportListModel::ColumnWidthChanged, this, &ReportListView::ApplyColumnWidth);
  connect(&model_, &ReportListModel::SelectionChanged, this, &ReportListView::ShowModelSelection);
  // The model's selected row is one that shows selected, not merely the view's current row: focus
  // makes the first row current without selecting it, and Delete must not act on it then. The
  // view keeps its own selection of several rows; told back, the model's one row would replace it.
  connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
    if (following_model_) return;
    const QModelIndex current = selectionModel()->currentIndex();
    const QModelIndexList selected = selectionModel()->selectedIndexes();
    std::optional<int> row;
    if (current.isValid() && selectionModel()->isRowSelected(current.row(), current.parent()))
      row = current.row() + 1;
    else if (!selected.isEmpty())
      row = selected.first().row() + 1;
    from_view_ = true;
    model_.SetSelectedRow(row);
    from_view_ = false;
  });
}

std::optional<int> ReportListView::RowAt(int x, int y) const {
  const QModelIndex index = indexAt(QPoint(x, y));
  if (!index.isValid()) return std::nullopt;
  return index.row() + 1;
}

void ReportListView::EnsureVisible(int row) {
  if (row < 1 || row > model_.RowCount()) return;
  scrollTo(model_.index(row - 1, 0));
}

void ReportListView::ApplyColumnWidth(int column, int width_twips) {
  setColumnWidth(column - 1, TwipsToPixels(width_twips, logicalDpiX()));
}

void ReportListView::ShowModelSelection(int row) {
  if (from_view_) return;
  QItemSelectionModel* selection = selectionModel();
  const bool was_following = following_model_;
  following_model_ = true;
  Show(selection, row);
  following_model_ = was_following;
}

void ReportListView::Show(QItemSelectionModel* selection, int row) {
  if (row == 0) {
    selection->clear();
    return;
  }
  const QModelIndex index = model_.index(row - 1, 0);
  if (selection->currentIndex().row() == index.row() && selection->isRowSelected(index.row()))
    return;
  selection->setCurrentIndex(index,
                             QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

// ---- Drops from the file manager, the reorder drag, removal keys ----------------------------

void ReportListView::AcceptFileDrops() {
  setDragEnabled(false);
  setDragDropMode(QAbstractItemView::DropOnly);
  setAcceptDrops(true);
  viewport()->setAcceptDrops(true);
  viewport()->setMouseTracking(true);
}

void ReportListView::SetDragPicture(const QString& path) {
  const QPixmap picture(path);
  if (picture.isNull()) {
    drag_pointer_.reset();
    return;
  }
  drag_pointer_ = QCursor(picture);
}

void ReportListView::ShowDragPointer() {
  if (drag_pointer_) viewport()->setCursor(*drag_pointer_);
}

void ReportListView::ShowArrowPointer() { viewport()->setCursor(Qt::ArrowCursor); }

QStringList ReportListView::LocalPaths(const QMimeData* data) {
  QStringList paths;
  if (!data || !data->hasUrls()) return paths;
  for (const QUrl& url : data->urls())
    if (url.isLocalFile()) paths.append(url.toLocalFile());
  return paths;
}

int ReportListView::KeyCodeOf(int qt_key) {
  if (qt_key == Qt::Key_Delete) return 46;
  if ((qt_key >= Qt::Key_0 && qt_key <= Qt::Key_9) || (qt_key >= Qt::Key_A && qt_key <= Qt::Key_Z))
    return qt_key;
  return 0;
}

void ReportListView::mousePressEvent(QMouseEvent* event) {
  QTreeView::mousePressEvent(event);
  // A click below the rows selects nothing: it clears the selection and the current row.
  if (!indexAt(event->position().toPoint()).isValid()) selectionModel()->clear();
  emit MouseDown();
  if (const std::optional<int> row =
          RowAt(event->position().toPoint().x(), event->position().toPoint().y()))
    emit RowClicked(*row);
}

void ReportListView::mouseMoveEvent(QMouseEvent* event) {
  // With a button held the reorder drag moves the rows; Qt's own drag selection would fight it.
  if (event->buttons() == Qt::NoButton) QTreeView::mouseMoveEvent(event);
  const QPoint at = event->position().toPoint();
  emit PointerMoved(at.x(), at.y(), event->globalPosition().toPoint().y());
}

void ReportListView::mouseReleaseEvent(QMouseEvent* event) {
  QTreeView::mouseReleaseEvent(event);
  emit MouseUp();
}

void ReportListView::mouseDoubleClickEvent(QMouseEvent* event) {
  QTreeView::mouseDoubleClickEvent(event);
  emit DoubleClicked();
}

void ReportListView::keyPressEvent(QKeyEvent* event) {
  emit KeyDown(KeyCodeOf(event->key()));
  QTreeView::keyPressEvent(event);
}

void ReportListView::dragEnterEvent(QDragEnterEvent* event) {
  if (LocalPaths(event->mimeData()).isEmpty()) {
    event->ignore();
    return;
  }
  event->acceptProposedAction();
}

void ReportListView::dragMoveEvent(QDragMoveEvent* event) {
  if (LocalPaths(event->mimeData()).isEmpty()) {
    event->ignore();
    return;
  }
  event->acceptProposedAction();
}

void ReportListView::dropEvent(QDropEvent* event) {
  const QStringList paths = LocalPaths(event->mimeData());
  if (paths.isEmpty()) {
    event->ignore();
    return;
  }
  event->acceptProposedAction();
  QMetaObject::invokeMethod(
      this, [this, paths] { emit FilesDropped(paths); }, Qt::QueuedConnection);
}

QString ReportListView::CellTip(const QModelIndex& index) const {
  if (!index.isValid()) return {};
  const QString whole = index.data(Qt::ToolTipRole).toString();
  if (whole.isEmpty()) return {};
  const QString shown = index.data(Qt::DisplayRole).toString();
  // The room the text has: the cell less its margins and, in the first column, a check box.
  const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
  int room = visualRect(index).width() - 2 * margin;
  if (index.column() == 0)
    room -= style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, this) + margin;
  if (shown == whole && fontMetrics().horizontalAdvance(shown) <= room) return {};
  return whole;
}

bool ReportListView::viewportEvent(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    const auto* help = static_cast<QHelpEvent*>(event);
    // A cell that does not show its whole text (more lines, or cut at the column's edge) shows
    // it here; elsewhere the list's own hint.
    QString tip = CellTip(indexAt(help->pos()));
    if (!tip.isEmpty()) {
      if (tip.size() > kLongestTip) tip = tip.left(kLongestTip) + QChar(0x2026);
      // Plain text kept plain: a lyric holding "<b>" is not markup.
      tip = QStringLiteral("<p style=\"white-space:pre-wrap\">") + tip.toHtmlEscaped() +
            QStringLiteral("</p>");
    } else {
      tip = toolTip();
    }
    if (!tip.isEmpty()) {
      QToolTip::showText(help->globalPos(), tip, this);
      return true;
    }
  }
  return QTreeView::viewportEvent(event);
}
