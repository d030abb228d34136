#include "tag/TagFileSystem.h"

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
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <utility>

namespace {

constexpr int64_t kChunk = 1 << 20;
// How long a writer waits for another one to finish with the same file.
constexpr auto kLockPatience = std::chrono::seconds(30);
// How often a writer starts again when the file it waited for was replaced meanwhile.
constexpr int kReopenAttempts = 64;
// What a new file's hidden name ends with before its six random characters. Only files named so
// are ever taken for a dead writer's leftovers.
constexpr std::string_view kPendingMark = ".tagloom-write-";
constexpr size_t kRandomLength = 6;

std::string Reason(const std::string& what, const std::string& path) {
  return what + " '" + path + "': " + std::strerror(errno);
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
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

bool IsPendingName(std::string_view name) {
  if (name.size() < 1 + kPendingMark.size() + kRandomLength || name.front() != '.') return false;
  const std::string_view tail = name.substr(name.size() - kRandomLength);
  const std::string_view mark =
      name.substr(name.size() - kRandomLength - kPendingMark.size(), kPendingMark.size());
  return mark == kPendingMark && std::all_of(tail.begin(), tail.end(), [](char c) {
           return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
         });
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

// The named new files of this process's rewrites, for a signal handler to remove: fixed slots
// and lock-free flags, since a handler may neither allocate nor lock.
class PendingFiles {
 public:
  static constexpr int kSlots = 16;

  int Add(const std::string& path) noexcept {
    if (path.size() >= PATH_MAX) return -1;
    for (int i = 0; i < kSlots; ++i) {
      int expected = kFree;
      if (!slots_[i].state.compare_exchange_strong(expected, kFilling)) continue;
      std::memcpy(slots_[i].path, path.c_str(), path.size() + 1);
      slots_[i].state.store(kReady);
      return i;
    }
    return -1;  // more rewrites at once than slots: the next writer there removes the leftover
  }

  void Drop(int slot) noexcept {
    if (slot >= 0) slots_[slot].state.store(kFree);
  }

  void RemoveAll() noexcept {
    for (Slot& slot : slots_)
      if (slot.state.load() == kReady) ::unlink(slot.path);
  }

 private:
  static constexpr int kFree = 0, kFilling = 1, kReady = 2;
  struct Slot {
    std::atomic<int> state{kFree};
    char path[PATH_MAX];
  };
  static_assert(std::atomic<int>::is_always_lock_free);
  Slot slots_[kSlots];
};

PendingFiles& Pending() {
  static PendingFiles pending;
  return pending;
}

void RemovePendingAndEnd(int signal) {
  const int saved = errno;
  Pending().RemoveAll();
  errno = saved;
  // The handler was reset on entry: once this returns, the signal ends the process as it would
  // have without it.
  ::raise(signal);
}

// Removes the new files of writers that died in `folder`: a live writer holds its file's lock,
// so a file whose lock can be taken is a leftover.
void RemoveLeftovers(const std::string& folder) {
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return;
  const int dir_fd = ::dirfd(dir);
  while (const dirent* entry = ::readdir(dir)) {
    if (!IsPendingName(entry->d_name)) continue;
    const int fd =
        ::openat(dir_fd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) continue;
    struct stat opened {
    }, named{};
    if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) &&
        ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        ::fstatat(dir_fd, entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
        SameFile(opened, named))
      ::unlinkat(dir_fd, entry->d_name, 0);
    ::close(fd);
  }
  ::closedir(dir);
}

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

class PosixTagFileSystem : public TagFileSystem {
 public:
  explicit PosixTagFileSystem(bool unnamed) : unnamed_(unnamed) {}

  bool Resolve(const std::string& path, std::string& target, std::string& error) override {
    char* real = ::realpath(path.c_str(), nullptr);
    if (real == nullptr) {
      error = Reason("cannot open", path);
      return false;
    }
    target = real;
    std::free(real);
    return true;
  }

  bool Stat(const std::string& path, FileInfo& info, std::string& error) override {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
      error = Reason("cannot inspect", path);
      return false;
    }
    info.device = st.st_dev;
    info.inode = st.st_ino;
    info.size = st.st_size;
    info.mode = st.st_mode & 07777;
    info.owner = st.st_uid;
    info.group = st.st_gid;
    info.links = st.st_nlink;
    info.regular = S_ISREG(st.st_mode);
    info.accessed = st.st_atim;
    info.modified = st.st_mtim;
    return true;
  }

  bool CheckWritable(const std::string& path, std::string& error) override {
    if (::access(path.c_str(), W_OK) != 0) {
      error = Reason("cannot write", path);
      return false;
    }
    return true;
  }

  std::unique_ptr<Source> OpenSource(const std::string& path, std::string& error) override {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
      error = Reason("cannot open", path);
      return nullptr;
    }
    return std::make_unique<PosixSource>(fd, path);
  }

