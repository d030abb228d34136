#include "export/DataExport.h"

#include <string>
#include <vector>

#include "export/ResultTable.h"
#include "export/TextLines.h"
#include "export/TextOutput.h"

namespace DataExport {

namespace {

// One row's cells unpacked, every column present, and views of them.
void Cells(const ResultTable& table, const ResultTable::Row& row, std::vector<QString>& texts,
           std::vector<QStringView>& cells) {
  texts.resize(static_cast<size_t>(table.ColumnCount()));
  cells.resize(texts.size());
  for (size_t c = 0; c < texts.size(); ++c) {
    texts[c] = row.cells.Text(static_cast<int>(c));
    cells[c] = texts[c];
  }
}

}  // namespace

void WriteCsv(const ResultTable& table, TextOutput& out, const CsvOptions& options) {
  const bool formula_safe = options.formula_safe;
  if (options.byte_order_mark) out.Write("\xEF\xBB\xBF");
  std::string line;
  std::vector<QString> texts;
  std::vector<QStringView> cells(table.headers.begin(), table.headers.end());
  if (options.header) {
    TextLines::AppendCsvLineUtf8(line, cells, formula_safe);
    out.Write(line);
  }
  for (const ResultTable::Row& row : table.rows) {
    if (!row.checked) continue;
    Cells(table, row, texts, cells);
    line.clear();
    TextLines::AppendCsvLineUtf8(line, cells, formula_safe);
    out.Write(line);
  }
  out.Commit();
}

void WriteJsonLines(const ResultTable& table, TextOutput& out) {
  const std::vector<std::string> keys = TextLines::JsonKeys(table.headers);
  std::string line;
  std::vector<QString> texts;
  std::vector<QStringView> cells;
  for (const ResultTable::Row& row : table.rows) {
    if (!row.checked) continue;
    Cells(table, row, texts, cells);
    line.clear();
    TextLines::AppendJsonLineUtf8(line, keys, cells);
    out.Write(line);
  }
  out.Commit();
}

}  // namespace DataExport
