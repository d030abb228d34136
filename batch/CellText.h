#pragma once

#include <QString>
#include <QStringView>
#include <algorithm>
#include <charconv>
#include <string_view>
#include <vector>

/// A row's cells as the columns make them, one after another: UTF-16 text whose appends are
/// inline, in a buffer kept from row to row, so most cells cost no call and no allocation.
class CellText {
 public:
  void clear() { size_ = 0; }
  size_t size() const { return size_; }
  const char16_t* data() const { return units_.data(); }
  /// The units from `from` to the end, or to `to`.
  QStringView View(size_t from, size_t to) const {
    return QStringView(units_.data() + from, static_cast<qsizetype>(to - from));
  }
  QStringView View() const { return View(0, size_); }

  CellText& operator+=(char16_t unit) {
    *Extend(1) = unit;
    return *this;
  }
  CellText& operator+=(std::u16string_view text) {
    std::copy(text.begin(), text.end(), Extend(text.size()));
    return *this;
  }
  /// Bytes as Latin-1, each byte the character of its own number.
  void AppendLatin1(std::string_view bytes) {
    char16_t* to = Extend(bytes.size());
    for (const char c : bytes) *to++ = static_cast<char16_t>(static_cast<unsigned char>(c));
  }
  /// The number in decimal, as QString::number writes it.
  void AppendDecimal(long long value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    AppendLatin1(std::string_view(digits, static_cast<size_t>(end - digits)));
  }
  /// Room for at most `most` more units at the end, to be filled up to some point and then
  /// passed to Written: a cell of many small pieces is written without a check for each.
  char16_t* Room(size_t most) {
    if (size_ + most > units_.size()) units_.resize(std::max(2 * units_.size(), size_ + most));
    return units_.data() + size_;
  }
  /// The units written into Room, up to `end`, become the text's.
  void Written(const char16_t* end) { size_ = static_cast<size_t>(end - units_.data()); }
  void AppendQString(const QString& text) {
    *this += std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                 static_cast<size_t>(text.size()));
  }

 private:
  // Room for `count` more units at the end, which the caller fills.
  char16_t* Extend(size_t count) {
    char16_t* const at = Room(count);
    size_ += count;
    return at;
  }

  std::vector<char16_t> units_;
  size_t size_ = 0;
};
