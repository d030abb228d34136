#include "legacy/LegacyGuess.h"

#include <algorithm>
#include <cctype>

namespace LegacyGuess {
namespace {

enum class Script : uint8_t { kNone, kLatin, kGreek, kCyrillic, kOther, kAsian };

struct Kind {
  Script letter = Script::kNone;  // kNone: not a letter
  bool ascii = false;
  bool bad = false;    // a control character, U+FFFD, a private-use or surrogate unit
  bool joins = false;  // a mark that stands inside words: apostrophes, hyphens, the middle dot
  bool odd = false;  // a sign that stands apart from letters: ° ¸ ² ¼ ± ©, not « ¿ – …
};

Kind KindOf(char16_t c) {
  Kind k;
  if (c < 0x80) {
    k.ascii = true;
    if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z')) k.letter = Script::kLatin;
    k.joins = c == u'\'' || c == u'-';
    k.bad = c < 0x20 && c != u'\t' && c != u'\n';
    return k;
  }
  if (c < 0xA0 || c == 0xFFFD || (c >= 0xD800 && c <= 0xF8FF)) {
    k.bad = true;
  } else if ((c >= 0xC0 && c <= 0x24F && c != 0xD7 && c != 0xF7) || (c >= 0x1E00 && c <= 0x1EFF)) {
    k.letter = Script::kLatin;
  } else if (c >= 0x370 && c <= 0x3FF) {
    k.letter = c >= 0x386 ? Script::kGreek : Script::kNone;
  } else if (c >= 0x400 && c <= 0x52F) {
    k.letter = Script::kCyrillic;
  } else if ((c >= 0x5D0 && c <= 0x5EA) || (c >= 0x620 && c <= 0x64A) ||
             (c >= 0xE01 && c <= 0xE4E)) {
    k.letter = Script::kOther;  // Hebrew, Arabic and Thai letters
  } else if ((c >= 0x1100 && c <= 0x11FF) || (c >= 0x3040 && c <= 0x30FF) ||
             (c >= 0x3130 && c <= 0x318F) || (c >= 0x3400 && c <= 0x4DBF) ||
             (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xAC00 && c <= 0xD7AF) ||
             (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFF10 && c <= 0xFF5A) ||
             (c >= 0xFF66 && c <= 0xFF9F)) {
    k.letter = Script::kAsian;
  } else {
    k.joins = c == 0x2018 || c == 0x2019 || c == 0xB7 || c == 0x2010 || c == 0x2011;
    const bool punctuation = c == 0xA0 || c == 0xA1 || c == 0xAB || c == 0xBB || c == 0xBF ||
                             (c >= 0x2013 && c <= 0x201E) || c == 0x2026 || c == 0x2039 ||
                             c == 0x203A || c == 0x3000 || (c >= 0x3001 && c <= 0x303F);
    k.odd = !k.joins && !punctuation;
  }
  return k;
}

bool IsLetter(const Kind& k) { return k.letter != Script::kNone; }

// Letters of these two scripts side by side: Asian text holds Latin words and letters freely.
bool Clash(Script a, Script b) { return a != b && a != Script::kAsian && b != Script::kAsian; }

// One field, a line of the sample.
int LineScore(std::u16string_view line) {
  int score = 0;
  int latin_run = 0;      // accented Latin letters in a row
  int latin_letters = 0;  // in the line
  int latin_accented = 0;
  Kind before;
  for (size_t i = 0; i < line.size(); ++i) {
    const Kind k = KindOf(line[i]);
    const Kind after = i + 1 < line.size() ? KindOf(line[i + 1]) : Kind{};
    if (k.letter == Script::kLatin) ++latin_letters;
    if (k.letter == Script::kLatin && !k.ascii) {
      ++latin_accented;
      if (++latin_run >= 3) score -= 2;
    } else {
      latin_run = 0;
    }
    if (IsLetter(k) && IsLetter(before) && Clash(k.letter, before.letter)) score -= 4;
    if (!k.ascii) {
      if (k.bad) {
        score -= 10;
      } else if (IsLetter(k)) {
        score += 1;
      } else if (!k.joins && IsLetter(before) && IsLetter(after)) {
        score -= 3;  // "Na´ve", "Bj÷rk"
      } else if (k.odd &&
                 ((IsLetter(before) && !before.ascii) || (IsLetter(after) && !after.ascii))) {
        score -= 3;  // "º¸°íº¸°í": Korean read as Windows-1252
      }
    }
    before = k;
  }
  // Mostly accented: Latin-looking letters made from the bytes of another script.
  if (latin_accented >= 4 && latin_accented * 5 > latin_letters * 3) score -= latin_accented;
  return score;
}

size_t NonAscii(std::u16string_view text) {
  return static_cast<size_t>(
      std::count_if(text.begin(), text.end(), [](char16_t c) { return c >= 0x80; }));
}

std::string Upper(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper;
}

}  // namespace

std::string Sample(std::string_view bytes) {
  std::string sample;
  sample.reserve(std::min(bytes.size(), kSampleBytes));
  for (size_t at = 0; at < bytes.size() && sample.size() < kSampleBytes;) {
    size_t end = bytes.find('\n', at);
    if (end == std::string_view::npos) end = bytes.size();
    std::string_view line = bytes.substr(at, end - at);
    for (const std::string_view mark : {"\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF"}) {
      if (line.substr(0, mark.size()) == mark) {
        line.remove_prefix(mark.size());
        break;
      }
    }
    const size_t room = kSampleBytes - sample.size();
    if (line.size() >= room) {
      // Cut after a space where one comes late enough, so no character is cut in half.
      const size_t space = line.substr(0, room).rfind(' ');
      line = line.substr(0, space != std::string_view::npos && space > room / 2 ? space : room);
    }
    if (!line.empty()) (sample += line) += '\n';
    at = end + 1;
  }
  return sample;
}

bool NeverForEightBitText(std::string_view code_page) {
  const std::string name = Upper(code_page);
  for (const std::string_view prefix : {"UTF-16", "UTF-32", "UTF16", "UTF32", "UCS", "UTF-7",
                                        "UTF7", "HZ", "ISO-2022", "ISO2022", "CSISO2022"})
    if (name.compare(0, prefix.size(), prefix) == 0) return true;
  return false;
}

int Plausibility(std::u16string_view text) {
  int score = 0;
  for (size_t at = 0; at <= text.size();) {
    size_t end = text.find(u'\n', at);
    if (end == std::u16string_view::npos) end = text.size();
    score += LineScore(text.substr(at, end - at));
    at = end + 1;
  }
  return score;
}

bool ClearlyBetter(std::u16string_view as_windows_1252, std::u16string_view as_detected) {
  // A margin that grows with the text, so one odd letter in a long field decides nothing.
  const int margin = 2 + static_cast<int>(NonAscii(as_windows_1252) / 4);
  return Plausibility(as_detected) > Plausibility(as_windows_1252) + margin;
}

}  // namespace LegacyGuess
