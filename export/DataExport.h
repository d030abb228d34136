#pragma once

class TextOutput;
struct ResultTable;

/// The result table for other programs: the header and the checked rows, UTF-8.
namespace DataExport {

struct CsvOptions {
  /// Fields a spreadsheet would take for a formula start with "'" (TextLines::AppendCsvLineUtf8).
  bool formula_safe = false;
  /// A UTF-8 byte-order mark first, so spreadsheets read accents right.
  bool byte_order_mark = false;
  /// The header line first; without it, the rows of several runs concatenate into one table.
  bool header = true;
};

/// RFC 4180: a header line (unless left out), every field quoted where it must be, CR LF line
/// ends.
void WriteCsv(const ResultTable& table, TextOutput& out, const CsvOptions& options = {});

/// JSON Lines: one object per row, keyed by the column headers.
void WriteJsonLines(const ResultTable& table, TextOutput& out);

}  // namespace DataExport
