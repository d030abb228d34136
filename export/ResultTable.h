#pragma once

#include <QString>
#include <QStringList>
#include <vector>

class ReportListModel;

/// The result table as it stood when an export began. The exports yield to the event loop at
/// every cell, and a yield may run "Clear Results", a new extraction or a Delete key; reading a
/// copy means such an action can neither tear a line nor make a row vanish under the export.
/// QString copies share their text, so the copy costs a reference per cell, not the texts.
struct ResultTable {
  struct Row {
    QString text;           ///< column 1
    QStringList sub_items;  ///< column c > 1 is sub-item c - 1; may end early, the rest empty
    bool checked = false;
    /// All the row's cells, one per column.
    QStringList Cells(int columns) const;
  };

  QStringList headers;
  std::vector<Row> rows;

  int ColumnCount() const { return static_cast<int>(headers.size()); }
  int RowCount() const { return static_cast<int>(rows.size()); }
  /// 1-based, as the list counts; a cell never set reads as empty.
  const QString& Cell(int row, int column) const {
    static const QString kEmpty;
    const Row& r = rows[static_cast<size_t>(row - 1)];
    if (column == 1) return r.text;
    return column - 1 <= r.sub_items.size() ? r.sub_items[column - 2] : kEmpty;
  }

  static ResultTable Of(const ReportListModel& list);
};
