#include "tests/tools/JsonLine.h"

#include <cstdlib>

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
      object.members.emplace_back(std::string(key->begin(), key->end()), std::move(*value));
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
      const char c = text_[pos_++];
      if (c == '"') return out;
      if (c != '\\') {
        out.push_back(static_cast<unsigned char>(c));
        continue;
      }
      if (pos_ >= text_.size()) return std::nullopt;
      const char e = text_[pos_++];
      switch (e) {
        case '"':
          out.push_back(u'"');
          break;
        case '\\':
          out.push_back(u'\\');
          break;
        case '/':
          out.push_back(u'/');
          break;
        case 'n':
          out.push_back(u'\n');
          break;
        case 'r':
          out.push_back(u'\r');
          break;
        case 't':
          out.push_back(u'\t');
          break;
        case 'b':
          out.push_back(u'\b');
          break;
        case 'f':
          out.push_back(u'\f');
          break;
        case 'u': {
          if (pos_ + 4 > text_.size()) return std::nullopt;
          const std::string hex(text_.substr(pos_, 4));
          char* end = nullptr;
          const long unit = std::strtol(hex.c_str(), &end, 16);
          if (end != hex.c_str() + 4) return std::nullopt;
          out.push_back(static_cast<char16_t>(unit));
          pos_ += 4;
          break;
        }
        default:
          return std::nullopt;
      }
    }
    return std::nullopt;
  }

  std::string_view text_;
  size_t pos_ = 0;
};

}  // namespace

std::optional<JsonObject> ParseJsonLine(std::string_view line) { return Parser(line).Object(); }
