#include "platform/PackedCells.h"

#include "platform/CellSpill.h"

#include <sys/mman.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

namespace {

// The first byte of a packed text: one or two bytes a unit, plain or compressed.
constexpr char kLatin1 = 'L';
constexpr char kUtf16 = 'W';
constexpr char kLatin1Compressed = 'l';
constexpr char kUtf16Compressed = 'w';

// Texts shorter than this stay plain: compression would save little and cost every reader.
constexpr size_t kCompressFrom = 256;

void PutLength(std::string& out, uint64_t units) {
  while (units >= 0x80) {
    out += static_cast<char>(0x80 | (units & 0x7F));
    units >>= 7;
  }
  out += static_cast<char>(units);
}

// The length after the tag, and where the payload starts.
uint64_t GetLength(std::string_view bytes, size_t& at) {
  uint64_t units = 0;
  int shift = 0;
  at = 1;
  while (at < bytes.size() && shift < 64) {
    const auto b = static_cast<unsigned char>(bytes[at++]);
    units |= static_cast<uint64_t>(b & 0x7F) << shift;
    if (!(b & 0x80)) break;
    shift += 7;
  }
  return units;
}

// Raw deflate with a small window and hash: a cell is a few kilobytes, and the state each
// thread keeps is reset, not made anew, for every cell.
constexpr int kWindowBits = 12;
constexpr int kMemLevel = 5;

class Deflater {
 public:
  Deflater() {
    ok_ = deflateInit2(&z_, 1, Z_DEFLATED, -kWindowBits, kMemLevel, Z_DEFAULT_STRATEGY) == Z_OK;
  }
  ~Deflater() {
    if (ok_) deflateEnd(&z_);
  }
  Deflater(const Deflater&) = delete;
  Deflater& operator=(const Deflater&) = delete;

  // Appends the compressed bytes to `out`; false when it did not work out.
  bool Compress(std::string_view in, std::string& out) {
    if (!ok_ || deflateReset(&z_) != Z_OK) return false;
    const size_t at = out.size();
    out.resize(at + deflateBound(&z_, static_cast<uLong>(in.size())));
    z_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z_.avail_in = static_cast<uInt>(in.size());
    z_.next_out = reinterpret_cast<Bytef*>(out.data() + at);
    z_.avail_out = static_cast<uInt>(out.size() - at);
    const bool done = deflate(&z_, Z_FINISH) == Z_STREAM_END;
    out.resize(done ? out.size() - z_.avail_out : at);
    return done;
  }

 private:
  z_stream z_{};
  bool ok_ = false;
};

class Inflater {
 public:
  Inflater() { ok_ = inflateInit2(&z_, -kWindowBits) == Z_OK; }
  ~Inflater() {
    if (ok_) inflateEnd(&z_);
  }
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;

  // Fills `out` (its size is what the text needs) from the compressed bytes; what cannot be
  // inflated stays zero.
  void Expand(std::string_view in, char* out, size_t size) {
    std::memset(out, 0, size);
    if (!ok_ || inflateReset(&z_) != Z_OK) return;
    z_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z_.avail_in = static_cast<uInt>(in.size());
    z_.next_out = reinterpret_cast<Bytef*>(out);
    z_.avail_out = static_cast<uInt>(size);
    inflate(&z_, Z_FINISH);
  }

 private:
  z_stream z_{};
  bool ok_ = false;
};

// The plain payload of a compressed text of `size` bytes.
std::string Expanded(std::string_view bytes, size_t at, size_t size) {
  thread_local Inflater inflater;
  std::string plain(size, '\0');
  inflater.Expand(bytes.substr(at), plain.data(), size);
  return plain;
}

}  // namespace

PackedText::PackedText(QStringView text, bool compress) {
  PackInto(bytes_, text, compress);
  // A compressed text leaves the compressor's room behind; a kept text gives it back.
  if (bytes_.capacity() > bytes_.size() + 64) bytes_.shrink_to_fit();
}

