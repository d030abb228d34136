#pragma once

#include <QStringView>
#include <cstdint>
#include <cstring>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// The UTF-8 writer under the text lines, kept inline so its loops stay in their callers.
namespace TextLines {

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

}  // namespace TextLines
