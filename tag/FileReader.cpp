#include "tag/FileReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {
// The header and the frames of a plain tag. Copying from the page cache is most of a warm read's
// cost (a read call's own cost is worth about 3 KB), so the first read is short and the walk
// asks for what it needs.
constexpr int64_t kHeadBytes = 2048;
// Holds the ID3v1 block and the Lyrics3 markers before it.
constexpr int64_t kTailBytes = 256;
// Buffers up to this size stay from one file to the next.
constexpr size_t kKeepBytes = 256 * 1024;
}  // namespace

char* FileReader::Buffer::Reserve(size_t count) {
  if (count > capacity_) {
    const size_t capacity = std::max(count, capacity_ + capacity_ / 2);
    std::unique_ptr<char[]> grown(new char[capacity]);
    if (size_ > 0) std::memcpy(grown.get(), data_.get(), size_);
    data_ = std::move(grown);
    capacity_ = capacity;
  }
  return data_.get();
}

void FileReader::Buffer::Release(size_t keep_capacity) {
  size_ = 0;
  if (capacity_ > keep_capacity) {
    data_.reset();
    capacity_ = 0;
  }
}

bool FileReader::Open(const std::string& path) {
  Close();
  read_error_ = 0;
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    open_error_ = errno;
    return false;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    open_error_ = S_ISREG(st.st_mode) ? errno : 0;
    ::close(fd);
    return false;
  }
  open_error_ = 0;
  fd_ = fd;
  size_ = st.st_size;
  modified_ = st.st_mtim;
  // Only the start and the end are read: the kernel's read-ahead would fetch ten times that.
  ::posix_fadvise(fd_, 0, 0, POSIX_FADV_RANDOM);
  ReadEnds();
  return true;
}

void FileReader::Narrow(int64_t from, int64_t length) {
  if (fd_ < 0) return;
  from = std::clamp<int64_t>(from, 0, base_ + size_);
  size_ = std::clamp<int64_t>(length, 0, base_ + size_ - from);
  base_ = from;
  head_offset_ = 0;
  tail_.SetSize(0);
  ReadEnds();
}

void FileReader::ReadEnds() {
  if (size_ <= kHeadBytes + kTailBytes) {
    PreadInto(head_, 0, 0, size_);
    tail_offset_ = 0;
  } else {
    PreadInto(head_, 0, 0, kHeadBytes);
    tail_offset_ = size_ - kTailBytes;
    PreadInto(tail_, 0, tail_offset_, size_ - tail_offset_);
  }
}

void FileReader::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  size_ = 0;
  base_ = 0;
  head_offset_ = 0;
  tail_offset_ = 0;
  // A large tag's bytes are not kept for the next file.
  head_.Release(kKeepBytes);
  tail_.Release(kKeepBytes);
  scratch_.Release(kKeepBytes);
}

size_t FileReader::PreadAll(char* out, size_t want, int64_t offset) const {
  size_t done = 0;
  while (done < want) {
    const ssize_t got = ::pread(fd_, out + done, want - done,
                                static_cast<off_t>(base_ + offset + static_cast<int64_t>(done)));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && read_error_ == 0) read_error_ = errno;
    if (got <= 0) break;  // the file shrank or failed: keep what arrived
    done += static_cast<size_t>(got);
  }
  return done;
}

void FileReader::PreadInto(Buffer& buffer, size_t from, int64_t offset, int64_t count) {
  const size_t want = static_cast<size_t>(std::max<int64_t>(count, 0));
  char* data = buffer.Reserve(from + want);
  buffer.SetSize(from + PreadAll(data + from, want, offset));
}

void FileReader::Hold(int64_t from, int64_t to) {
  if (fd_ < 0) return;
  to = std::min(to, size_);
  if (from < 0 || from >= to) return;
  const int64_t end = head_offset_ + static_cast<int64_t>(head_.size());
  if (from >= head_offset_ && from <= end) {
    if (to > end) PreadInto(head_, head_.size(), end, to - end);
    return;
  }
  head_offset_ = from;
  PreadInto(head_, 0, from, to - from);
}

size_t FileReader::ReadInto(int64_t pos, int64_t count, char* out, int64_t hold_to) {
  if (fd_ < 0) return 0;
  const int64_t after = pos - 1 + std::max<int64_t>(count, 0);  // where the window may go on
  const int64_t begin = std::max<int64_t>(pos - 1, 0);
  const int64_t end = std::min(after, size_);
  if (begin >= end) {
    Hold(after, hold_to);
    return 0;
  }
  const auto want = static_cast<size_t>(end - begin);
  const int64_t head_end = head_offset_ + static_cast<int64_t>(head_.size());
  const int64_t tail_end = tail_offset_ + static_cast<int64_t>(tail_.size());
  if ((begin >= head_offset_ && end <= head_end) ||
      (tail_.size() > 0 && begin >= tail_offset_ && end <= tail_end)) {
    const std::string_view held = Read(begin + 1, end - begin);
    std::memcpy(out, held.data(), held.size());
    Hold(after, hold_to);
    return held.size();
  }
  size_t done = 0;
  hold_to = std::min(hold_to, size_);
  if (end == after && hold_to > after) {
    // One read fills both: the range's bytes go straight to `out`, the rest to the window.
    const auto extra = static_cast<size_t>(hold_to - after);
    iovec parts[2] = {{out, want}, {head_.Reserve(extra), extra}};
    const ssize_t got = ::preadv(fd_, parts, 2, static_cast<off_t>(base_ + begin));
    const auto arrived = static_cast<size_t>(std::max<ssize_t>(got, 0));
    done = std::min(arrived, want);
    head_offset_ = after;
    head_.SetSize(arrived - done);
  }
  done += PreadAll(out + done, want - done, begin + static_cast<int64_t>(done));
  if (done == want) Hold(after, hold_to);
  return done;
}

std::string_view FileReader::Read(int64_t pos, int64_t count) {
  if (fd_ < 0 || count <= 0) return {};
  int64_t begin = pos - 1;
  int64_t end = begin + count;
  begin = std::max<int64_t>(begin, 0);
  end = std::min(end, size_);
  if (begin >= end) return {};
  if (begin >= head_offset_ && end <= head_offset_ + static_cast<int64_t>(head_.size()))
    return head_.View().substr(static_cast<size_t>(begin - head_offset_),
                               static_cast<size_t>(end - begin));
  if (tail_.size() > 0 && begin >= tail_offset_ &&
      end <= tail_offset_ + static_cast<int64_t>(tail_.size()))
    return tail_.View().substr(static_cast<size_t>(begin - tail_offset_),
                               static_cast<size_t>(end - begin));
  PreadInto(scratch_, 0, begin, end - begin);
  return scratch_.View();
}
