#include "tools/cli/CliArgs.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
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


bool ReadPathList(const std::string& list, std::vector<std::string>& paths, std::string& why) {
  const bool standard_input = list == "-";
  const int fd = standard_input ? STDIN_FILENO : ::open(list.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    why = std::strerror(errno);
    return false;
  }
  struct Closer {
    int fd;
    bool owned;
    ~Closer() {
      if (owned) ::close(fd);
    }
  } closer{fd, !standard_input};

  std::string line;
  size_t number = 1;
  // A line may hold the longest path and a CR before its LF.
  const auto finish = [&]() {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() > kLongestPath) return TooLong(number, why);
    if (!line.empty()) paths.push_back(line);
    line.clear();
    ++number;
    return true;
  };
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      why = std::strerror(errno);
      return false;
    }
    if (got == 0) break;
    for (ssize_t i = 0; i < got; ++i) {
      const char c = buffer[i];
      if (c == '\n') {
        if (!finish()) return false;
      } else if (c == '\0') {
        why = "line " + std::to_string(number) + " holds a NUL byte, which no path can hold";
        return false;
      } else if (line.size() > kLongestPath) {
        // Past the longest path and a CR: the rest of the line need not be read.
        return TooLong(number, why);
      } else {
        line.push_back(c);
      }
    }
  }
  return line.empty() || finish();
}

bool IsHelp(const std::string& arg) { return arg == "--help" || arg == "-h"; }

bool IsOption(const std::string& arg) { return arg.size() > 1 && arg[0] == '-'; }

}  // namespace CliArgs