  std::unique_ptr<Target> CreateBeside(const std::string& beside, uint32_t mode,
                                       std::string& error) override {
    const size_t slash = beside.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : beside.substr(0, slash);
    std::string base = slash == std::string::npos ? beside : beside.substr(slash + 1);
    // Hidden and not ending in ".mp3", so a folder scan never lists a half-built file.
    base = base.substr(0, std::min<size_t>(base.size(), NAME_MAX - 32));
    const std::string prefix = folder + "/." + base + std::string(kPendingMark);
    RemoveLeftovers(folder);
    const mode_t building = mode & 0777 & ~0022;  // never wider than the final mode while built
    // Without a name until it is complete, so a writer killed on the way leaves nothing; naming
    // it then takes /proc (or the right to link any open file).
    if (unnamed_ && (::access("/proc/self/fd", X_OK) == 0 || ::geteuid() == 0)) {
      const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, building);
      if (fd >= 0) {
        ::flock(fd, LOCK_EX | LOCK_NB);
        return std::make_unique<PosixTarget>(fd, std::string(), prefix);
      }
      if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
        error = Reason("cannot create a new file in", folder);
        return nullptr;
      }
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string name = prefix + RandomName();
      const int fd =
          ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, building);
      if (fd < 0 && errno == EEXIST) continue;
      if (fd < 0) break;
      // Another writer's clean-up may have taken it for a leftover before it was locked.
      struct stat opened {
      }, named{};
      ::flock(fd, LOCK_EX);
      if (::fstat(fd, &opened) == 0 && ::lstat(name.c_str(), &named) == 0 &&
          SameFile(opened, named)) {
        ::fchmod(fd, building);
        return std::make_unique<PosixTarget>(fd, name, prefix);
      }
      ::close(fd);
    }
    error = Reason("cannot create a new file in", folder);
    return nullptr;
  }

  bool Rename(const std::string& from, const std::string& to, std::string& error) override {
    if (::rename(from.c_str(), to.c_str()) != 0) {
      error = Reason("cannot replace", to);
      return false;
    }
    // The folder is not flushed: either name then holds a whole file, and the journal makes the
    // rename durable within seconds; waiting for it would add to every write.
    return true;
  }

  void Remove(const std::string& path) override { ::unlink(path.c_str()); }

 private:
  bool unnamed_;
};

std::mutex& HeldMutex() {
  static std::mutex mutex;
  return mutex;
}

std::vector<std::pair<uint64_t, uint64_t>>& Held() {
  static std::vector<std::pair<uint64_t, uint64_t>> held;
  return held;
}

}  // namespace

std::shared_ptr<TagFileSystem> TagFileSystem::Posix() {
  static const auto posix = std::make_shared<PosixTagFileSystem>(true);
  return posix;
}

std::shared_ptr<TagFileSystem> TagFileSystem::PosixNamedOnly() {
  static const auto posix = std::make_shared<PosixTagFileSystem>(false);
  return posix;
}

void TagFileSystem::RemovePendingFiles() noexcept { Pending().RemoveAll(); }

void TagFileSystem::RemovePendingFilesOnSignals() noexcept {
  Pending();  // made before any handler may need it
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction old {};
    if (::sigaction(signal, nullptr, &old) != 0 || old.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = RemovePendingAndEnd;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, nullptr);
  }
}

WriteLock::~WriteLock() {
  if (fd_ < 0) return;
  {
    std::lock_guard<std::mutex> guard(HeldMutex());
    auto& held = Held();
    const auto found = std::find(held.begin(), held.end(), std::make_pair(device_, inode_));
    if (found != held.end()) held.erase(found);
  }
  ::close(fd_);
}