void PackedText::PackInto(std::string& out, QStringView text, bool compress) {
  out.clear();
  if (text.isEmpty()) return;
  const auto units = static_cast<size_t>(text.size());
  const char16_t* p = text.utf16();
  bool narrow = true;
  for (size_t i = 0; i < units && narrow; ++i) narrow = p[i] < 0x100;
  const size_t payload = narrow ? units : 2 * units;
  const auto fill = [&](char* to) {
    if (narrow) {
      for (size_t i = 0; i < units; ++i) to[i] = static_cast<char>(p[i]);
    } else {
      std::memcpy(to, p, payload);
    }
  };
  if (!compress || payload < kCompressFrom) {
    // Straight into place: tag, length, units.
    out.reserve(payload + 6);
    out += narrow ? kLatin1 : kUtf16;
    PutLength(out, units);
    const size_t at = out.size();
    out.resize(at + payload);
    fill(out.data() + at);
    return;
  }
  std::string plain(payload, '\0');
  fill(plain.data());
  {
    thread_local Deflater deflater;
    out += narrow ? kLatin1Compressed : kUtf16Compressed;
    PutLength(out, units);
    const size_t header = out.size();
    if (deflater.Compress(plain, out) && out.size() - header <= payload - payload / 4) {
      return;
    }
    out.clear();
  }
  out.reserve(payload + 6);
  out += narrow ? kLatin1 : kUtf16;
  PutLength(out, units);
  out += plain;
}

qsizetype PackedText::size() const { return LengthOf(bytes_); }

qsizetype PackedText::LengthOf(std::string_view bytes) {
  if (bytes.empty()) return 0;
  size_t at = 0;
  return static_cast<qsizetype>(GetLength(bytes, at));
}

QString PackedText::Unpack(std::string_view bytes) {
  return UnpackPrefix(bytes, std::numeric_limits<qsizetype>::max());
}

void PackedText::UnpackInto(std::string_view bytes, QString& text) {
  size_t at = 0;
  const auto units = bytes.empty() ? 0 : static_cast<qsizetype>(GetLength(bytes, at));
  if (bytes.empty()) {
    text.resize(0);
  } else if (bytes[0] == kLatin1) {
    const qsizetype count = std::min<qsizetype>(units, bytes.size() - at);
    text.resize(count);
    char16_t* to = reinterpret_cast<char16_t*>(text.data());
    for (qsizetype i = 0; i < count; ++i)
      to[i] = static_cast<unsigned char>(bytes[at + static_cast<size_t>(i)]);
  } else if (bytes[0] == kUtf16) {
    const qsizetype count = std::min<qsizetype>(units, (bytes.size() - at) / 2);
    text.resize(count);
    std::memcpy(text.data(), bytes.data() + at, 2 * static_cast<size_t>(count));
  } else {
    text = Unpack(bytes);
  }
}

QString PackedText::UnpackPrefix(std::string_view bytes, qsizetype limit) {
  if (bytes.empty()) return {};
  if (CellSpill::IsSpilled(bytes)) {
    std::string packed;
    CellSpill::Load(bytes, packed);
    return UnpackPrefix(packed, limit);
  }
  size_t at = 0;
  const auto units = static_cast<qsizetype>(GetLength(bytes, at));
  const qsizetype keep = std::min(units, limit);
  switch (bytes[0]) {
    case kLatin1:
      return QString::fromLatin1(bytes.data() + at, std::min<qsizetype>(keep, bytes.size() - at));
    case kUtf16: {
      // The units may sit at any address in the block: copied as bytes.
      const qsizetype count = std::min<qsizetype>(keep, (bytes.size() - at) / 2);
      QString text(count, Qt::Uninitialized);
      std::memcpy(text.data(), bytes.data() + at, 2 * static_cast<size_t>(count));
      return text;
    }
    case kLatin1Compressed: {
      const std::string plain = Expanded(bytes, at, static_cast<size_t>(units));
      return QString::fromLatin1(plain.data(), keep);
    }
    case kUtf16Compressed: {
      const std::string plain = Expanded(bytes, at, 2 * static_cast<size_t>(units));
      return QString(reinterpret_cast<const QChar*>(plain.data()), keep);
    }
    default:
      return {};
  }
}

// ---- Where row blocks live -------------------------------------------------------------------

