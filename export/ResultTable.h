#pragma once

#include <QString>
#include <QStringList>
#include <vector>

#include "platform/PackedCells.h"

class ReportListModel;

/// The result table as it stood when an export began. The exports yield to the event loop at
/// every cell, and a yield may run "Clear Results", a new extraction or a Delete key; reading a
/// copy means such an action can neither tear a line nor make a row vanish under the export.
/// The copy shares each row's block of cells, so it costs a reference a row, not the texts.
struct ResultTable {
  struct Row {
    RowCells cells;  ///< column c is cell c - 1; cells past the last held read as empty
    bool checked = false;
    /// All the row's cells, one per column.
    QStringList Cells(int columns) const;
  };

  QStringList headers;
  std::vector<Row> rows;

  int ColumnCount() const { return static_cast<int>(headers.size()); }
  int RowCount() const { return static_cast<int>(rows.size()); }
  /// 1-based, as the list counts; a cell never set reads as empty.
  QString Cell(int row, int column) const { return rows[size_t(row - 1)].cells.Text(column - 1); }
  /// Its length in 16-bit units, without unpacking it.
  qsizetype CellLength(int row, int column) const {
    return rows[size_t(row - 1)].cells.Length(column - 1);
  }

  static ResultTable Of(const ReportListModel& list);
};
