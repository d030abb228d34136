#include "platform/FileListing.h"

#include <QString>
#include <algorithm>
#include <limits>
#include <numeric>
#include <stdexcept>

#include "platform/FileNames.h"

namespace {

constexpr std::size_t kMost = std::numeric_limits<std::uint32_t>::max();

// Past the first unit beyond ASCII only the names' text can tell their order.
bool TextOrder(std::string_view a, std::string_view b) {
  const QString x = FileNames::ToText(a);
  const QString y = FileNames::ToText(b);
  if (const int c = x.compare(y, Qt::CaseInsensitive); c != 0) return c < 0;
  if (x != y) return x < y;
  return a < b;
}

}  // namespace

void FileListing::Add(std::string_view name, int attributes) {
  if (names_.size() + name.size() > kMost || attributes_.size() >= kMost)
    throw std::length_error("the folder holds more names than one listing can keep");
  names_.append(name);
  ends_.push_back(static_cast<std::uint32_t>(names_.size()));
  attributes_.push_back(static_cast<std::uint16_t>(attributes));
  if (!order_.empty()) order_.push_back(static_cast<std::uint32_t>(order_.size()));
}

void FileListing::SortByName() {
  order_.resize(attributes_.size());
  std::iota(order_.begin(), order_.end(), 0U);
  const auto name = [this](std::uint32_t i) {
    const std::size_t from = i == 0 ? 0 : ends_[i - 1];
    return std::string_view(names_).substr(from, ends_[i] - from);
  };
  std::sort(order_.begin(), order_.end(),
            [&](std::uint32_t a, std::uint32_t b) { return NameOrder(name(a), name(b)); });
}

void FileListing::Trim() {
  names_.shrink_to_fit();
  ends_.shrink_to_fit();
  attributes_.shrink_to_fit();
  order_.shrink_to_fit();
}

std::string_view FileListing::Name(std::size_t i) const {
  const std::size_t at = At(i);
  const std::size_t from = at == 0 ? 0 : ends_[at - 1];
  return std::string_view(names_).substr(from, ends_[at] - from);
}

bool FileListing::NameOrder(std::string_view a, std::string_view b) {
  // Up to the first unit beyond ASCII, bytes and text units are one and the same, and folding
  // A-Z is all that case folding does.
  const std::size_t common = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < common; ++i) {
    auto x = static_cast<unsigned char>(a[i]);
    auto y = static_cast<unsigned char>(b[i]);
    if (x >= 0x80 || y >= 0x80) return TextOrder(a, b);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
    if (x != y) return x < y;
  }
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}
