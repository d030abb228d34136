#include "tag/FileReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace {
// Holds the header and the frames of most tags; the walk asks for more when a picture is there.
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
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return false;
  }
  fd_ = fd;
  size_ = st.st_size;
  // Only the start and the end are read: the kernel's read-ahead would fetch ten times that.
  ::posix_fadvise(fd_, 0, 0, POSIX_FADV_RANDOM);
  if (size_ <= kHeadBytes + kTailBytes) {
    PreadInto(head_, 0, 0, size_);
    tail_offset_ = 0;
  } else {
    PreadInto(head_, 0, 0, kHeadBytes);
    tail_offset_ = size_ - kTailBytes;
    PreadInto(tail_, 0, tail_offset_, size_ - tail_offset_);
  }
  return true;
}

void FileReader::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  size_ = 0;
  tail_offset_ = 0;
  // A large tag's bytes are not kept for the next file.
  head_.Release(kKeepBytes);
  tail_.Release(kKeepBytes);
  scratch_.Release(kKeepBytes);
}

void FileReader::PreadInto(Buffer& buffer, size_t from, int64_t offset, int64_t count) {
  const size_t want = static_cast<size_t>(std::max<int64_t>(count, 0));
  char* data = buffer.Reserve(from + want);
  size_t done = 0;
  while (done < want) {
    const ssize_t got = ::pread(fd_, data + from + done, want - done,
                                static_cast<off_t>(offset + static_cast<int64_t>(done)));
    if (got <= 0) break;  // the file shrank or failed: keep what arrived
    done += static_cast<size_t>(got);
  }
  buffer.SetSize(from + done);
}

void FileReader::EnsureHead(int64_t count) {
  if (fd_ < 0) return;
  count = std::min(count, size_);
  const auto have = static_cast<int64_t>(head_.size());
  if (count <= have) return;
  PreadInto(head_, head_.size(), have, count - have);
}

std::string_view FileReader::Read(int64_t pos, int64_t count) {
  if (fd_ < 0 || count <= 0) return {};
  int64_t begin = pos - 1;
  int64_t end = begin + count;
  begin = std::max<int64_t>(begin, 0);
  end = std::min(end, size_);
  if (begin >= end) return {};
  if (end <= static_cast<int64_t>(head_.size()))
    return head_.View().substr(static_cast<size_t>(begin), static_cast<size_t>(end - begin));
  if (tail_.size() > 0 && begin >= tail_offset_ &&
      end <= tail_offset_ + static_cast<int64_t>(tail_.size()))
    return tail_.View().substr(static_cast<size_t>(begin - tail_offset_),
                               static_cast<size_t>(end - begin));
  PreadInto(scratch_, 0, begin, end - begin);
  return scratch_.View();
}
