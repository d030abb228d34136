#include "tag/FileReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace {
// Holds the header and the frames of most tags; the walk asks for more when a picture is there.
constexpr int64_t kHeadBytes = 16 * 1024;
constexpr int64_t kPage = 4096;
}  // namespace

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
  if (size_ <= kHeadBytes + 2 * kPage) {
    PreadInto(head_, 0, size_);
    tail_offset_ = 0;
  } else {
    PreadInto(head_, 0, kHeadBytes);
    tail_offset_ = size_ - kPage;
    PreadInto(tail_, tail_offset_, size_ - tail_offset_);
  }
  return true;
}

void FileReader::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  size_ = 0;
  head_.clear();
  head_.shrink_to_fit();
  tail_.clear();
  tail_.shrink_to_fit();
  scratch_.clear();
  scratch_.shrink_to_fit();
  tail_offset_ = 0;
}

bool FileReader::PreadInto(std::string& buffer, int64_t offset, int64_t count) {
  buffer.resize(static_cast<size_t>(std::max<int64_t>(count, 0)));
  size_t done = 0;
  while (done < buffer.size()) {
    const ssize_t got = ::pread(fd_, buffer.data() + done, buffer.size() - done,
                                static_cast<off_t>(offset + static_cast<int64_t>(done)));
    if (got <= 0) break;  // the file shrank or failed: keep what arrived
    done += static_cast<size_t>(got);
  }
  buffer.resize(done);
  return done > 0 || count == 0;
}

void FileReader::EnsureHead(int64_t count) {
  if (fd_ < 0) return;
  count = std::min(count, size_);
  const auto have = static_cast<int64_t>(head_.size());
  if (count <= have) return;
  head_.resize(static_cast<size_t>(count));
  size_t done = static_cast<size_t>(have);
  while (done < head_.size()) {
    const ssize_t got =
        ::pread(fd_, head_.data() + done, head_.size() - done, static_cast<off_t>(done));
    if (got <= 0) break;  // the file shrank or failed: keep what arrived
    done += static_cast<size_t>(got);
  }
  head_.resize(done);
}

std::string_view FileReader::Read(int64_t pos, int64_t count) {
  if (fd_ < 0 || count <= 0) return {};
  int64_t begin = pos - 1;
  int64_t end = begin + count;
  begin = std::max<int64_t>(begin, 0);
  end = std::min(end, size_);
  if (begin >= end) return {};
  if (end <= static_cast<int64_t>(head_.size()))
    return std::string_view(head_).substr(static_cast<size_t>(begin), static_cast<size_t>(end - begin));
  if (!tail_.empty() && begin >= tail_offset_ && end <= tail_offset_ + static_cast<int64_t>(tail_.size()))
    return std::string_view(tail_).substr(static_cast<size_t>(begin - tail_offset_),
                                          static_cast<size_t>(end - begin));
  PreadInto(scratch_, begin, end - begin);
  return scratch_;
}
