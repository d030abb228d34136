#include "tag/PosixTagFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <mutex>
#include <thread>
#include <utility>

namespace {

constexpr int64_t kChunk = 1 << 20;
// How long a writer waits for another one to finish with the same file.
constexpr auto kLockPatience = std::chrono::seconds(30);

}  // namespace

namespace PosixTagFiles {

std::string Reason(const std::string& what, const std::string& path) {
  return what + " '" + path + "': " + std::strerror(errno);
}

std::string RandomName() {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  unsigned char bytes[kRandomLength] = {};
  if (::getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
    static std::atomic<uint64_t> counter{0};
    uint64_t mix =
        static_cast<uint64_t>(::getpid()) * 0x9E3779B97F4A7C15ull ^
        static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
        (++counter << 40);
    for (unsigned char& b : bytes) {
      b = static_cast<unsigned char>(mix);
      mix = mix * 6364136223846793005ull + 1442695040888963407ull;
    }
  }
  std::string name;
  for (unsigned char b : bytes) name.push_back(kAlphabet[b % (sizeof kAlphabet - 1)]);
  return name;
}

// Waits for the exclusive lock of an open file. On a file system that offers no locks the write
// goes ahead: the check before the rename is then all that guards it.
bool WaitForLock(int fd, const std::string& path, std::string& error) {
  const auto deadline = std::chrono::steady_clock::now() + kLockPatience;
  auto pause = std::chrono::milliseconds(1);
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
    if (errno == EINTR) continue;
    if (errno == ENOLCK || errno == EOPNOTSUPP || errno == ENOSYS || errno == EBADF) return true;
    if (errno != EWOULDBLOCK) {
      error = Reason("cannot lock", path);
      return false;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      error = "'" + path + "' is being written by another program, which did not finish within " +
              std::to_string(kLockPatience.count()) + " seconds";
      return false;
    }
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::milliseconds(50));
  }
}

PendingFiles& Pending() {
  static PendingFiles pending;
  return pending;
}

namespace {

class PosixSource : public TagFileSystem::Source {
 public:
  PosixSource(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~PosixSource() override { ::close(fd_); }
  int Fd() const { return fd_; }

  bool ReadAt(int64_t offset, int64_t count, std::string& out, std::string& error) override {
    out.resize(static_cast<size_t>(count));
    int64_t done = 0;
    while (done < count) {
      const ssize_t got = ::pread(fd_, out.data() + done, static_cast<size_t>(count - done),
                                  static_cast<off_t>(offset + done));
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) {
        error = Reason("cannot read", path_);
        return false;
      }
      if (got == 0) {
        error = "'" + path_ + "' ended early; was it changed by another program?";
        return false;
      }
      done += got;
    }
    return true;
  }

  bool Stat(TagFileSystem::FileInfo& info, std::string& error) override {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
      error = Reason("cannot inspect", path_);
      return false;
    }
    info.device = st.st_dev;
    info.inode = st.st_ino;
    info.size = st.st_size;
    return true;
  }

  bool Lock(std::string& error) override { return WaitForLock(fd_, path_, error); }

 private:
  int fd_;
  std::string path_;
};

class PosixTarget : public TagFileSystem::Target {
 public:
  // `path` is empty for a file made without a name; `prefix` is its hidden name but for the
  // random end.
  PosixTarget(int fd, std::string path, std::string prefix)
      : fd_(fd), path_(std::move(path)), prefix_(std::move(prefix)) {
    // A second descriptor keeps the lock once the first is closed, until the rename is done.
    keep_ = ::dup(fd_);
    if (!path_.empty()) slot_ = Pending().Add(path_);
  }
  ~PosixTarget() override {
    if (fd_ >= 0) ::close(fd_);
    if (keep_ >= 0) ::close(keep_);
    Pending().Drop(slot_);
  }
  const std::string& Path() const override { return path_; }

