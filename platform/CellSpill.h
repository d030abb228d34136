#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

/// A file the long cells of a big table are kept in, out of memory: lyrics and comments are most
/// of a library's cell bytes, and a table shows few of them at a time. The file has no name (or
/// loses it at once), so it is gone when nothing refers to it any more, or the program ends.
///
/// A spilled cell is a packed text (PackedCells.h) of its own kind: its length in units, then
/// where its bytes lie. Unpacking reads them back, so every reader of cells (the lists, sort,
/// filter, every export) gets the same text as before. Each row block that holds spilled cells
/// keeps the file open; the file closes with the last of them and with the owner's handle.
///
/// Cells may be spilled from many threads at once; writing never blocks another writer.
class CellSpill {
 public:
  /// Packed texts shorter than this stay in memory: the reference would save too little.
  static constexpr size_t kSpillFrom = 256;
  /// The same for a column whose texts run long as a rule (comments, lyrics): most of them are
  /// a line or more, and even a short one is seldom looked at. A reference takes about ten bytes.
  static constexpr size_t kLongColumnSpillFrom = 32;

  /// An unnamed file in `folder` (empty: $TMPDIR, else /tmp). Null, with `error` saying why,
  /// when none can be made.
  static std::shared_ptr<CellSpill> Open(const std::string& folder, std::string& error);
  /// The same over a descriptor opened for reading and writing, which the spill then owns.
  static std::shared_ptr<CellSpill> Adopt(int fd, std::string& error);
  ~CellSpill();
  CellSpill(const CellSpill&) = delete;
  CellSpill& operator=(const CellSpill&) = delete;

  /// Replaces a packed text of at least `from` bytes by a reference to its bytes in the file.
  /// A shorter text stays, and so does every text once a write has failed: the cell then stays
  /// in memory and Failure() says why.
  void Spill(std::string& packed, size_t from = kSpillFrom) const;

  /// Why a write failed (empty while none has).
  std::string Failure() const;
  /// Bytes written to the file so far.
  size_t Written() const;

  // For the row blocks (PackedCells.cpp).
  static bool IsSpilled(std::string_view packed) { return !packed.empty() && packed[0] == 'S'; }
  /// The packed bytes a spilled cell refers to, read back into `packed` (empty when they cannot
  /// be read).
  static void Load(std::string_view spilled, std::string& packed);
  /// A block holding the spilled cell came or went: the file stays open while any does.
  static void Hold(std::string_view spilled);
  static void Drop(std::string_view spilled);

 private:
  explicit CellSpill(int slot) : slot_(slot) {}
  int slot_;
};
