#include "tools/cli/FileAccess.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "text/FileNameText.h"

namespace FileAccess {

bool CanRead(const std::string& path, std::string& why) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    why = std::strerror(errno);
    return false;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    why = std::strerror(errno);
    ::close(fd);
    return false;
  }
  ::close(fd);
  if (S_ISREG(st.st_mode)) return true;
  why = S_ISDIR(st.st_mode) ? std::strerror(EISDIR) : "not a regular file";
  return false;
}

}  // namespace FileAccess
