#include "tools/cli/CliArgs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace CliArgs {

namespace {

bool TooLong(size_t line, std::string& why) {
  why = "line " + std::to_string(line) + " is longer than the longest path (" +
        std::to_string(kLongestPath) + " bytes)";
  return false;
}

}  // namespace

std::string OneLine(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string line;
  line.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7F) {
      line += c;
    } else if (c == '\r') {
      line += "\\r";
    } else if (c == '\n') {
      line += "\\n";
    } else if (c == '\t') {
      line += "\\t";
    } else {
      line += "\\x";
      line += kHex[byte >> 4];
      line += kHex[byte & 0xF];
    }
  }
  return line;
}

bool LineReader::Next(std::string& path, std::string& why) {
  path.clear();
  for (;;) {
    if (at_ == end_) {
      if (done_) return false;
      const ssize_t got = ::read(fd_, buffer_, sizeof buffer_);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) {
        why = std::strerror(errno);
        failed_ = true;
        return false;
      }
      at_ = 0;
      end_ = static_cast<size_t>(got);
      if (got == 0) {
        done_ = true;
        // A last line without its LF.
        if (line_.empty()) return false;
        if (!Finish(path, why)) return false;
        if (!path.empty()) return true;
        return false;
      }
    }
    while (at_ < end_) {
      const char c = buffer_[at_++];
      if (c == '\n') {
        if (!Finish(path, why)) return false;
        if (!path.empty()) return true;
      } else if (c == '\0') {
        why = "line " + std::to_string(number_) + " holds a NUL byte, which no path can hold";
        failed_ = true;
        return false;
      } else if (line_.size() > kLongestPath) {
        // Past the longest path and a CR: the rest of the line need not be read.
        failed_ = true;
        return TooLong(number_, why);
      } else {
        line_.push_back(c);
      }
    }
  }
}

bool LineReader::Finish(std::string& path, std::string& why) {
  // A line may hold the longest path and a CR before its LF.
  if (!line_.empty() && line_.back() == '\r') line_.pop_back();
  if (line_.size() > kLongestPath) {
    failed_ = true;
    return TooLong(number_, why);
  }
  path.swap(line_);
  line_.clear();
  ++number_;
  return true;
}

namespace {

// The list's descriptor, standard input for "-"; -1 with the reason otherwise.
int OpenList(const std::string& list, std::string& why) {
  if (list == "-") return STDIN_FILENO;
  const int fd = ::open(list.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) why = std::strerror(errno);
  return fd;
}

void CloseList(int fd) {
  if (fd != STDIN_FILENO && fd >= 0) ::close(fd);
}

}  // namespace

bool ReadPathList(const std::string& list, std::vector<std::string>& paths, std::string& why) {
  const int fd = OpenList(list, why);
  if (fd < 0) return false;
  LineReader reader(fd);
  std::string path;
  while (reader.Next(path, why)) paths.push_back(path);
  CloseList(fd);
  return !reader.Failed();
}

PathList::~PathList() {
  if (spool_) std::fclose(spool_);
  CloseList(fd_);
}

bool PathList::Check(const std::string& list, std::string& why) {
  name_ = list;
  const int fd = OpenList(list, why);
  if (fd < 0) return false;
  struct stat st {};
  const bool again = list != "-" && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  // A pipe or a terminal gives its lines once: they wait in a file of their own meanwhile.
  if (!again && !(spool_ = std::tmpfile())) {
    why = std::strerror(errno);
    CloseList(fd);
    return false;
  }
  LineReader reader(fd);
  std::string path;
  bool written = true;
  while (reader.Next(path, why)) {
    ++count_;
    if (spool_) {
      path += '\n';
      written = written && std::fwrite(path.data(), 1, path.size(), spool_) == path.size();
    }
  }
  CloseList(fd);
  if (reader.Failed()) return false;
  if (spool_ && (!written || std::fflush(spool_) != 0)) {
    why = "cannot keep it in a temporary file: " + std::string(std::strerror(errno));
    return false;
  }
  return true;
}

bool PathList::Next(std::string& path, std::string& why) {
  if (!reader_) {
    if (spool_) {
      fd_ = ::dup(::fileno(spool_));
      if (fd_ >= 0 && ::lseek(fd_, 0, SEEK_SET) != 0) {
        ::close(fd_);
        fd_ = -1;
      }
    } else {
      fd_ = OpenList(name_, why);
    }
    if (fd_ < 0) {
      if (why.empty()) why = std::strerror(errno);
      failed_ = true;
      return false;
    }
    reader_ = std::make_unique<LineReader>(fd_);
  }
  if (reader_->Next(path, why)) return true;
  failed_ = reader_->Failed();
  return false;
}

bool IsHelp(const std::string& arg) { return arg == "--help" || arg == "-h"; }

bool IsOption(const std::string& arg) { return arg.size() > 1 && arg[0] == '-'; }

}  // namespace CliArgs
