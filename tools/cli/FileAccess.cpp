#include "tools/cli/FileAccess.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/formats/AudioSniff.h"
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

bool IsMpegOnly(const std::string& path, std::string& why) {
  int64_t size = 0, declared = 0;
  const std::string format = AudioSniff::Format(path, size, declared);
  if (format.empty()) return true;
  why = "its content is " + format + " audio, and only MP3 files are written";
  return false;
}

}  // namespace FileAccess
