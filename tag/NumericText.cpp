#include "tag/NumericText.h"

namespace {
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
}  // namespace

std::optional<DecimalText> ParseDecimal(std::u16string_view text) {
  size_t i = 0;
  while (i < text.size() && text[i] == u' ') ++i;
  DecimalText number;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) number.negative = text[i++] == u'-';
  const size_t int_start = i;
  while (i < text.size() && IsDigit(text[i])) ++i;
  std::u16string_view integer = text.substr(int_start, i - int_start);
  std::u16string_view fraction;
  if (i < text.size() && text[i] == u'.') {
    const size_t frac_start = ++i;
    while (i < text.size() && IsDigit(text[i])) ++i;
    fraction = text.substr(frac_start, i - frac_start);
  }
  if (integer.empty() && fraction.empty()) return std::nullopt;
  while (i < text.size() && text[i] == u' ') ++i;
  if (i != text.size()) return std::nullopt;
  while (!integer.empty() && integer.front() == u'0') integer.remove_prefix(1);
  number.integer = integer;
  number.fraction = fraction;
  return number;
}

bool IsWhole(const DecimalText& number) {
  for (char16_t c : number.fraction)
    if (c != u'0') return false;
  return true;
}

std::optional<int64_t> RoundHalfEven(const DecimalText& number) {
  if (number.integer.size() > 17) return std::nullopt;
  int64_t value = 0;
  for (char16_t c : number.integer) value = value * 10 + (c - u'0');
  if (!number.fraction.empty()) {
    const int first = number.fraction.front() - u'0';
    bool rest_nonzero = false;
    for (size_t k = 1; k < number.fraction.size(); ++k) rest_nonzero |= number.fraction[k] != u'0';
    if (first > 5 || (first == 5 && (rest_nonzero || value % 2 == 1))) ++value;
  }
  return number.negative ? -value : value;
}
