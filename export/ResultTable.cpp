#include "export/ResultTable.h"

#include "platform/ReportListModel.h"

const QString& ResultTable::Cell(int row, int column) const {
  static const QString kEmpty;
  const QStringList& cells = rows[static_cast<size_t>(row - 1)].cells;
  return column - 1 < cells.size() ? cells[column - 1] : kEmpty;
}

ResultTable ResultTable::Of(const ReportListModel& list) {
  ResultTable table;
  const int columns = list.ColumnCount();
  for (int c = 1; c <= columns; ++c) table.headers.append(list.Header(c));
  table.rows.reserve(static_cast<size_t>(list.RowCount()));
  for (int r = 1; r <= list.RowCount(); ++r) {
    Row row;
    row.cells.reserve(columns);
    for (int c = 1; c <= columns; ++c) row.cells.append(list.Cell(r, c));
    row.checked = list.Checked(r);
    table.rows.push_back(std::move(row));
  }
  return table;
}
