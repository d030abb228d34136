#include "tag/TagFileSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int64_t kChunk = 1 << 20;

std::string Reason(const std::string& what, const std::string& path) {
  return what + " '" + path + "': " + std::strerror(errno);
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

 private:
  int fd_;
  std::string path_;
};

class PosixTarget : public TagFileSystem::Target {
 public:
  PosixTarget(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~PosixTarget() override {
    if (fd_ >= 0) ::close(fd_);
  }
  const std::string& Path() const override { return path_; }

  bool Write(std::string_view bytes, std::string& error) override {
    while (!bytes.empty()) {
      const ssize_t put = ::write(fd_, bytes.data(), bytes.size());
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) {
        error = Reason("cannot write", path_);
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
          error = Reason("cannot write", path_);
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
      error = Reason("cannot inspect", path_);
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
      error = Reason("cannot set the permissions of", path_);
      return false;
    }
    return true;
  }

  bool SetTimes(const timespec& accessed, const timespec& modified, std::string& error) override {
    const timespec times[2] = {accessed, modified};
    if (::futimens(fd_, times) != 0) {
      error = Reason("cannot set the times of", path_);
      return false;
    }
    return true;
  }

  bool Flush(std::string& error) override {
    if (::fsync(fd_) != 0) {
      error = Reason("cannot flush", path_);
      return false;
    }
    return true;
  }

  bool Close(std::string& error) override {
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
      error = Reason("cannot close", path_);
      return false;
    }
    return true;
  }

 private:
  int fd_;
  std::string path_;
};

class PosixFileSystem : public TagFileSystem {
 public:
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
    std::string name = folder + "/." + base + ".tagloom-XXXXXX";
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
      error = Reason("cannot create a new file in", folder);
      return nullptr;
    }
    ::fchmod(fd, mode & 0777 & ~0022);  // never wider than the final mode while it is built
    return std::make_unique<PosixTarget>(fd, name);
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
};

}  // namespace

std::shared_ptr<TagFileSystem> TagFileSystem::Posix() {
  static const auto posix = std::make_shared<PosixFileSystem>();
  return posix;
}

bool FileRewrite::Open(const std::string& path, std::string& error) {
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
  source_ = fs_->OpenSource(target_, error);
  return source_ != nullptr;
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
  const std::string temporary = target->Path();
  bool ok = true;
  for (const Piece& piece : pieces) {
    if (!ok) break;
    ok = piece.count > 0 ? target->CopyFrom(*source_, piece.offset, piece.count, error)
                         : target->Write(piece.bytes, error);
  }
  ok = ok && target->SetOwnerAndMode(info_, error) &&
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
  ok = ok && fs_->Rename(temporary, target_, error);
  if (!ok) fs_->Remove(temporary);
  return ok;
}
