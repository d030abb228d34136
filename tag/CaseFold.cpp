#include "tag/CaseFold.h"

#include <array>
#include <utility>
#include <vector>

namespace {

struct Pair {
  char16_t from;
  char16_t to;
};

constexpr Pair kLower[] = {
#include "tag/CaseFoldTable.inc"
};

// Two-level table over the 16-bit range: a block of 256 units holds its own mapping only where
// some unit in it has one. Long entries (a picture is tens of thousands of units) fold in one
// look-up a unit.
class FoldTable {
 public:
  FoldTable() {
    for (const Pair& p : kLower) {
      auto& block = blocks_[p.from >> 8];
      if (block.empty()) {
        block.resize(256);
        for (unsigned i = 0; i < 256; ++i) block[i] = static_cast<char16_t>((p.from & 0xFF00) | i);
      }
      block[p.from & 0xFF] = p.to;
    }
  }
  char16_t Fold(char16_t unit) const {
    const auto& block = blocks_[unit >> 8];
    return block.empty() ? unit : block[unit & 0xFF];
  }

 private:
  std::array<std::vector<char16_t>, 256> blocks_;
};

const FoldTable& Table() {
  static const FoldTable table;
  return table;
}

}  // namespace

char16_t LowerCaseUnit(char16_t unit) { return Table().Fold(unit); }

void LowerCaseInPlace(std::u16string& text) {
  const FoldTable& table = Table();
  for (auto& unit : text) unit = table.Fold(unit);
}

std::u16string LowerCaseUnits(std::u16string_view text) {
  std::u16string lower(text);
  LowerCaseInPlace(lower);
  return lower;
}
