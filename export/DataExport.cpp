#include "export/DataExport.h"

#include "export/ResultTable.h"
#include "export/TextLines.h"
#include "export/TextOutput.h"

namespace DataExport {

namespace {

void WriteUtf8(TextOutput& out, const QString& text) {
  const QByteArray bytes = text.toUtf8();
  out.Write(std::string_view(bytes.constData(), size_t(bytes.size())));
}

}  // namespace

void WriteCsv(const ResultTable& table, TextOutput& out, const CsvOptions& options) {
  const bool formula_safe = options.formula_safe;
  if (options.byte_order_mark) out.Write("\xEF\xBB\xBF");
  WriteUtf8(out, TextLines::CsvLine(table.headers, formula_safe));
  for (const ResultTable::Row& row : table.rows)
    if (row.checked)
      WriteUtf8(out, TextLines::CsvLine(row.Cells(table.ColumnCount()), formula_safe));
  out.Commit();
}

void WriteJsonLines(const ResultTable& table, TextOutput& out) {
  for (const ResultTable::Row& row : table.rows)
    if (row.checked)
      WriteUtf8(out, TextLines::JsonLine(table.headers, row.Cells(table.ColumnCount())));
  out.Commit();
}

}  // namespace DataExport
