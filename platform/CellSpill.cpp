#include "platform/CellSpill.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

// A spilled cell names its file by a slot of this table, so the reference is a few bytes and
// a reader finds the descriptor without a lookup. A slot is taken again only once every block
// that referred to it has gone.
struct Slot {
  std::atomic<int> fd{-1};
  std::atomic<int64_t> refs{0};
  std::atomic<uint64_t> end{0};
  std::atomic<bool> failed{false};
  std::string failure;  // set once, under `claim`, before `failed`
};

constexpr size_t kSlots = 64;
std::array<Slot, kSlots> slots;
std::mutex claim;

void PutNumber(std::string& out, uint64_t value) {
  while (value >= 0x80) {
    out += static_cast<char>(0x80 | (value & 0x7F));
    value >>= 7;
  }
  out += static_cast<char>(value);
}

uint64_t GetNumber(std::string_view bytes, size_t& at) {
  uint64_t value = 0;
  for (int shift = 0; at < bytes.size() && shift < 64; shift += 7) {
    const auto b = static_cast<unsigned char>(bytes[at++]);
    value |= static_cast<uint64_t>(b & 0x7F) << shift;
    if (!(b & 0x80)) break;
  }
  return value;
}

struct Reference {
  size_t slot = kSlots;
  uint64_t offset = 0;
  uint64_t size = 0;
};

// Tag, length in units, slot, offset, size.
Reference Parse(std::string_view spilled) {
  size_t at = 1;
  GetNumber(spilled, at);
  Reference ref;
  ref.slot = static_cast<size_t>(GetNumber(spilled, at));
  ref.offset = GetNumber(spilled, at);
  ref.size = GetNumber(spilled, at);
  return ref;
}

void Unref(size_t slot) {
  if (slot >= kSlots) return;
  Slot& s = slots[slot];
  if (s.refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
    const int fd = s.fd.exchange(-1, std::memory_order_acq_rel);
    if (fd >= 0) ::close(fd);
  }
}

std::string Why(const char* what, int error) { return std::string(what) + std::strerror(error); }

}  // namespace

std::shared_ptr<CellSpill> CellSpill::Open(const std::string& folder, std::string& error) {
  std::string dir = folder;
  if (dir.empty()) {
    const char* tmp = std::getenv("TMPDIR");
    dir = tmp && *tmp ? tmp : "/tmp";
  }
  int fd = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd < 0 && errno != ENOENT && errno != EACCES && errno != ENOSPC && errno != EROFS) {
    // No unnamed files on this file system: a named one, unlinked at once.
    std::string name = dir + "/tagloom-cells-XXXXXX";
    fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd >= 0) ::unlink(name.c_str());
  }
  if (fd < 0) {
    error = Why(("cannot make a temporary file in " + dir + ": ").c_str(), errno);
    return nullptr;
  }
  return Adopt(fd, error);
}

std::shared_ptr<CellSpill> CellSpill::Adopt(int fd, std::string& error) {
  const std::lock_guard<std::mutex> lock(claim);
  for (size_t i = 0; i < kSlots; ++i) {
    Slot& s = slots[i];
    if (s.fd.load(std::memory_order_acquire) >= 0 || s.refs.load(std::memory_order_acquire) != 0)
      continue;
    s.end.store(0, std::memory_order_relaxed);
    s.failed.store(false, std::memory_order_relaxed);
    s.failure.clear();
    s.refs.store(1, std::memory_order_relaxed);  // the owner's
    s.fd.store(fd, std::memory_order_release);
    return std::shared_ptr<CellSpill>(new CellSpill(static_cast<int>(i)));
  }
  ::close(fd);
  error = "too many temporary files of cells open";
  return nullptr;
}

CellSpill::~CellSpill() { Unref(static_cast<size_t>(slot_)); }

void CellSpill::Spill(std::string& packed, size_t from) const {
  Slot& s = slots[static_cast<size_t>(slot_)];
  if (packed.size() < std::max<size_t>(from, 16) || s.failed.load(std::memory_order_acquire))
    return;
  const int fd = s.fd.load(std::memory_order_acquire);
  // Each writer takes its own range, so writes never wait for each other.
  const uint64_t offset = s.end.fetch_add(packed.size(), std::memory_order_relaxed);
  size_t done = 0;
  int error = 0;
  while (done < packed.size()) {
    const ssize_t n =
        ::pwrite(fd, packed.data() + done, packed.size() - done, static_cast<off_t>(offset + done));
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      error = n < 0 ? errno : ENOSPC;
      break;
    }
  }
  if (error != 0) {
    const std::lock_guard<std::mutex> lock(claim);
    if (!s.failed.load(std::memory_order_relaxed)) {
      s.failure = Why("cannot write the temporary file of long cells: ", error);
      s.failed.store(true, std::memory_order_release);
    }
    return;
  }
  // The length stays where every packed text keeps it, so widths need no read.
  size_t at = 1;
  const uint64_t units = GetNumber(packed, at);
  std::string ref;
  ref.reserve(24);
  ref += 'S';
  PutNumber(ref, units);
  PutNumber(ref, static_cast<uint64_t>(slot_));
  PutNumber(ref, offset);
  PutNumber(ref, packed.size());
  packed.swap(ref);
}

std::string CellSpill::Failure() const {
  const Slot& s = slots[static_cast<size_t>(slot_)];
  if (!s.failed.load(std::memory_order_acquire)) return {};
  const std::lock_guard<std::mutex> lock(claim);
  return s.failure;
}

size_t CellSpill::Written() const {
  return static_cast<size_t>(slots[static_cast<size_t>(slot_)].end.load());
}

void CellSpill::Load(std::string_view spilled, std::string& packed) {
  const Reference ref = Parse(spilled);
  packed.clear();
  if (ref.slot >= kSlots || ref.size > (uint64_t{1} << 32)) return;
  const int fd = slots[ref.slot].fd.load(std::memory_order_acquire);
  if (fd < 0) return;
  packed.resize(static_cast<size_t>(ref.size));
  size_t done = 0;
  while (done < packed.size()) {
    const ssize_t n = ::pread(fd, packed.data() + done, packed.size() - done,
                              static_cast<off_t>(ref.offset + done));
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (!(n < 0 && errno == EINTR)) {
      break;
    }
  }
  // A cell that cannot be read back reads as empty, never as another cell's bytes.
  if (done < packed.size() || CellSpill::IsSpilled(packed)) packed.clear();
}

void CellSpill::Hold(std::string_view spilled) {
  const size_t slot = Parse(spilled).slot;
  if (slot < kSlots) slots[slot].refs.fetch_add(1, std::memory_order_relaxed);
}

void CellSpill::Drop(std::string_view spilled) { Unref(Parse(spilled).slot); }
