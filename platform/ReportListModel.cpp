#include "platform/ReportListModel.h"

#include <QMetaMethod>
#include <algorithm>

#include "platform/StepFailure.h"

namespace {

[[noreturn]] void OutOfRange(const char* what, int index) {
  throw StepFailure(std::string("Invalid ") + what + " index " + std::to_string(index));
}

}  // namespace

ReportListModel::ReportListModel(QObject* parent) : QAbstractTableModel(parent) {}

void ReportListModel::CheckRow(int row) const {
  if (row < 1 || row > RowCount()) OutOfRange("row", row);
}

void ReportListModel::CheckColumn(int column) const {
  if (column < 1 || column > ColumnCount()) OutOfRange("column", column);
}

void ReportListModel::CheckSubItem(int k) const {
  if (k < 1 || k >= ColumnCount()) OutOfRange("sub-item", k);
}

int ReportListModel::AddColumn(const QString& header, std::optional<int> width_twips) {
  const int at = ColumnCount();
  beginInsertColumns(QModelIndex(), at, at);
  columns_.push_back({header, width_twips.value_or(kDefaultColumnWidth)});
  endInsertColumns();
  return at + 1;
}

QString ReportListModel::Header(int column) const {
  CheckColumn(column);
  return columns_[column - 1].header;
}

int ReportListModel::ColumnWidth(int column) const {
  CheckColumn(column);
  return columns_[column - 1].width_twips;
}

void ReportListModel::SetColumnWidth(int column, int width_twips) {
  CheckColumn(column);
  columns_[column - 1].width_twips = width_twips;
  emit ColumnWidthChanged(column, width_twips);
}

void ReportListModel::SetListToolTip(int column, bool on) {
  CheckColumn(column);
  columns_[column - 1].list_tool_tip = on;
}

void ReportListModel::SetRowToolTipColumn(int column, bool on) {
  CheckColumn(column);
  columns_[column - 1].row_tool_tip = on;
}

void ReportListModel::SetRowToolTip(int row, const QString& tip) {
  CheckRow(row);
  const uint32_t arrival = rows_[size_t(row - 1)].arrival;
  if (tip.isEmpty()) {
    row_tips_.erase(arrival);
  } else {
    row_tips_[arrival] = tip;
  }
}

void ReportListModel::SetMiddleElided(int column, bool on) {
  CheckColumn(column);
  columns_[column - 1].middle_elided = on;
}

bool ReportListModel::MiddleElided(int column) const {
  CheckColumn(column);
  return columns_[column - 1].middle_elided;
}

int ReportListModel::AppendRow(const QString& text) { return AppendRow(PackedText(text)); }

int ReportListModel::AppendRow(const PackedText& text) { return AppendPackedRow(text.Bytes()); }

int ReportListModel::AppendPackedRow(std::string_view packed_text) {
  CloseOpenRow();
  const int at = RowCount();
  beginInsertRows(QModelIndex(), at, at);
  rows_.push_back(Row{RowCells(), arrivals_++, false});
  open_row_ = at + 1;
  open_cells_.assign(1, std::string(packed_text));
  endInsertRows();
  return at + 1;
}

int ReportListModel::AppendRow(RowCells&& cells) {
  CloseOpenRow();
  const int at = RowCount();
  beginInsertRows(QModelIndex(), at, at);
  rows_.push_back(Row{std::move(cells), arrivals_++, false});
  endInsertRows();
  return at + 1;
}

void ReportListModel::CloseOpenRow() const {
  if (open_row_ == 0) return;
  std::vector<std::string_view> cells(open_cells_.begin(), open_cells_.end());
  rows_[static_cast<size_t>(open_row_ - 1)].cells =
      RowCells::Of(cells.data(), static_cast<int>(cells.size()));
  open_row_ = 0;
  open_cells_.clear();
}

const RowCells& ReportListModel::CellsOf(int row) const {
  CheckRow(row);
  if (row == open_row_) CloseOpenRow();
  return rows_[row - 1].cells;
}

void ReportListModel::AppendRows(const QStringList& texts) {
  std::vector<RowCells> rows;
  rows.reserve(static_cast<size_t>(texts.size()));
  for (const QString& text : texts) rows.push_back(RowCells::OfText(text));
  AppendPackedRows(std::move(rows));
}

