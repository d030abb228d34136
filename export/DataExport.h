#pragma once

class TextOutput;
struct ResultTable;

/// The result table for other programs: the header and the checked rows, UTF-8.
namespace DataExport {

/// RFC 4180: a header line, every field quoted where it must be, CR LF line ends. With
/// `formula_safe`, fields a spreadsheet would take for a formula start with "'" (CsvLine).
void WriteCsv(const ResultTable& table, TextOutput& out, bool formula_safe = false);

/// JSON Lines: one object per row, keyed by the column headers.
void WriteJsonLines(const ResultTable& table, TextOutput& out);

}  // namespace DataExport
