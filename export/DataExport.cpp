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
  // Lines gather in one buffer that is written as it fills, so a wide table costs no allocation
  // a line.
  constexpr qsizetype kFlushAt = 32 * 1024;
  QString lines;
  lines.reserve(kFlushAt + 4096);
  const int columns = table.ColumnCount();
  for (const ResultTable::Row& row : table.rows) {
    if (!row.checked) continue;
    TextLines::AppendCsvField(lines, row.text, formula_safe);
    for (int c = 2; c <= columns; ++c) {
      lines += u',';
      static const QString kEmpty;
      TextLines::AppendCsvField(
          lines, c - 1 <= row.sub_items.size() ? row.sub_items[c - 2] : kEmpty, formula_safe);
    }
    lines += QStringLiteral("\r\n");
    if (lines.size() >= kFlushAt) {
      WriteUtf8(out, lines);
      lines.resize(0);
    }
  }
  if (!lines.isEmpty()) WriteUtf8(out, lines);
  out.Commit();
}

void WriteJsonLines(const ResultTable& table, TextOutput& out) {
  for (const ResultTable::Row& row : table.rows)
    if (row.checked)
      WriteUtf8(out, TextLines::JsonLine(table.headers, row.Cells(table.ColumnCount())));
  out.Commit();
}

}  // namespace DataExport