void ReportListModel::AppendPackedRows(std::vector<RowCells> rows) {
  if (rows.empty()) return;
  CloseOpenRow();
  const int at = RowCount();
  beginInsertRows(QModelIndex(), at, at + static_cast<int>(rows.size()) - 1);
  // Growing by at least half keeps many small batches (one per scanned folder) linear.
  const size_t needed = rows_.size() + rows.size();
  if (needed > rows_.capacity()) rows_.reserve(std::max(needed, rows_.capacity() * 3 / 2));
  for (RowCells& cells : rows) rows_.push_back(Row{std::move(cells), arrivals_++, false});
  endInsertRows();
}

QString ReportListModel::Text(int row) const { return CellsOf(row).Text(0); }

QStringList ReportListModel::Texts() const {
  CloseOpenRow();
  QStringList texts;
  texts.reserve(static_cast<qsizetype>(rows_.size()));
  for (const Row& row : rows_) texts.append(row.cells.Text(0));
  return texts;
}

const RowCells& ReportListModel::Cells(int row) const { return CellsOf(row); }

std::vector<RowCells> ReportListModel::AllCells() const {
  CloseOpenRow();
  std::vector<RowCells> all;
  all.reserve(rows_.size());
  for (const Row& row : rows_) all.push_back(row.cells);
  return all;
}

void ReportListModel::SetPacked(int row, int cell, std::string_view packed, int column) {
  if (row == open_row_) {
    if (static_cast<size_t>(cell) >= open_cells_.size()) open_cells_.resize(size_t(cell) + 1);
    open_cells_[static_cast<size_t>(cell)] = packed;
    return;
  }
  Row& r = rows_[row - 1];
  r.cells = r.cells.With(cell, packed);
  // A cell filled as its row arrives needs no notice of its own when nobody listens.
  if (!isSignalConnected(QMetaMethod::fromSignal(&QAbstractItemModel::dataChanged))) return;
  static const QList<int> kDisplay = {Qt::DisplayRole};
  const QModelIndex index = this->index(row - 1, column);
  emit dataChanged(index, index, kDisplay);
}

void ReportListModel::SetText(int row, const QString& text) {
  CheckRow(row);
  SetPacked(row, 0, PackedText(text).Bytes(), 0);
}

QString ReportListModel::SubItem(int row, int k) const {
  CheckRow(row);
  CheckSubItem(k);
  return CellsOf(row).Text(k);
}

void ReportListModel::SetSubItem(int row, int k, const QString& text) {
  SetSubItem(row, k, PackedText(text));
}

void ReportListModel::SetSubItem(int row, int k, const PackedText& text) {
  SetPackedSubItem(row, k, text.Bytes());
}

void ReportListModel::SetPackedSubItem(int row, int k, std::string_view packed) {
  CheckRow(row);
  CheckSubItem(k);
  SetPacked(row, k, packed, k);
}

void ReportListModel::SetSubItem(int row, int k, PackedText&& text) {
  CheckRow(row);
  CheckSubItem(k);
  SetPacked(row, k, text.Take(), k);
}

void ReportListModel::SetPacked(int row, int cell, std::string&& packed, int column) {
  if (row != open_row_) {
    SetPacked(row, cell, std::string_view(packed), column);
    return;
  }
  if (static_cast<size_t>(cell) >= open_cells_.size()) open_cells_.resize(size_t(cell) + 1);
  open_cells_[static_cast<size_t>(cell)] = std::move(packed);
}

QStringList ReportListModel::SubItems(int row) const { return CellsOf(row).Rest(); }

QString ReportListModel::Cell(int row, int column) const {
  CheckColumn(column);
  return column == 1 ? Text(row) : SubItem(row, column - 1);
}

bool ReportListModel::Checked(int row) const {
  CheckRow(row);
  return rows_[row - 1].checked;
}

void ReportListModel::SetChecked(int row, bool checked) {
  CheckRow(row);
  rows_[row - 1].checked = checked;
  const QModelIndex cell = index(row - 1, 0);
  emit dataChanged(cell, cell, {Qt::CheckStateRole});
}

void ReportListModel::SetSelectedRow(std::optional<int> row) {
  if (row) CheckRow(*row);
  if (selected_ == row) return;
  selected_ = row;
  emit SelectionChanged(selected_.value_or(0));
}

void ReportListModel::RemoveRow(int row) {
  CheckRow(row);
  CloseOpenRow();
  beginRemoveRows(QModelIndex(), row - 1, row - 1);
  row_tips_.erase(rows_[size_t(row - 1)].arrival);
  rows_.erase(rows_.begin() + (row - 1));
  endRemoveRows();
  if (!selected_) return;
  if (*selected_ == row) {
    SetSelectedRow(std::nullopt);
  } else if (*selected_ > row) {
    selected_ = *selected_ - 1;
    emit SelectionChanged(*selected_);
  }
}

