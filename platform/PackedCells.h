#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

/// A text as the lists keep it: one byte a unit when every unit is below 256 (most tags), two
/// otherwise, and a long text (lyrics) compressed when that saves a quarter. Its length in 16-bit
/// units is kept beside it, so widths are known without unpacking. Packing may run on any
/// thread; the reading threads pack the cells the run then hands to the table.
class PackedText {
 public:
  PackedText() = default;
  /// `compress` false keeps a long text plain: quicker to make, for tables that stay small.
  explicit PackedText(QStringView text, bool compress = true);

  /// The length in 16-bit code units, as QString::size counts it.
  qsizetype size() const;
  bool isEmpty() const { return bytes_.empty(); }
  QString ToString() const { return Unpack(bytes_); }
  std::string_view Bytes() const { return bytes_; }
  /// The packed bytes, taken out of the text (which is then empty).
  std::string Take() { return std::move(bytes_); }

  /// Packs `text` into `bytes`, replacing what it held but keeping its room: a reader that packs
  /// row after row reuses its buffers.
  static void PackInto(std::string& bytes, QStringView text, bool compress = true);

  /// The text of packed bytes, and its length in units.
  static QString Unpack(std::string_view bytes);
  static qsizetype LengthOf(std::string_view bytes);
  /// At most `limit` units from the start of the packed text (for a display that shows no more).
  static QString UnpackPrefix(std::string_view bytes, qsizetype limit);
  /// The text of packed bytes into `text`, whose room is reused: a reader of many cells
  /// allocates only for the longest.
  static void UnpackInto(std::string_view bytes, QString& text);

 private:
  std::string bytes_;
};

/// The cells of one row in one block: the row's text first, then its sub-items. Copies share the
/// block (a reference count), so a snapshot of a table costs one reference a row; a change makes
/// a new block. Blocks are shared between threads only for reading.
class RowCells {
 public:
  RowCells() = default;
  /// A row of one cell.
  explicit RowCells(std::string_view packed_text);
  /// A row of one cell holding `text`, packed straight into the block.
  static RowCells OfText(QStringView text);
  /// The same for the text `folder`, `separator`, `name`, without making it first.
  static RowCells OfPath(QStringView folder, QChar separator, QStringView name);
  RowCells(const RowCells& other) noexcept : block_(other.block_) { Retain(); }
  RowCells(RowCells&& other) noexcept : block_(other.block_) { other.block_ = nullptr; }
  RowCells& operator=(RowCells other) noexcept {
    std::swap(block_, other.block_);
    return *this;
  }
  ~RowCells() { Release(); }

  /// Cells held, the last one set included; cells past them read as empty.
  int Count() const;
  std::string_view Packed(int cell) const;
  QString Text(int cell) const { return PackedText::Unpack(Packed(cell)); }
  qsizetype Length(int cell) const { return PackedText::LengthOf(Packed(cell)); }
  bool IsEmpty(int cell) const { return Packed(cell).empty(); }

  /// A row of these packed cells, in order.
  static RowCells Of(const std::string_view* cells, int count) { return Build(cells, count); }

  /// A copy with cell `cell` replaced (the cells before it, if missing, empty).
  RowCells With(int cell, std::string_view packed) const;
  /// A copy with `count` cells taken from this row: cell i from `from[i]` (-1: empty); trailing
  /// empty cells after the first are dropped.
  RowCells Picked(const int* from, int count) const;
  /// The cells after the first as texts, as many as are held.
  QStringList Rest() const;

  /// Bytes the block takes, for tests of compactness.
  size_t BlockBytes() const;

 private:
  struct Block;
  static RowCells Build(const std::string_view* cells, int count);
  void Retain() const;
  void Release();

  Block* block_ = nullptr;
};
