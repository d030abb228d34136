#pragma once

#include <QString>

/// A workbook writer standing in for the spreadsheet application: one sheet, written cell by
/// cell, saved to a file and opened in the desktop's spreadsheet program.
class Spreadsheet {
 public:
  virtual ~Spreadsheet() = default;
  /// The probe: true when a saved workbook can be shown, that is when the desktop has an
  /// application to open it. It may wait for an answer the desktop has not given yet; asked only
  /// once the workbook is written. Never throws.
  virtual bool Available() noexcept = 0;
  /// Starts a new, empty workbook; throws StepFailure when it cannot.
  virtual void NewWorkbook() = 0;
  /// Sets the text of a cell of the active sheet; row and column count from 1.
  virtual void SetCell(int row, int column, const QString& text) = 0;
  /// Sets a column's width in characters of the default font.
  virtual void SetColumnWidth(int column, double characters) = 0;
  /// Fits every column's width to the texts written so far.
  virtual void AutoFitColumns() = 0;
  /// Writes the workbook to path; throws StepFailure when it cannot.
  virtual void Save(const QString& path) = 0;
  /// Opens the saved workbook in the desktop's spreadsheet program; throws StepFailure.
  virtual void Open(const QString& path) = 0;
};
