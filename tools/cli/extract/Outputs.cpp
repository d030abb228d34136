#include "tools/cli/extract/Outputs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <optional>

#include "export/ReplacingFile.h"
#include "platform/FileNames.h"
#include "platform/StepFailure.h"

namespace Outputs {

namespace {

// The descriptor a name of the process's own descriptors stands for. Writing to it directly
// keeps what the shell set up: "-o /dev/stdout >> log" appends to the log, where opening the
// name anew would start at its first byte, and replacing it would lose the log.
std::optional<int> DescriptorNamed(const std::string& path) {
  if (path == "/dev/stdout") return 1;
  if (path == "/dev/stderr") return 2;
  for (const std::string_view prefix : {"/dev/fd/", "/proc/self/fd/"}) {
    if (path.size() <= prefix.size() || path.compare(0, prefix.size(), prefix) != 0) continue;
    int fd = -1;
    const char* first = path.data() + prefix.size();
    const char* last = path.data() + path.size();
    const auto [end, error] = std::from_chars(first, last, fd);
    if (error == std::errc() && end == last) return fd;
  }
  return std::nullopt;
}

[[noreturn]] void FailWriting(const std::string& what, int error) {
  const std::string message = "Cannot write to " + what + ": " + std::strerror(error);
  if (error == EPIPE) throw ReaderGone(message);
  throw StepFailure(message);
}

[[noreturn]] void Fail(const std::string& path, int error) { FailWriting("'" + path + "'", error); }

class StandardOutput : public TextOutput {
 public:
  void Write(std::string_view bytes) override {
    if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size())
      FailWriting("standard output", errno);
  }
  void Commit() override {
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) FailWriting("standard output", errno);
  }
};

// A descriptor written in pieces of its own; a device or a pipe has nothing to replace.
class DescriptorOutput : public TextOutput {
 public:
  DescriptorOutput(int fd, bool owned, std::string path)
      : fd_(fd), owned_(owned), path_(std::move(path)) {}
  ~DescriptorOutput() override {
    if (owned_) ::close(fd_);
  }
  DescriptorOutput(const DescriptorOutput&) = delete;
  DescriptorOutput& operator=(const DescriptorOutput&) = delete;

  void Write(std::string_view bytes) override {
    buffer_.append(bytes);
    if (buffer_.size() >= kPiece) Drain();
  }
  void Commit() override { Drain(); }

 private:
  static constexpr size_t kPiece = size_t{64} << 10;

  void Drain() {
    size_t done = 0;
    while (done < buffer_.size()) {
      const ssize_t wrote = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
      if (wrote < 0 && errno == EINTR) continue;
      if (wrote <= 0) Fail(path_, wrote < 0 ? errno : EIO);
      done += static_cast<size_t>(wrote);
    }
    buffer_.clear();
  }

  int fd_;
  bool owned_;
  std::string path_;
  std::string buffer_;
};

}  // namespace

Kind KindOf(const std::string& path) {
  if (path.empty()) return Kind::kStandardOutput;
  if (const std::optional<int> fd = DescriptorNamed(path))
    return *fd == STDOUT_FILENO ? Kind::kStandardOutput : Kind::kDescriptor;
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode)))
    return Kind::kStream;
  return Kind::kFile;
}

std::unique_ptr<TextOutput> Open(const std::string& path) {
  switch (KindOf(path)) {
    case Kind::kStandardOutput:
      return std::make_unique<StandardOutput>();
    case Kind::kDescriptor: {
      const int fd = *DescriptorNamed(path);
      if (::fcntl(fd, F_GETFD) < 0) Fail(path, errno);
      return std::make_unique<DescriptorOutput>(fd, false, path);
    }
    case Kind::kStream: {
      // A FIFO waits here for its reader, as a shell's redirection would.
      const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
      if (fd < 0) Fail(path, errno);
      struct stat st {};
      // Opened by name, so it is looked at again: only a stream is written without a rename.
      if (::fstat(fd, &st) != 0 || !(S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode))) {
        ::close(fd);
        throw StepFailure("Cannot write to '" + path + "': it changed while it was opened");
      }
      return std::make_unique<DescriptorOutput>(fd, true, path);
    }
    case Kind::kFile:
      break;
  }
  return std::make_unique<ReplacingFile>(FileNames::ToText(path));
}

}  // namespace Outputs