  bool Write(std::string_view bytes, std::string& error) override {
    while (!bytes.empty()) {
      const ssize_t put = ::write(fd_, bytes.data(), bytes.size());
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) {
        error = Reason("cannot write", Shown());
        return false;
      }
      bytes.remove_prefix(static_cast<size_t>(put));
    }
    return true;
  }

  bool CopyFrom(TagFileSystem::Source& source, int64_t offset, int64_t count,
                std::string& error) override {
    // The kernel copies between two files without passing the bytes through us.
    if (auto* posix = dynamic_cast<PosixSource*>(&source)) {
      auto in = static_cast<off_t>(offset);
      while (count > 0) {
        const ssize_t moved = ::copy_file_range(
            posix->Fd(), &in, fd_, nullptr, static_cast<size_t>(std::min(count, kChunk * 16)), 0);
        if (moved < 0 && errno == EINTR) continue;
        if (moved < 0 &&
            (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP))
          break;  // not supported here: copy through memory below
        if (moved < 0) {
          error = Reason("cannot write", Shown());
          return false;
        }
        if (moved == 0) {
          error = "the original file ended early; was it changed by another program?";
          return false;
        }
        count -= moved;
      }
      offset = in;
    }
    std::string buffer;
    while (count > 0) {
      const int64_t n = std::min(count, kChunk);
      if (!source.ReadAt(offset, n, buffer, error) || !Write(buffer, error)) return false;
      offset += n;
      count -= n;
    }
    return true;
  }

  bool SetOwnerAndMode(const TagFileSystem::FileInfo& like, std::string& error) override {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
      error = Reason("cannot inspect", Shown());
      return false;
    }
    if ((st.st_uid != like.owner || st.st_gid != like.group) &&
        ::fchown(fd_, like.owner, like.group) != 0) {
      error = "cannot keep the owner (user " + std::to_string(like.owner) + ", group " +
              std::to_string(like.group) + ") of the file: " + std::strerror(errno);
      return false;
    }
    // After fchown, which clears the set-user-ID and set-group-ID bits.
    if (::fchmod(fd_, like.mode & 07777) != 0) {
      error = Reason("cannot set the permissions of", Shown());
      return false;
    }
    return true;
  }

  bool CopyAttributes(TagFileSystem::Source& from, std::string& error) override {
    auto* posix = dynamic_cast<PosixSource*>(&from);
    if (posix == nullptr) return true;
    std::string names;
    if (!ReadList(posix->Fd(), names)) {
      if (errno == ENOTSUP) return true;  // the file system holds none
      error =
          "cannot list the extended attributes of the file: " + std::string(std::strerror(errno));
      return false;
    }
    std::string value;
    for (size_t at = 0; at < names.size();) {
      const std::string name = names.c_str() + at;
      at += name.size() + 1;
      // Only directories have a default ACL; the system recreates its own security labels.
      if (name.empty() || name == "system.posix_acl_default") continue;
      // What users and their programs put there, and who may use the file, must not be lost.
      const bool needed = name.rfind("user.", 0) == 0 || name == "system.posix_acl_access";
      if (!ReadValue(posix->Fd(), name, value) ||
          ::fsetxattr(fd_, name.c_str(), value.data(), value.size(), 0) != 0) {
        if (!needed) continue;
        error = "cannot carry the extended attribute " + name +
                " over to the new file: " + std::strerror(errno);
        return false;
      }
    }
    return KeepInodeFlags(posix->Fd(), error);
  }

  // The flags a user sets with chattr, which belong to the inode and so would not reach the
  // new file by themselves. Immutable and append-only files cannot be replaced at all, and the
  // flags only the system sets are left to it.
  bool KeepInodeFlags(int from, std::string& error) {
    constexpr int kUserFlags = FS_NODUMP_FL | FS_NOATIME_FL | FS_SYNC_FL | FS_DIRSYNC_FL |
                               FS_COMPR_FL | FS_NOCOMP_FL | FS_NOTAIL_FL | FS_PROJINHERIT_FL;
    int old_flags = 0;
    int new_flags = 0;
    // A file system without the flags has none to keep.
    if (::ioctl(from, FS_IOC_GETFLAGS, &old_flags) != 0 || (old_flags & kUserFlags) == 0)
      return true;
    if (::ioctl(fd_, FS_IOC_GETFLAGS, &new_flags) == 0) {
      const int wanted = (new_flags & ~kUserFlags) | (old_flags & kUserFlags);
      if (wanted == new_flags || ::ioctl(fd_, FS_IOC_SETFLAGS, &wanted) == 0) return true;
    }
    error =
        "cannot keep the file's attributes set with chattr: " + std::string(std::strerror(errno));
    return false;
  }

  bool SetTimes(const timespec& accessed, const timespec& modified, std::string& error) override {
    const timespec times[2] = {accessed, modified};
    if (::futimens(fd_, times) != 0) {
      error = Reason("cannot set the times of", Shown());
      return false;
    }
    return true;
  }

  bool Flush(std::string& error) override {
    if (::fsync(fd_) != 0) {
      error = Reason("cannot flush", Shown());
      return false;
    }
    return true;
  }

  bool Close(std::string& error) override {
    if (path_.empty() && !GiveName(error)) return false;
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
      error = Reason("cannot close", path_);
      return false;
    }
    return true;
  }

 private:
  std::string Shown() const {
    return path_.empty() ? prefix_.substr(0, prefix_.rfind('/')) : path_;
  }

  // Links the unnamed file into its folder under a fresh hidden name.
  bool GiveName(std::string& error) {
    const std::string through = "/proc/self/fd/" + std::to_string(fd_);
    for (int attempt = 0; attempt < 100; ++attempt) {
      const std::string name = prefix_ + RandomName();
      int linked = ::linkat(AT_FDCWD, through.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW);
      if (linked != 0 && errno == ENOENT)  // no /proc: only with the right to link any file
        linked = ::linkat(fd_, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH);
      if (linked == 0) {
        path_ = name;
        slot_ = Pending().Add(path_);
        return true;
      }
      if (errno != EEXIST) break;
    }
    error = Reason("cannot give the new file a name in", Shown());
    return false;
  }

  static bool ReadList(int fd, std::string& names) {
    for (;;) {
      const ssize_t size = ::flistxattr(fd, nullptr, 0);
      if (size < 0) return false;
      names.resize(static_cast<size_t>(size));
      const ssize_t got = size == 0 ? 0 : ::flistxattr(fd, names.data(), names.size());
      if (got >= 0) {
        names.resize(static_cast<size_t>(got));
        return true;
      }
      if (errno != ERANGE) return false;  // grown meanwhile: ask again
    }
  }

  static bool ReadValue(int fd, const std::string& name, std::string& value) {
    for (;;) {
      const ssize_t size = ::fgetxattr(fd, name.c_str(), nullptr, 0);
      if (size < 0) return false;
      value.resize(static_cast<size_t>(size));
      const ssize_t got = size == 0 ? 0 : ::fgetxattr(fd, name.c_str(), value.data(), value.size());
      if (got >= 0) {
        value.resize(static_cast<size_t>(got));
        return true;
      }
      if (errno != ERANGE) return false;
    }
  }

  int fd_;
  int keep_ = -1;
  std::string path_;
  std::string prefix_;
  int slot_ = -1;
};

}  // namespace

std::unique_ptr<TagFileSystem::Source> MakeSource(int fd, std::string path) {
  return std::make_unique<PosixSource>(fd, std::move(path));
}

std::unique_ptr<TagFileSystem::Target> MakeTarget(int fd, std::string path, std::string prefix) {
  return std::make_unique<PosixTarget>(fd, std::move(path), std::move(prefix));
}

}  // namespace PosixTagFiles