void ReportListModel::Clear() {
  if (rows_.empty() && aside_.empty()) {
    if (!HasUnreadColumns()) return;
    beginResetModel();
    for (Column& column : columns_) column.unread = false;
    endResetModel();
    return;
  }
  for (Column& column : columns_) column.unread = false;
  beginResetModel();
  open_row_ = 0;
  open_cells_.clear();
  rows_.clear();
  aside_.clear();
  row_tips_.clear();
  arrivals_ = 0;
  endResetModel();
  SetSelectedRow(std::nullopt);
}

void ReportListModel::MoveRow(int from, int to) {
  CheckRow(from);
  CheckRow(to);
  if (from == to) return;
  CloseOpenRow();
  // Qt names the destination as the row the moved one lands before, counted before the move.
  const int destination = to > from ? to : to - 1;
  beginMoveRows(QModelIndex(), from - 1, from - 1, QModelIndex(), destination);
  Row moved = std::move(rows_[from - 1]);
  rows_.erase(rows_.begin() + (from - 1));
  rows_.insert(rows_.begin() + (to - 1), std::move(moved));
  endMoveRows();
  if (selected_ == from) {
    selected_ = to;
    emit SelectionChanged(to);
  } else if (selected_) {
    int s = *selected_;
    if (from < s && s <= to) --s;
    if (to <= s && s < from) ++s;
    if (s != *selected_) {
      selected_ = s;
      emit SelectionChanged(s);
    }
  }
}

void ReportListModel::ReorderRows(const std::vector<int>& order) {
  if (order.size() != rows_.size()) throw StepFailure("Invalid row order");
  CloseOpenRow();
  std::vector<Row> reordered;
  reordered.reserve(rows_.size());
  std::optional<int> selected;
  for (size_t i = 0; i < order.size(); ++i) {
    const int from = order[i];
    if (from < 0 || static_cast<size_t>(from) >= rows_.size()) OutOfRange("row", from + 1);
    if (selected_ && *selected_ == from + 1) selected = static_cast<int>(i) + 1;
    reordered.push_back(std::move(rows_[static_cast<size_t>(from)]));
  }
  emit layoutAboutToBeChanged();
  rows_ = std::move(reordered);
  emit layoutChanged();
  if (selected != selected_) {
    selected_ = selected;
    emit SelectionChanged(selected_.value_or(0));
  }
}

int ReportListModel::Arrival(int row) const {
  CheckRow(row);
  return static_cast<int>(rows_[size_t(row - 1)].arrival);
}

std::vector<int> ReportListModel::ArrivalOrder() const {
  std::vector<int> order(rows_.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
  std::sort(order.begin(), order.end(), [this](int a, int b) {
    return rows_[static_cast<size_t>(a)].arrival < rows_[static_cast<size_t>(b)].arrival;
  });
  return order;
}

std::vector<RowCells> ReportListModel::EveryRowCells(std::vector<uint32_t>* arrivals) const {
  CloseOpenRow();
  // The rows on show in arrival order, merged with those set aside, which keep that order.
  const std::vector<int> shown = ArrivalOrder();
  std::vector<RowCells> all;
  all.reserve(rows_.size() + aside_.size());
  if (arrivals) {
    arrivals->clear();
    arrivals->reserve(rows_.size() + aside_.size());
  }
  const auto take = [&](const Row& row) {
    all.push_back(row.cells);
    if (arrivals) arrivals->push_back(row.arrival);
  };
  size_t a = 0;
  for (const int i : shown) {
    const Row& row = rows_[size_t(i)];
    while (a < aside_.size() && aside_[a].arrival < row.arrival) take(aside_[a++]);
    take(row);
  }
  while (a < aside_.size()) take(aside_[a++]);
  return all;
}

void ReportListModel::ShowOnly(const std::vector<bool>& shown) {
  CloseOpenRow();
  std::vector<Row> every;
  every.reserve(rows_.size() + aside_.size());
  for (Row& row : rows_) every.push_back(std::move(row));
  for (Row& row : aside_) every.push_back(std::move(row));
  std::stable_sort(every.begin(), every.end(),
                   [](const Row& a, const Row& b) { return a.arrival < b.arrival; });
  beginResetModel();
  rows_.clear();
  aside_.clear();
  for (size_t i = 0; i < every.size(); ++i)
    (i < shown.size() && shown[i] ? rows_ : aside_).push_back(std::move(every[i]));
  endResetModel();
  SetSelectedRow(std::nullopt);
}

void ReportListModel::ReplaceColumns(const QStringList& headers,
                                     const std::vector<std::optional<int>>& widths) {
  // Where each new column's cells come from in the old columns (-1: nowhere).
  std::vector<int> source;
  for (const QString& header : headers) {
    int from = -1;
    for (size_t c = 0; c < columns_.size() && from < 0; ++c)
      if (columns_[c].header == header) from = static_cast<int>(c);
    source.push_back(from);
  }
  CloseOpenRow();
  beginResetModel();
  const bool had_rows = !rows_.empty() || !aside_.empty();
  for (std::vector<Row>* rows : {&rows_, &aside_})
    for (Row& row : *rows)
      row.cells = row.cells.Picked(source.data(), static_cast<int>(source.size()));
  std::vector<Column> columns;
  for (qsizetype c = 0; c < headers.size(); ++c) {
    const size_t k = static_cast<size_t>(c);
    const int from = source[k];
    Column column{headers[c],
                  (k < widths.size() ? widths[k] : std::nullopt).value_or(kDefaultColumnWidth)};
    column.unread = from < 0 ? had_rows : columns_[static_cast<size_t>(from)].unread;
    columns.push_back(std::move(column));
  }
  columns_ = std::move(columns);
  endResetModel();
}

bool ReportListModel::ColumnUnread(int column) const {
  CheckColumn(column);
  return columns_[static_cast<size_t>(column - 1)].unread;
}

bool ReportListModel::HasUnreadColumns() const {
  return std::any_of(columns_.begin(), columns_.end(),
                     [](const Column& column) { return column.unread; });
}

int ReportListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : RowCount();
}

int ReportListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : ColumnCount();
}

QString ReportListModel::OneLine(const QString& text) {
  if (!text.contains(u'\r') && !text.contains(u'\n')) return text;
  QString line = text;
  line.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  line.replace(u'\r', u'\n');
  line.replace(u'\n', kLineBreakMark.toString());
  return line;
}

QString ReportListModel::WholeText(const QString& text) {
  if (!text.contains(u'\r')) return text;
  QString whole = text;
  whole.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  whole.replace(u'\r', u'\n');
  return whole;
}

QVariant ReportListModel::data(const QModelIndex& index, int role) const {
  if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
    return {};
  if (index.row() + 1 == open_row_) CloseOpenRow();
  const Row& row = rows_[index.row()];
  if (columns_[size_t(index.column())].unread) {
    if (role == Qt::ToolTipRole) return kUnreadNote.toString();
    if (role == Qt::CheckStateRole && index.column() == 0)
      return row.checked ? Qt::Checked : Qt::Unchecked;
    return {};
  }
  if (role == Qt::DisplayRole) {
    // Every row one line high, however many lines a lyric has; the tip shows them all.
    const std::string_view packed = row.cells.Packed(index.column());
    if (PackedText::LengthOf(packed) <= kLongestShown) return OneLine(PackedText::Unpack(packed));
    QString shown = PackedText::UnpackPrefix(packed, kLongestShown);
    if (shown.back().isHighSurrogate()) shown.chop(1);
    return OneLine(shown) + QChar(0x2026);
  }
  if (role == Qt::ToolTipRole) {
    if (columns_[size_t(index.column())].row_tool_tip) {
      const auto tip = row_tips_.find(row.arrival);
      if (tip != row_tips_.end()) return tip->second;
    }
    const QString text = row.cells.Text(index.column());
    // The tip shows the whole text; a column of "; "-separated items shows one item a line.
    if (!columns_[size_t(index.column())].list_tool_tip) return WholeText(text);
    return text.isEmpty()
               ? QVariant()
               : QVariant(QString(text).replace(QStringLiteral("; "), QStringLiteral("\n")));
  }
  if (role == Qt::CheckStateRole && index.column() == 0)
    return row.checked ? Qt::Checked : Qt::Unchecked;
  return {};
}

bool ReportListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::CheckStateRole || index.column() != 0 ||
      !checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
    return false;
  SetChecked(index.row() + 1, value.value<Qt::CheckState>() == Qt::Checked);
  return true;
}

QVariant ReportListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount()) return {};
  const Column& column = columns_[size_t(section)];
  if (role == Qt::DisplayRole)
    return column.unread ? column.header + QStringLiteral(" (run again)") : column.header;
  if (role == Qt::ToolTipRole && column.unread)
    return column.header + QStringLiteral(": not read in the last run. ") + kUnreadNote.toString() +
           QStringLiteral("; until then copies and saved files leave it out.");
  return {};
}

Qt::ItemFlags ReportListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
  if (index.column() == 0) f |= Qt::ItemIsUserCheckable;
  return f;
}
