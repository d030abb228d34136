#include "export/ResultTable.h"

#include "platform/ReportListModel.h"

QStringList ResultTable::Row::Cells(int columns) const {
  QStringList out;
  out.reserve(columns);
  for (int c = 0; c < columns; ++c) out.append(cells.Text(c));
  return out;
}

ResultTable ResultTable::Of(const ReportListModel& list) {
  ResultTable table;
  for (int c = 1; c <= list.ColumnCount(); ++c) table.headers.append(list.Header(c));
  table.rows.reserve(static_cast<size_t>(list.RowCount()));
  for (int r = 1; r <= list.RowCount(); ++r) table.rows.push_back({list.Cells(r), list.Checked(r)});
  return table;
}
