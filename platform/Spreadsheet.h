#pragma once

#include <QString>

#include "platform/StepFailure.h"

/// A workbook writer standing in for the spreadsheet application: a sheet (more where the writer
/// can), written cell by cell, saved to a file and opened in the desktop's spreadsheet program.
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
  /// Sets a cell to a number; `text` is how it reads as text. A writer without numbers keeps the
  /// text.
  virtual void SetNumber(int row, int column, double value, const QString& text) {
    (void)value;
    SetCell(row, column, text);
  }
  /// Sets a cell to a duration, shown as h:mm:ss; `text` is how it reads as text.
  virtual void SetDuration(int row, int column, double seconds, const QString& text) {
    (void)seconds;
    SetCell(row, column, text);
  }
  /// Keeps row 1 in view while scrolling and puts filter buttons on it, over the sheet's first
  /// `rows` rows and `columns` columns.
  virtual void FreezeHeaderWithFilter(int rows, int columns) {
    (void)rows;
    (void)columns;
  }
  /// Sets a column's width in characters of the default font.
  virtual void SetColumnWidth(int column, double characters) = 0;
  /// Fits every column's width to the texts written so far.
  virtual void AutoFitColumns() = 0;
  /// Names the sheet being written; a writer without names keeps its own.
  virtual void NameSheet(const QString& name) { (void)name; }
  /// Adds a sheet named `name` after the others; the cells and widths set from now on go to it.
  /// Throws StepFailure when the workbook holds one sheet only.
  virtual void AddSheet(const QString& name) {
    throw StepFailure("This workbook holds one sheet; cannot add '" + name.toStdString() + "'.");
  }
  /// Writes the workbook to path; throws StepFailure when it cannot.
  virtual void Save(const QString& path) = 0;
  /// Opens the saved workbook in the desktop's spreadsheet program; throws StepFailure.
  virtual void Open(const QString& path) = 0;
};