namespace {

// A table of a million rows made a million small allocations: the allocator's header and
// rounding were a tenth of the rows' bytes, and the reading threads' arenas kept holes between
// them. Blocks are carved instead from chunks of their own, aligned to their size so a block
// finds its chunk from its address; each thread carves from a chunk of its own, and a chunk goes
// back to the system with the last of its blocks.
constexpr size_t kChunkBytes = size_t{1} << 20;
// Larger blocks (long cells kept in memory) get an allocation of their own; so does every block
// under AddressSanitizer, which then guards each one.
#if defined(__SANITIZE_ADDRESS__)
constexpr size_t kLargestCarved = 0;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr size_t kLargestCarved = 0;
#else
constexpr size_t kLargestCarved = 4096;
#endif
#else
constexpr size_t kLargestCarved = 4096;
#endif

struct Chunk {
  std::atomic<int64_t> live;  // blocks carved from it, plus one while a thread carves from it
};
constexpr size_t kChunkHeader = (sizeof(Chunk) + 7) & ~size_t{7};

void Unlive(Chunk* chunk) {
  if (chunk->live.fetch_sub(1, std::memory_order_acq_rel) == 1) {
    chunk->~Chunk();
    ::munmap(chunk, kChunkBytes);
  }
}

Chunk* NewChunk() {
  // Twice the size, then the parts outside the aligned middle given back.
  void* mapped =
      ::mmap(nullptr, 2 * kChunkBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) return nullptr;
  const auto start = reinterpret_cast<uintptr_t>(mapped);
  const uintptr_t aligned = (start + kChunkBytes - 1) & ~(kChunkBytes - 1);
  if (aligned > start) ::munmap(mapped, aligned - start);
  if (const uintptr_t tail = start + 2 * kChunkBytes - (aligned + kChunkBytes); tail > 0)
    ::munmap(reinterpret_cast<void*>(aligned + kChunkBytes), tail);
  return new (reinterpret_cast<void*>(aligned)) Chunk{{1}};
}

class Carver {
 public:
  Carver() = default;
  Carver(const Carver&) = delete;
  Carver& operator=(const Carver&) = delete;
  ~Carver() {
    if (chunk_) Unlive(chunk_);
  }

  // Room for `size` bytes at a 4-byte boundary (a block's alignment), or null.
  void* Take(size_t size) {
    size = (size + 3) & ~size_t{3};
    if (!chunk_ || used_ + size > kChunkBytes) {
      if (chunk_) Unlive(chunk_);
      chunk_ = NewChunk();
      used_ = kChunkHeader;
      if (!chunk_) return nullptr;
    }
    chunk_->live.fetch_add(1, std::memory_order_relaxed);
    void* at = reinterpret_cast<char*>(chunk_) + used_;
    used_ += size;
    return at;
  }

 private:
  Chunk* chunk_ = nullptr;
  size_t used_ = 0;
};

}  // namespace

// ---- RowCells -------------------------------------------------------------------------------

struct RowCells::Block {
  std::atomic<uint32_t> refs;
  uint16_t count;
  uint16_t flags;

  static constexpr uint16_t kWide = 1;     // ends are 4 bytes, not 2
  static constexpr uint16_t kNarrow = 8;   // ends are 1 byte: most rows of tags are that short
  static constexpr uint16_t kSpilled = 2;  // some cells lie in a CellSpill
  static constexpr uint16_t kCarved = 4;   // carved from a Chunk, not allocated alone

  // A block of `size` bytes in all, from a chunk where it fits.
  static Block* Make(size_t size, uint16_t count, uint16_t flags) {
    thread_local Carver carver;
    void* memory = size <= kLargestCarved ? carver.Take(size) : nullptr;
    if (memory) {
      flags |= kCarved;
    } else {
      memory = ::operator new(size);
    }
    return new (memory) Block{{1}, count, flags};
  }
  static void Free(Block* block) {
    const bool carved = block->flags & kCarved;
    block->~Block();
    if (carved) {
      Unlive(reinterpret_cast<Chunk*>(reinterpret_cast<uintptr_t>(block) & ~(kChunkBytes - 1)));
    } else {
      ::operator delete(block);
    }
  }
  size_t EndBytes() const { return (flags & kWide) ? 4 : (flags & kNarrow) ? 1 : 2; }

  size_t End(int cell) const {
    const char* ends = reinterpret_cast<const char*>(this + 1);
    if (flags & kNarrow) return static_cast<unsigned char>(ends[cell]);
    if (flags & kWide) {
      uint32_t e;
      std::memcpy(&e, ends + 4 * cell, 4);
      return e;
    }
    uint16_t e;
    std::memcpy(&e, ends + 2 * cell, 2);
    return e;
  }
  const char* Bytes() const {
    return reinterpret_cast<const char*>(this + 1) + EndBytes() * size_t{count};
  }
};

RowCells::RowCells(std::string_view packed_text) { *this = Build(&packed_text, 1); }

RowCells RowCells::OfText(QStringView text) { return OfPath(text, QChar(), QStringView()); }

