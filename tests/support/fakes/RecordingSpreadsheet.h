#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <utility>

#include "platform/Spreadsheet.h"
#include "platform/StepFailure.h"

/// Records the cells and calls a workbook would receive.
class RecordingSpreadsheet : public Spreadsheet {
 public:
  bool Available() noexcept override {
    ++probes;
    return available;
  }
  void NewWorkbook() override {
    if (fail_new_workbook) throw StepFailure("Cannot create the workbook.");
    calls.append(QStringLiteral("NewWorkbook"));
    cells.clear();
  }
  void SetCell(int row, int column, const QString& text) override {
    if (row < 1 || column < 1) throw StepFailure("Invalid cell.");
    cells[{row, column}] = text;
  }
  void SetNumber(int row, int column, double value, const QString& text) override {
    SetCell(row, column, text);
    numbers[{row, column}] = value;
  }
  void SetDuration(int row, int column, double seconds, const QString& text) override {
    SetCell(row, column, text);
    durations[{row, column}] = seconds;
  }
  void FreezeHeaderWithFilter(int rows, int columns) override {
    calls.append(QStringLiteral("FreezeHeaderWithFilter %1 %2").arg(rows).arg(columns));
  }
  void SetColumnWidth(int column, double characters) override { widths[column] = characters; }
  void NameSheet(const QString& name) override { sheet_name = name; }
  void AddSheet(const QString& name) override {
    calls.append(QStringLiteral("AddSheet ") + name);
    earlier_sheets.append(cells);
    cells.clear();
  }
  void AutoFitColumns() override { calls.append(QStringLiteral("AutoFitColumns")); }
  void Save(const QString& path) override {
    if (fail_save) throw StepFailure("Cannot save the workbook.");
    calls.append(QStringLiteral("Save ") + path);
    saved_path = path;
  }
  void Open(const QString& path) override {
    if (fail_open) throw StepFailure("The application did not start.");
    calls.append(QStringLiteral("Open ") + path);
    opened_path = path;
  }

  /// The text of a cell, empty when never set.
  QString Cell(int row, int column) const { return cells.value({row, column}); }
  /// The highest row holding a cell.
  int LastRow() const { return cells.isEmpty() ? 0 : cells.lastKey().first; }

  bool available = true;
  bool fail_new_workbook = false;
  bool fail_save = false;
  bool fail_open = false;
  int probes = 0;
  QMap<std::pair<int, int>, QString> cells;
  QList<QMap<std::pair<int, int>, QString>> earlier_sheets;  // cells of the sheets before
  QMap<std::pair<int, int>, double> numbers;                 // cells set as numbers
  QMap<std::pair<int, int>, double> durations;               // cells set as durations, in seconds
  QMap<int, double> widths;
  QStringList calls;
  QString saved_path;
  QString sheet_name;  ///< the name given to the sheet being written
  QString opened_path;
};
