#pragma once

#include <QString>
#include <memory>
#include <vector>

#include "platform/Spreadsheet.h"
#include "platform/xlsx/SpreadsheetApp.h"

/// Workbooks written with libxlsxwriter: cells are kept until Save, which writes one sheet of
/// text cells (never formulas) beside the target and renames it into place; Open hands the file
/// to the desktop's spreadsheet application.
class XlsxSpreadsheet : public Spreadsheet {
 public:
  /// The widest column a sheet allows, in characters.
  static constexpr double kMaxColumnWidth = 255;
  /// The widest a fitted column grows: one long file name must not push the rest off screen.
  static constexpr double kFittedWidthLimit = 60;

  /// Without an application only Save works; the probe then answers false.
  explicit XlsxSpreadsheet(std::unique_ptr<SpreadsheetApp> app = nullptr);
  ~XlsxSpreadsheet() override;

  bool Available() noexcept override;
  void NewWorkbook() override;
  void SetCell(int row, int column, const QString& text) override;
  void SetNumber(int row, int column, double value, const QString& text) override;
  void SetDuration(int row, int column, double seconds, const QString& text) override;
  void FreezeHeaderWithFilter(int rows, int columns) override;
  void SetColumnWidth(int column, double characters) override;
  /// Widths from the longest line of each column's texts, as the library cannot measure them.
  void AutoFitColumns() override;
  void NameSheet(const QString& name) override;
  void AddSheet(const QString& name) override;
  void Save(const QString& path) override;
  void Open(const QString& path) override;

  /// The width AutoFitColumns gives a column whose longest line has this many characters.
  static double FittedWidth(qsizetype characters);

 private:
  enum class Kind : uint8_t { kText, kNumber, kDuration };
  struct Cell {
    QString text;
    double value = 0;
    Kind kind = Kind::kText;
  };

  void RequireWorkbook() const;
  void Put(int row, int column, Cell cell);

  std::unique_ptr<SpreadsheetApp> app_;
  bool open_ = false;
  std::vector<std::vector<Cell>> rows_;  // [row - 1][column - 1]
  std::vector<qsizetype> longest_line_;  // per column, over the texts set so far
  std::vector<double> widths_;           // per column; 0 keeps the default
  // The sheets before the one being written, and the name of that one (empty: the library's).
  struct Sheet {
    QString name;
    std::vector<std::vector<Cell>> rows;
    std::vector<double> widths;
    int filter_rows = 0;
    int filter_columns = 0;
  };
  std::vector<Sheet> earlier_;
  QString name_;
  int filter_rows_ = 0;  // with filter_columns_: the header's filter, if any
  int filter_columns_ = 0;
};