RowCells RowCells::OfPath(QStringView folder, QChar separator, QStringView name) {
  // A short Latin-1 text, a path as a rule, is packed in place: one allocation, one pass.
  const QStringView parts[3] = {
      folder, separator.isNull() ? QStringView() : QStringView(&separator, 1), name};
  size_t units = 0;
  bool narrow = true;
  for (const QStringView part : parts) {
    units += static_cast<size_t>(part.size());
    for (const QChar c : part) narrow = narrow && c.unicode() < 0x100;
  }
  if (!narrow || units == 0 || units >= 0x80) {
    QString text;
    text.reserve(static_cast<qsizetype>(units));
    for (const QStringView part : parts) text += part;
    return RowCells(PackedText(text).Bytes());
  }
  const size_t bytes = 2 + units;  // tag, one-byte length, units
  Block* block = Block::Make(sizeof(Block) + 2 + bytes, 1, 0);
  const auto end = static_cast<uint16_t>(bytes);
  std::memcpy(reinterpret_cast<char*>(block + 1), &end, 2);
  char* out = const_cast<char*>(block->Bytes());
  *out++ = kLatin1;
  *out++ = static_cast<char>(units);
  for (const QStringView part : parts)
    for (const QChar c : part) *out++ = static_cast<char>(c.unicode());
  RowCells row;
  row.block_ = block;
  return row;
}

RowCells RowCells::Build(const std::string_view* cells, int count) {
  size_t total = 0;
  for (int i = 0; i < count; ++i) total += cells[i].size();
  const bool wide = total > 0xFFFF;
  const bool narrow = total <= 0xFF;
  const size_t end_bytes = wide ? 4 : narrow ? 1 : 2;
  const size_t size = sizeof(Block) + end_bytes * static_cast<size_t>(count) + total;
  Block* block = Block::Make(size, static_cast<uint16_t>(count),
                             static_cast<uint16_t>(wide     ? Block::kWide
                                                   : narrow ? Block::kNarrow
                                                            : 0));
  char* ends = reinterpret_cast<char*>(block + 1);
  char* bytes = const_cast<char*>(block->Bytes());
  size_t end = 0;
  for (int i = 0; i < count; ++i) {
    if (CellSpill::IsSpilled(cells[i])) {
      CellSpill::Hold(cells[i]);
      block->flags |= Block::kSpilled;
    }
    if (!cells[i].empty()) std::memcpy(bytes + end, cells[i].data(), cells[i].size());
    end += cells[i].size();
    if (narrow) {
      ends[i] = static_cast<char>(end);
    } else if (wide) {
      const auto e = static_cast<uint32_t>(end);
      std::memcpy(ends + 4 * i, &e, 4);
    } else {
      const auto e = static_cast<uint16_t>(end);
      std::memcpy(ends + 2 * i, &e, 2);
    }
  }
  RowCells row;
  row.block_ = block;
  return row;
}

void RowCells::Retain() const {
  if (block_) block_->refs.fetch_add(1, std::memory_order_relaxed);
}

void RowCells::Release() {
  if (block_ && block_->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
    if (block_->flags & Block::kSpilled) {
      for (int i = 0; i < block_->count; ++i)
        if (CellSpill::IsSpilled(Packed(i))) CellSpill::Drop(Packed(i));
    }
    Block::Free(block_);
  }
  block_ = nullptr;
}

int RowCells::Count() const { return block_ ? block_->count : 0; }

std::string_view RowCells::Packed(int cell) const {
  if (!block_ || cell < 0 || cell >= block_->count) return {};
  const size_t begin = cell == 0 ? 0 : block_->End(cell - 1);
  return {block_->Bytes() + begin, block_->End(cell) - begin};
}

RowCells RowCells::With(int cell, std::string_view packed) const {
  const int count = std::max(Count(), cell + 1);
  std::vector<std::string_view> cells(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) cells[static_cast<size_t>(i)] = i == cell ? packed : Packed(i);
  return Build(cells.data(), count);
}

RowCells RowCells::Picked(const int* from, int count) const {
  std::vector<std::string_view> cells(static_cast<size_t>(std::max(count, 1)));
  for (int i = 0; i < count; ++i)
    cells[static_cast<size_t>(i)] = from[i] < 0 ? std::string_view() : Packed(from[i]);
  while (count > 1 && cells[static_cast<size_t>(count - 1)].empty()) --count;
  return Build(cells.data(), std::max(count, 1));
}

QStringList RowCells::Rest() const {
  QStringList rest;
  rest.reserve(std::max(Count() - 1, 0));
  for (int i = 1; i < Count(); ++i) rest.append(Text(i));
  return rest;
}

size_t RowCells::BlockBytes() const {
  if (!block_) return 0;
  return sizeof(Block) + block_->EndBytes() * size_t{block_->count} +
         (block_->count > 0 ? block_->End(block_->count - 1) : 0);
}
