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
  // A column the rows were never read for is left out: written empty, it would claim they had
  // no such value.
  std::vector<int> kept;
  for (int c = 1; c <= list.ColumnCount(); ++c) {
    if (list.ColumnUnread(c)) continue;
    table.headers.append(list.Header(c));
    kept.push_back(c - 1);
  }
  const bool whole = kept.size() == static_cast<size_t>(list.ColumnCount());
  table.rows.reserve(static_cast<size_t>(list.RowCount()));
  for (int r = 1; r <= list.RowCount(); ++r)
    table.rows.push_back(
        {whole ? list.Cells(r) : list.Cells(r).Picked(kept.data(), static_cast<int>(kept.size())),
         list.Checked(r)});
  return table;
}
