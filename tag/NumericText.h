#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// The numeric test shared by every reader: optional spaces, an optional sign, ASCII digits with
// at most one decimal point, optional spaces. No exponent, no hexadecimal, no other digits.
struct DecimalText {
  bool negative = false;
  std::u16string_view integer;   // digits before the point, leading zeros stripped
  std::u16string_view fraction;  // digits after the point
};

std::optional<DecimalText> ParseDecimal(std::u16string_view text);

inline bool IsNumeric(std::u16string_view text) { return ParseDecimal(text).has_value(); }

/// The value rounded half to even, when it fits a signed 64-bit range (with room to spare).
std::optional<int64_t> RoundHalfEven(const DecimalText& number);

/// True when the fraction is absent or all zeros.
bool IsWhole(const DecimalText& number);
