#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

/// The files of one folder as a listing found them: every name's bytes in one block, each with
/// its attribute bits, ordered by name ignoring case through positions, so that sorting moves no
/// name. A folder of a hundred thousand files costs some ten bytes a file beyond its names,
/// where a list of strings costs an allocation each.
class FileListing {
 public:
  /// Takes a name (bytes as the folder holds them) and its FileAttribute bits.
  void Add(std::string_view name, int attributes);
  /// Orders the names as every listing is ordered: by NameOrder. Unsorted, the order is that of
  /// Add.
  void SortByName();
  /// Gives back the room the listing grew into beyond its names.
  void Trim();

  std::size_t Size() const { return attributes_.size(); }
  bool Empty() const { return attributes_.empty(); }
  /// The i-th name in order, and its attribute bits.
  std::string_view Name(std::size_t i) const;
  int Attributes(std::size_t i) const { return attributes_[At(i)]; }

  /// Names ordered ignoring case, ties by their text's code units, as Qt's case-insensitive
  /// comparison of the names as text would order them; names that read as the same text fall
  /// back to their bytes, so the order never depends on the sort.
  static bool NameOrder(std::string_view a, std::string_view b);

 private:
  std::size_t At(std::size_t i) const { return order_.empty() ? i : order_[i]; }

  std::string names_;
  std::vector<std::uint32_t> ends_;
  std::vector<std::uint16_t> attributes_;
  std::vector<std::uint32_t> order_;
};
