#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// A reader for the flat JSON objects `tagloom-cli` prints, one a line: string, number, boolean and
// array-of-string values, keys kept in their order. Text must be UTF-8 without raw control
// characters; strings decode to 16-bit units so escapes of lone surrogates survive.
struct JsonValue {
  enum class Kind { String, Number, Boolean, Array } kind = Kind::String;
  std::u16string text;                // String
  double number = 0;                  // Number
  bool boolean = false;               // Boolean
  std::vector<std::u16string> items;  // Array
};

struct JsonObject {
  std::vector<std::pair<std::string, JsonValue>> members;

  const JsonValue* Find(std::string_view key) const {
    for (const auto& [k, v] : members) {
      if (k == key) return &v;
    }
    return nullptr;
  }
  std::vector<std::string> Keys() const {
    std::vector<std::string> keys;
    for (const auto& member : members) keys.push_back(member.first);
    return keys;
  }
};

/// The object on one line, or nothing when the line is not such an object.
std::optional<JsonObject> ParseJsonLine(std::string_view line);
