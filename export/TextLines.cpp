#include "export/TextLines.h"

#include <algorithm>

namespace TextLines {

void AppendPaddedField(QString& line, QStringView text, int width) {
  line += text;
  if (width > text.size()) line.resize(line.size() + (width - text.size()), u' ');
  line += u'\t';
}

void AppendUtf8(std::string& out, QStringView text) {
  // One pass into room for the worst case (3 bytes a unit), cut back to what was written.
  const size_t at = out.size();
  out.resize(at + 3 * size_t(text.size()));
  char* o = out.data() + at;
  const char16_t* p = text.utf16();
  const char16_t* const end = p + text.size();
  while (p < end) {
    char32_t c = *p++;
    if (c < 0x80) {
      *o++ = static_cast<char>(c);
      continue;
    }
    if (QChar::isHighSurrogate(c) && p < end && QChar::isLowSurrogate(*p)) {
      c = QChar::surrogateToUcs4(char16_t(c), *p++);
    } else if (QChar::isSurrogate(c)) {
      c = QChar::ReplacementCharacter;
    }
    if (c < 0x800) {
      *o++ = static_cast<char>(0xC0 | (c >> 6));
    } else if (c < 0x10000) {
      *o++ = static_cast<char>(0xE0 | (c >> 12));
      *o++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    } else {
      *o++ = static_cast<char>(0xF0 | (c >> 18));
      *o++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      *o++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    }
    *o++ = static_cast<char>(0x80 | (c & 0x3F));
  }
  out.resize(size_t(o - out.data()));
}

void AppendPaddedFieldUtf8(std::string& out, QStringView text, int width) {
  AppendUtf8(out, text);
  if (width > text.size()) out.append(size_t(width - text.size()), ' ');
  out += '\t';
}

QString AlignedLine(const QStringList& cells, const std::vector<int>& widths) {
  QString line;
  for (qsizetype c = 0; c < cells.size(); ++c)
    AppendPaddedField(line, cells[c], c < qsizetype(widths.size()) ? widths[size_t(c)] : 0);
  return line;
}

QString ClipboardLine(const QStringList& cells, const std::vector<int>& widths) {
  QString line = AlignedLine(cells, widths);
  line.chop(1);  // the tab after the last column
  qsizetype end = line.size();
  while (end > 0 && line[end - 1] == u' ') --end;
  line.truncate(end);
  line += QStringLiteral("\r\n");
  return line;
}

qsizetype ClipboardLineBound(const std::vector<int>& widths) {
  qsizetype bound = 2;
  for (int w : widths) bound += w + 1;
  return bound;
}

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

QString CsvLine(const QStringList& cells, bool formula_safe) {
  QString line;
  for (qsizetype c = 0; c < cells.size(); ++c) {
    if (c > 0) line += u',';
    AppendCsvField(line, cells[c], formula_safe);
  }
  line += QStringLiteral("\r\n");
  return line;
}

namespace {

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

QString WorkbookCellText(const QString& text, bool& cut) {
  QString out = text;
  out.replace(QChar(u'\0'), QChar(QChar::ReplacementCharacter));
  cut = out.size() > kWorkbookCellLimit;
  if (cut) {
    qsizetype keep = kWorkbookCellLimit;
    if (out[keep - 1].isHighSurrogate()) --keep;
    out.truncate(keep);
  }
  return out;
}

QString WithoutEquals(const QString& text) {
  QString out = text;
  out.remove(u'=');
  return out;
}

}  // namespace TextLines
