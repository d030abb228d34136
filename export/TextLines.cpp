#include "export/TextLines.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace TextLines {

void AppendPaddedField(QString& line, QStringView text, int width) {
  line += text;
  if (width > text.size()) line.resize(line.size() + (width - text.size()), u' ');
  line += u'\t';
}

namespace {

// What PutAscii stops at besides non-ASCII units: one unit at a time, and as lanes of eight.
struct StopAtNothing {
  bool operator()(char16_t) const { return false; }
#if defined(__SSE2__)
  static __m128i Flags(__m128i) { return _mm_setzero_si128(); }
#endif
};

// A comma, a quote, a CR or a LF: a CSV field with one is quoted.
struct StopAtCsvSpecial {
  bool operator()(char16_t ch) const {
    constexpr uint64_t kSpecial = 1ull << ',' | 1ull << '"' | 1ull << '\r' | 1ull << '\n';
    return ch < 64 && (kSpecial >> ch & 1) != 0;
  }
#if defined(__SSE2__)
  static __m128i Flags(__m128i units) {
    const auto is = [&](char c) { return _mm_cmpeq_epi16(units, _mm_set1_epi16(c)); };
    return _mm_or_si128(_mm_or_si128(is(','), is('"')), _mm_or_si128(is('\r'), is('\n')));
  }
#endif
};

// A control character, a quote or a backslash: written escaped in a JSON string.
struct StopAtJsonSpecial {
  bool operator()(char16_t ch) const { return ch < 0x20 || ch == u'"' || ch == u'\\'; }
#if defined(__SSE2__)
  static __m128i Flags(__m128i units) {
    return _mm_or_si128(_mm_cmplt_epi16(units, _mm_set1_epi16(0x20)),
                        _mm_or_si128(_mm_cmpeq_epi16(units, _mm_set1_epi16('"')),
                                     _mm_cmpeq_epi16(units, _mm_set1_epi16('\\'))));
  }
#endif
};

// Bytes gathered on the stack and appended to the string in pieces: no zero-filled room for the
// worst case, one append per few hundred bytes.
class Utf8Writer {
 public:
  explicit Utf8Writer(std::string& out) : out_(out) {}
  Utf8Writer(const Utf8Writer&) = delete;
  Utf8Writer& operator=(const Utf8Writer&) = delete;
  ~Utf8Writer() { Flush(); }

  void Put(char c) {
    if (at_ == sizeof buffer_) Flush();
    buffer_[at_++] = c;
  }
  void Put(std::string_view bytes) {
    if (bytes.size() > sizeof buffer_ - at_) {
      Flush();
      if (bytes.size() > sizeof buffer_) {
        out_.append(bytes);
        return;
      }
    }
    std::memcpy(buffer_ + at_, bytes.data(), bytes.size());
    at_ += bytes.size();
  }
  // A code point of one unit or a surrogate pair; a lone surrogate, which UTF-8 cannot carry,
  // becomes U+FFFD, or "?" as Qt's own conversion writes it.
  const char16_t* PutCodePoint(const char16_t* p, const char16_t* end, bool lone_as_question) {
    if (at_ + 4 > sizeof buffer_) Flush();
    char32_t c = *p++;
    if (c < 0x80) {
      buffer_[at_++] = static_cast<char>(c);
      return p;
    }
    if (QChar::isHighSurrogate(c) && p < end && QChar::isLowSurrogate(*p)) {
      c = QChar::surrogateToUcs4(char16_t(c), *p++);
    } else if (QChar::isSurrogate(c)) {
      if (lone_as_question) {
        buffer_[at_++] = '?';
        return p;
      }
      c = QChar::ReplacementCharacter;
    }
    if (c < 0x800) {
      buffer_[at_++] = static_cast<char>(0xC0 | (c >> 6));
    } else if (c < 0x10000) {
      buffer_[at_++] = static_cast<char>(0xE0 | (c >> 12));
      buffer_[at_++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    } else {
      buffer_[at_++] = static_cast<char>(0xF0 | (c >> 18));
      buffer_[at_++] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      buffer_[at_++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    }
    buffer_[at_++] = static_cast<char>(0x80 | (c & 0x3F));
    return p;
  }
  // Units below 0x80 that `stop` does not flag, copied as they are; returns where they end.
  template <class Stop>
  const char16_t* PutAscii(const char16_t* p, const char16_t* end, Stop stop) {
    while (p < end) {
      if (at_ == sizeof buffer_) Flush();
      const size_t room = sizeof buffer_ - at_;
      const char16_t* const limit = end - p > static_cast<std::ptrdiff_t>(room) ? p + room : end;
      char* o = buffer_ + at_;
      const char16_t* q = p;
#if defined(__SSE2__)
      // A lane's two bytes set where its unit is ASCII that the stop lets through.
      const auto plain = [&](__m128i units) {
        const __m128i ascii =
            _mm_cmpeq_epi16(_mm_and_si128(units, _mm_set1_epi16(-0x80)), _mm_setzero_si128());
        return _mm_movemask_epi8(_mm_andnot_si128(stop.Flags(units), ascii));
      };
      const auto eight = [](const char16_t* at) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
      };
      const auto four = [](const char16_t* at) {
        return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(at));
      };
      // Eight units at a time while they are all ASCII that the stop lets through.
      while (limit - q >= 8) {
        const __m128i units = eight(q);
        if (plain(units) != 0xFFFF) break;
        _mm_storel_epi64(reinterpret_cast<__m128i*>(o), _mm_packus_epi16(units, units));
        o += 8;
        q += 8;
      }
      // The rest, fewer than eight, as the eight units that end at the limit, or for a shorter
      // run as two fours: a unit written twice gets the same byte. Short cells are most cells.
      if (q < limit && limit - q < 8) {
        if (limit - p >= 8) {
          const __m128i units = eight(limit - 8);
          if (plain(units) == 0xFFFF) {
            _mm_storel_epi64(reinterpret_cast<__m128i*>(o - (q - (limit - 8))),
                             _mm_packus_epi16(units, units));
            o += limit - q;
            q = limit;
          }
        } else if (limit - q >= 4) {
          const __m128i head = four(q);
          const __m128i tail = four(limit - 4);
          if ((plain(head) & plain(tail) & 0xFF) == 0xFF) {
            const auto head_bytes = _mm_cvtsi128_si32(_mm_packus_epi16(head, head));
            const auto tail_bytes = _mm_cvtsi128_si32(_mm_packus_epi16(tail, tail));
            std::memcpy(o, &head_bytes, 4);
            std::memcpy(o + (limit - 4 - q), &tail_bytes, 4);
            o += limit - q;
            q = limit;
          }
        }
      }
#endif
      while (q < limit && *q < 0x80 && !stop(*q)) *o++ = static_cast<char>(*q++);
      at_ += static_cast<size_t>(q - p);
      if (q < limit || q == end) return q;
      p = q;
    }
    return p;
  }
  void Flush() {
    out_.append(buffer_, at_);
    at_ = 0;
  }
  // Where the next byte goes, to come back to.
  size_t Mark() const { return out_.size() + at_; }
  // Drops every byte written since the mark.
  void Rewind(size_t mark) {
    if (mark >= out_.size()) {
      at_ = mark - out_.size();
    } else {
      out_.resize(mark);
      at_ = 0;
    }
  }

 private:
  std::string& out_;
  char buffer_[512];
  size_t at_ = 0;
};

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

// A JSON string straight into UTF-8: what AppendJsonString writes, encoded.
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
