#include "export/ResultTable.h"

#include "platform/ReportListModel.h"

QStringList ResultTable::Row::Cells(int columns) const {
  QStringList cells;
  cells.reserve(columns);
  cells.append(text);
  for (int c = 2; c <= columns; ++c)
    cells.append(c - 1 <= sub_items.size() ? sub_items[c - 2] : QString());
  return cells;
}

ResultTable ResultTable::Of(const ReportListModel& list) {
  ResultTable table;
  for (int c = 1; c <= list.ColumnCount(); ++c) table.headers.append(list.Header(c));
  table.rows.reserve(static_cast<size_t>(list.RowCount()));
  for (int r = 1; r <= list.RowCount(); ++r)
    table.rows.push_back({list.Text(r), list.SubItems(r), list.Checked(r)});
  return table;
}
