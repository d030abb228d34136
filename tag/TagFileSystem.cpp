#include "tag/TagFileSystem.h"

#include "tag/FileReplacement.h"

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

#include "tag/FileReplacement.h"
#include "tag/PosixTagFiles.h"

using PosixTagFiles::kRandomLength;
using PosixTagFiles::Pending;
using PosixTagFiles::RandomName;
using PosixTagFiles::Reason;
using PosixTagFiles::WaitForLock;

namespace {

// How often a writer starts again when the file it waited for was replaced meanwhile.
constexpr int kReopenAttempts = 64;
// What a new file's hidden name ends with before its six random characters. Only files named so
// are ever taken for a dead writer's leftovers.
constexpr std::string_view kPendingMark = ".tagloom-write-";

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
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
    return PosixTagFiles::MakeSource(fd, path);
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
        return PosixTagFiles::MakeTarget(fd, std::string(), prefix);
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
        return PosixTagFiles::MakeTarget(fd, name, prefix);
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
  FileReplacement replacement(fs_, target_);
  if (!replacement.Create(info_.mode, error)) return false;
  TagFileSystem::Target& target = replacement.New();
  static const std::string kZeros(64 * 1024, '\0');
  bool ok = true;
  for (const Piece& piece : pieces) {
    if (piece.count > 0) {
      ok = target.CopyFrom(*source_, piece.offset, piece.count, error);
    } else if (piece.zeros > 0) {
      for (int64_t left = piece.zeros; ok && left > 0; left -= int64_t(kZeros.size()))
        ok = target.Write(std::string_view(kZeros).substr(
                              0, size_t(std::min<int64_t>(left, int64_t(kZeros.size())))),
                          error);
    } else {
      ok = target.Write(piece.bytes, error);
    }
    if (!ok) return false;
  }
  FileReplacement::Keep keep;
  keep.owner_and_mode = &info_;
  keep.attributes = source_.get();
  keep.times = true;
  // Another program may have changed the file since it was read; its change wins.
  keep.still_wanted = [this](std::string& reason) {
    TagFileSystem::FileInfo now;
    if (!fs_->Stat(target_, now, reason)) return false;
    if (now.device != info_.device || now.inode != info_.inode || now.size != info_.size ||
        now.modified.tv_sec != info_.modified.tv_sec ||
        now.modified.tv_nsec != info_.modified.tv_nsec) {
      reason = "'" + target_ + "' was changed by another program during the write";
      return false;
    }
    return true;
  };
  return replacement.Commit(keep, error);
}
