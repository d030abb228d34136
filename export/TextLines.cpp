#include "export/TextLines.h"

#include <algorithm>

#include "export/Utf8Writer.h"

namespace TextLines {

void AppendPaddedField(QString& line, QStringView text, int width) {
  line += text;
  if (width > text.size()) line.resize(line.size() + (width - text.size()), u' ');
  line += u'\t';
}

namespace {

void PutText(Utf8Writer& w, QStringView text, bool lone_as_question) {
  const char16_t* p = text.utf16();
  const char16_t* const end = p + text.size();
  while (p < end) {
    p = w.PutAscii(p, end, StopAtNothing());
    if (p < end) p = w.PutCodePoint(p, end, lone_as_question);
  }
}

void EncodeUtf8(std::string& out, QStringView text, bool lone_as_question) {
  Utf8Writer w(out);
  PutText(w, text, lone_as_question);
}

}  // namespace

void AppendUtf8(std::string& out, QStringView text) { EncodeUtf8(out, text, false); }

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

namespace {

// The field as it is; false, halfway, at the first character that needs it quoted.
bool PutCsvPlain(Utf8Writer& w, QStringView text) {
  const char16_t* p = text.utf16();
  const char16_t* const end = p + text.size();
  while (p < end) {
    p = w.PutAscii(p, end, StopAtCsvSpecial());
    if (p == end) break;
    if (*p < 0x80) return false;
    p = w.PutCodePoint(p, end, true);
  }
  return true;
}

}  // namespace

void AppendCsvLineUtf8(std::string& out, std::span<const QStringView> cells, bool formula_safe) {
  // One writer for the whole line: a row of many cells, most of them empty, costs little more
  // than its bytes.
  Utf8Writer w(out);
  for (size_t c = 0; c < cells.size(); ++c) {
    if (c > 0) w.Put(',');
    const QStringView text = cells[c];
    if (text.isEmpty()) continue;
    const bool starts_formula = formula_safe && QStringView(u"=+-@\t\r").contains(text.front());
    if (!starts_formula) {
      // Most fields need no quotes: they are written in one pass, and written again quoted when
      // a character turns up that needs them.
      const size_t mark = w.Mark();
      if (PutCsvPlain(w, text)) continue;
      w.Rewind(mark);
    } else if (std::none_of(text.utf16(), text.utf16() + text.size(), StopAtCsvSpecial())) {
      w.Put('\'');
      PutText(w, text, true);
      continue;
    }
    w.Put('"');
    if (starts_formula) w.Put('\'');
    for (qsizetype from = 0;;) {
      const qsizetype q = text.indexOf(u'"', from);
      PutText(w, text.mid(from, q < 0 ? text.size() - from : q + 1 - from), true);
      if (q < 0) break;
      w.Put('"');
      from = q + 1;
    }
    w.Put('"');
  }
  w.Put("\r\n");
}

namespace {

// A JSON string straight into UTF-8; a lone surrogate becomes U+FFFD.
void PutJsonString(Utf8Writer& w, QStringView text) {
  static constexpr char kHex[] = "0123456789abcdef";
  w.Put('"');
  const char16_t* p = text.utf16();
  const char16_t* const end = p + text.size();
  while (p < end) {
    p = w.PutAscii(p, end, StopAtJsonSpecial());
    if (p == end) break;
    const char16_t ch = *p;
    if (ch >= 0x80) {
      p = w.PutCodePoint(p, end, false);
      continue;
    }
    ++p;
    if (ch == u'"' || ch == u'\\') {
      w.Put('\\');
      w.Put(static_cast<char>(ch));
    } else if (ch == u'\n') {
      w.Put("\\n");
    } else if (ch == u'\r') {
      w.Put("\\r");
    } else if (ch == u'\t') {
      w.Put("\\t");
    } else {
      w.Put("\\u00");
      w.Put(kHex[ch >> 4]);
      w.Put(kHex[ch & 15]);
    }
  }
  w.Put('"');
}

void AppendJsonStringUtf8(std::string& out, QStringView text) {
  Utf8Writer w(out);
  PutJsonString(w, text);
}

}  // namespace

std::vector<std::string> JsonKeys(const QStringList& headers) {
  std::vector<std::string> keys;
  keys.reserve(size_t(headers.size()));
  for (const QString& header : headers) {
    std::string key;
    AppendJsonStringUtf8(key, header);
    key += ':';
    keys.push_back(std::move(key));
  }
  return keys;
}

void AppendJsonLineUtf8(std::string& out, const std::vector<std::string>& keys,
                        std::span<const QStringView> cells) {
  Utf8Writer w(out);
  w.Put('{');
  for (size_t c = 0; c < keys.size(); ++c) {
    if (c > 0) w.Put(',');
    w.Put(keys[c]);
    PutJsonString(w, c < cells.size() ? cells[c] : QStringView());
  }
  w.Put("}\n");
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