bool WriteLock::Acquire(const std::string& path, std::string& error) {
  for (int attempt = 0; attempt < kReopenAttempts; ++attempt) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
      error = Reason("cannot open", path);
      return false;
    }
    if (!WaitForLock(fd, path, error)) {
      ::close(fd);
      return false;
    }
    struct stat opened {
    }, named{};
    if (::fstat(fd, &opened) == 0 && ::stat(path.c_str(), &named) == 0 && SameFile(opened, named)) {
      fd_ = fd;
      device_ = opened.st_dev;
      inode_ = opened.st_ino;
      std::lock_guard<std::mutex> guard(HeldMutex());
      Held().emplace_back(device_, inode_);
      return true;
    }
    ::close(fd);  // replaced while this one waited: the new file is the one to lock
  }
  error = "'" + path + "' was replaced again and again by other programs while waiting for it";
  return false;
}

bool WriteLock::HeldHere(uint64_t device, uint64_t inode) {
  std::lock_guard<std::mutex> guard(HeldMutex());
  const auto& held = Held();
  return std::find(held.begin(), held.end(), std::make_pair(device, inode)) != held.end();
}

bool FileRewrite::Inspect(const std::string& path, std::string& error) {
  if (!fs_->Resolve(path, target_, error) || !fs_->Stat(target_, info_, error)) return false;
  if (!info_.regular) {
    error = "'" + path + "' is not a regular file";
    return false;
  }
  if ((info_.mode & 0222) == 0) {
    error = "'" + path + "' is read-only";
    return false;
  }
  if (!fs_->CheckWritable(target_, error)) return false;
  // Replacing one name of several would leave the others on the old content.
  if (info_.links > 1) {
    error = "'" + path + "' has " + std::to_string(info_.links) +
            " hard links; a rewrite would separate them, so it was left unchanged";
    return false;
  }
  return true;
}

bool FileRewrite::Open(const std::string& path, std::string& error) {
  for (int attempt = 0; attempt < kReopenAttempts; ++attempt) {
    if (!Inspect(path, error)) return false;
    source_ = fs_->OpenSource(target_, error);
    TagFileSystem::FileInfo opened;
    if (!source_ || !source_->Stat(opened, error)) return false;
    if (!WriteLock::HeldHere(opened.device, opened.inode) && !source_->Lock(error)) return false;
    // What was waited for may have been replaced by the writer that held it: read that instead.
    if (!Inspect(path, error)) return false;
    if (info_.device == opened.device && info_.inode == opened.inode) return true;
    source_.reset();
  }
  error = "'" + path + "' was replaced again and again by other programs while waiting for it";
  return false;
}

bool FileRewrite::Read(int64_t offset, int64_t count, std::string& out, std::string& error) {
  offset = std::max<int64_t>(offset, 0);
  count = std::min(count, info_.size - offset);
  if (count <= 0) {
    out.clear();
    return true;
  }
  return source_->ReadAt(offset, count, out, error);
}

bool FileRewrite::Commit(const std::vector<Piece>& pieces, std::string& error) {
  auto target = fs_->CreateBeside(target_, info_.mode, error);
  if (!target) return false;
  static const std::string kZeros(64 * 1024, '\0');
  bool ok = true;
  for (const Piece& piece : pieces) {
    if (piece.count > 0) {
      ok = target->CopyFrom(*source_, piece.offset, piece.count, error);
    } else if (piece.zeros > 0) {
      for (int64_t left = piece.zeros; ok && left > 0; left -= int64_t(kZeros.size()))
        ok = target->Write(std::string_view(kZeros).substr(
                               0, size_t(std::min<int64_t>(left, int64_t(kZeros.size())))),
                           error);
    } else {
      ok = target->Write(piece.bytes, error);
    }
    if (!ok) break;
  }
  ok = ok && target->SetOwnerAndMode(info_, error) && target->CopyAttributes(*source_, error) &&
       target->SetTimes(info_.accessed, info_.modified, error) && target->Flush(error) &&
       target->Close(error);
  if (ok) {
    // Another program may have changed the file since it was read; its change wins.
    TagFileSystem::FileInfo now;
    if (!fs_->Stat(target_, now, error)) {
      ok = false;
    } else if (now.device != info_.device || now.inode != info_.inode || now.size != info_.size ||
               now.modified.tv_sec != info_.modified.tv_sec ||
               now.modified.tv_nsec != info_.modified.tv_nsec) {
      error = "'" + target_ + "' was changed by another program during the write";
      ok = false;
    }
  }
  ok = ok && fs_->Rename(target->Path(), target_, error);
  if (!ok && !target->Path().empty()) fs_->Remove(target->Path());
  return ok;
}
