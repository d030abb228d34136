#include "tag/CaseFold.h"

#include <algorithm>
#include <array>
#include <utility>

namespace {

struct Pair {
  char16_t from;
  char16_t to;
};

constexpr Pair kLower[] = {
#include "tag/CaseFoldTable.inc"
};

}  // namespace

char16_t LowerCaseUnit(char16_t unit) {
  if (unit < 0x80) return (unit >= u'A' && unit <= u'Z') ? unit + 32 : unit;
  const auto* it = std::lower_bound(std::begin(kLower), std::end(kLower), unit,
                                    [](const Pair& p, char16_t u) { return p.from < u; });
  return (it != std::end(kLower) && it->from == unit) ? it->to : unit;
}

std::u16string LowerCaseUnits(std::u16string_view text) {
  std::u16string lower(text);
  for (auto& unit : lower) unit = LowerCaseUnit(unit);
  return lower;
}
