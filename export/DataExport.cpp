#include "export/DataExport.h"

#include <string>
#include <vector>

#include "export/ResultTable.h"
#include "export/TextLines.h"
#include "export/TextOutput.h"

namespace DataExport {

namespace {

// One row's cells as views, every column present.
void Cells(const ResultTable& table, const ResultTable::Row& row, std::vector<QStringView>& cells) {
  cells.clear();
  cells.push_back(row.text);
  for (int c = 2; c <= table.ColumnCount(); ++c)
    cells.push_back(c - 1 <= row.sub_items.size() ? QStringView(row.sub_items[c - 2])
                                                  : QStringView());
}

}  // namespace

void WriteCsv(const ResultTable& table, TextOutput& out, const CsvOptions& options) {
  const bool formula_safe = options.formula_safe;
  if (options.byte_order_mark) out.Write("\xEF\xBB\xBF");
  std::string line;
  std::vector<QStringView> cells(table.headers.begin(), table.headers.end());
  if (options.header) {
    TextLines::AppendCsvLineUtf8(line, cells, formula_safe);
    out.Write(line);
  }
  for (const ResultTable::Row& row : table.rows) {
    if (!row.checked) continue;
    Cells(table, row, cells);
    line.clear();
    TextLines::AppendCsvLineUtf8(line, cells, formula_safe);
    out.Write(line);
  }
  out.Commit();
}

void WriteJsonLines(const ResultTable& table, TextOutput& out) {
  const std::vector<std::string> keys = TextLines::JsonKeys(table.headers);
  std::string line;
  std::vector<QStringView> cells;
  for (const ResultTable::Row& row : table.rows) {
    if (!row.checked) continue;
    Cells(table, row, cells);
    line.clear();
    TextLines::AppendJsonLineUtf8(line, keys, cells);
    out.Write(line);
  }
  out.Commit();
}

}  // namespace DataExport
