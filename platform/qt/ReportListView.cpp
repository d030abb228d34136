#include "platform/qt/ReportListView.h"

#include <QHeaderView>
#include <QItemSelectionModel>

ReportListView::ReportListView(ReportListModel& model, QWidget* parent)
    : QTreeView(parent), model_(model) {
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
  connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) {
            if (following_model_) return;
            model_.SetSelectedRow(current.isValid() ? std::optional<int>(current.row() + 1)
                                                    : std::nullopt);
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
