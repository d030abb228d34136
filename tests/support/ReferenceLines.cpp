#include "tests/support/ReferenceLines.h"

#include <algorithm>

namespace ReferenceLines {

namespace {

void AppendCsvField(QString& line, const QString& cell, bool formula_safe) {
  const bool starts_formula =
      formula_safe && !cell.isEmpty() && QStringView(u"=+-@\t\r").contains(cell.front());
  const bool quote = std::any_of(cell.begin(), cell.end(), [](QChar ch) {
    return ch == u',' || ch == u'"' || ch == u'\r' || ch == u'\n';
  });
  if (quote) line += u'"';
  if (starts_formula) line += u'\'';
  if (!quote) {
    line += cell;
    return;
  }
  // Copied in runs between quotes, each quote doubled.
  qsizetype from = 0;
  for (qsizetype at; (at = cell.indexOf(u'"', from)) >= 0; from = at + 1) {
    line += QStringView(cell).mid(from, at + 1 - from);
    line += u'"';
  }
  line += QStringView(cell).mid(from);
  line += u'"';
}

void AppendJsonString(QString& out, QStringView text) {
  static constexpr char16_t kHex[] = u"0123456789abcdef";
  out += u'"';
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char16_t ch = text[i].unicode();
    if (QChar::isHighSurrogate(ch) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
      out += text[i];
      out += text[++i];
    } else if (QChar::isSurrogate(ch)) {
      out += QChar(QChar::ReplacementCharacter);
    } else if (ch == u'"' || ch == u'\\') {
      out += u'\\';
      out += QChar(ch);
    } else if (ch == u'\n') {
      out += QStringLiteral("\\n");
    } else if (ch == u'\r') {
      out += QStringLiteral("\\r");
    } else if (ch == u'\t') {
      out += QStringLiteral("\\t");
    } else if (ch < 0x20) {
      out += QStringLiteral("\\u00");
      out += QChar(kHex[ch >> 4]);
      out += QChar(kHex[ch & 15]);
    } else {
      out += QChar(ch);
    }
  }
  out += u'"';
}

}  // namespace

QString CsvLine(const QStringList& cells, bool formula_safe) {
  QString line;
  for (qsizetype c = 0; c < cells.size(); ++c) {
    if (c > 0) line += u',';
    AppendCsvField(line, cells[c], formula_safe);
  }
  line += QStringLiteral("\r\n");
  return line;
}

QString JsonLine(const QStringList& headers, const QStringList& cells) {
  QString line = QStringLiteral("{");
  for (qsizetype c = 0; c < headers.size(); ++c) {
    if (c > 0) line += u',';
    AppendJsonString(line, headers[c]);
    line += u':';
    AppendJsonString(line, c < cells.size() ? QStringView(cells[c]) : QStringView());
  }
  line += QStringLiteral("}\n");
  return line;
}

}  // namespace ReferenceLines
