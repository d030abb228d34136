#include "tests/support/JsonLine.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>

#include "text/Utf.h"

namespace {

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  std::optional<JsonObject> Object() {
    JsonObject object;
    if (!Take('{')) return std::nullopt;
    if (Take('}')) return AtEnd() ? std::optional(object) : std::nullopt;
    do {
      auto key = String();
      if (!key || !Take(':')) return std::nullopt;
      auto value = Value();
      if (!value) return std::nullopt;
      object.members.emplace_back(Utf::ToUtf8(*key), std::move(*value));
    } while (Take(','));
    if (!Take('}') || !AtEnd()) return std::nullopt;
    return object;
  }

 private:
  bool AtEnd() const { return pos_ == text_.size(); }
  bool Take(char c) {
    if (pos_ < text_.size() && text_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }

  std::optional<JsonValue> Value() {
    JsonValue value;
    if (pos_ >= text_.size()) return std::nullopt;
    const char c = text_[pos_];
    if (c == '"') {
      auto s = String();
      if (!s) return std::nullopt;
      value.text = std::move(*s);
    } else if (c == '[') {
      ++pos_;
      value.kind = JsonValue::Kind::Array;
      if (!Take(']')) {
        do {
          auto s = String();
          if (!s) return std::nullopt;
          value.items.push_back(std::move(*s));
        } while (Take(','));
        if (!Take(']')) return std::nullopt;
      }
    } else if (text_.substr(pos_, 4) == "true" || text_.substr(pos_, 5) == "false") {
      value.kind = JsonValue::Kind::Boolean;
      value.boolean = c == 't';
      pos_ += value.boolean ? 4 : 5;
    } else {
      const std::string rest(text_.substr(pos_, 40));
      char* end = nullptr;
      value.kind = JsonValue::Kind::Number;
      value.number = std::strtod(rest.c_str(), &end);
      if (end == rest.c_str()) return std::nullopt;
      pos_ += static_cast<size_t>(end - rest.c_str());
    }
    return value;
  }

  std::optional<std::u16string> String() {
    if (!Take('"')) return std::nullopt;
    std::u16string out;
    while (pos_ < text_.size()) {
      // Characters stand as UTF-8 up to the next escape or the closing quote.
      const size_t run_end = std::min(text_.find_first_of("\"\\", pos_), text_.size());
      const std::string_view run = text_.substr(pos_, run_end - pos_);
      for (const char c : run)
        if (static_cast<unsigned char>(c) < 0x20) return std::nullopt;
      const auto chars = Utf::FromUtf8(run);
      if (!chars) return std::nullopt;
      out += *chars;
      pos_ = run_end;
      if (pos_ == text_.size()) break;
      if (text_[pos_++] == '"') return out;
      if (pos_ >= text_.size()) return std::nullopt;
      static constexpr std::string_view kEscapes = "\"\\/bfnrt", kMeanings = "\"\\/\b\f\n\r\t";
      const char e = text_[pos_++];
      if (const size_t k = kEscapes.find(e); k != std::string_view::npos) {
        out.push_back(static_cast<char16_t>(kMeanings[k]));
        continue;
      }
      unsigned unit = 0;
      const char* const hex = text_.data() + pos_;
      if (e != 'u' || text_.size() - pos_ < 4 ||
          std::from_chars(hex, hex + 4, unit, 16).ptr != hex + 4)
        return std::nullopt;
      out.push_back(static_cast<char16_t>(unit));
      pos_ += 4;
    }
    return std::nullopt;
  }

  std::string_view text_;
  size_t pos_ = 0;
};

}  // namespace

std::optional<JsonObject> ParseJsonLine(std::string_view line) { return Parser(line).Object(); }
