#pragma once

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The file layer of the tag writer and remover. A rewrite builds the whole new file beside the
// original and renames it over it, so a failure at any step leaves the original untouched.
// Every call answers false with a reason for people in `error`; none throws.
class TagFileSystem {
 public:
  struct FileInfo {
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t size = 0;
    uint32_t mode = 0;  // permission bits, setuid, setgid and sticky included
    uint32_t owner = 0;
    uint32_t group = 0;
    uint64_t links = 0;
    bool regular = false;
    timespec accessed{};
    timespec modified{};
  };

  class Source {
   public:
    virtual ~Source() = default;
    /// Reads exactly `count` bytes at 0-based `offset` into `out`; false when the file holds fewer.
    virtual bool ReadAt(int64_t offset, int64_t count, std::string& out, std::string& error) = 0;
    /// The open file itself, whatever its path names by now.
    virtual bool Stat(FileInfo& info, std::string& error) = 0;
    /// Waits for the exclusive lock every writer of the file holds until it has replaced it;
    /// gives up with a reason when another writer keeps it too long.
    virtual bool Lock(std::string& error) = 0;
  };

  class Target {
   public:
    virtual ~Target() = default;
    /// Empty while the new file has no name yet.
    virtual const std::string& Path() const = 0;
    virtual bool Write(std::string_view bytes, std::string& error) = 0;
    /// Appends `count` bytes of `source` from 0-based `offset`.
    virtual bool CopyFrom(Source& source, int64_t offset, int64_t count, std::string& error) = 0;
    virtual bool SetOwnerAndMode(const FileInfo& like, std::string& error) = 0;
    /// Copies the extended attributes of `from`: a user attribute or the access ACL that cannot
    /// be carried over is an error; attributes the system keeps for itself go as it lets them.
    virtual bool CopyAttributes(Source& from, std::string& error) = 0;
    virtual bool SetTimes(const timespec& accessed, const timespec& modified,
                          std::string& error) = 0;
    /// Brings the content and the metadata to the disk.
    virtual bool Flush(std::string& error) = 0;
    /// Closes the file, giving it its hidden name first if it has none. The file stays marked as
    /// in use until the object goes, so no other writer takes it for a leftover.
    virtual bool Close(std::string& error) = 0;
  };

  virtual ~TagFileSystem() = default;

  /// The file a path finally names, symbolic links followed.
  virtual bool Resolve(const std::string& path, std::string& target, std::string& error) = 0;
  virtual bool Stat(const std::string& path, FileInfo& info, std::string& error) = 0;
  /// Whether this process may change the file.
  virtual bool CheckWritable(const std::string& path, std::string& error) = 0;
  virtual std::unique_ptr<Source> OpenSource(const std::string& path, std::string& error) = 0;
  /// A new, empty file in the folder of `beside`, without a name where the file system allows
  /// it, else under a unique hidden name that no folder scan for ".mp3" picks up; `mode` holds
  /// its permission bits. Leftovers of writers that died in that folder are removed first.
  virtual std::unique_ptr<Target> CreateBeside(const std::string& beside, uint32_t mode,
                                               std::string& error) = 0;
  /// Replaces `to` with `from` in one step.
  virtual bool Rename(const std::string& from, const std::string& to, std::string& error) = 0;
  virtual void Remove(const std::string& path) = 0;

  /// The POSIX implementation every tag object starts with.
  static std::shared_ptr<TagFileSystem> Posix();
  /// The same, but a new file has its hidden name from the start, as where the file system
  /// cannot make unnamed files.
  static std::shared_ptr<TagFileSystem> PosixNamedOnly();

  /// Removes the named new files of rewrites under way in this process. Safe in a signal handler.
  static void RemovePendingFiles() noexcept;
  /// Makes SIGINT, SIGTERM and SIGHUP remove them before the process ends as the signal would
  /// have ended it. A signal the process ignores stays ignored.
  static void RemovePendingFilesOnSignals() noexcept;
};

/// The lock writers hold on a file from reading it to replacing it. A program that reads a file's
/// tags, changes some and writes them back takes it before the read, so that no other writer's
/// change falls between its read and its write; a rewrite in the same process works under it.
class WriteLock {
 public:
  WriteLock() = default;
  ~WriteLock();
  WriteLock(const WriteLock&) = delete;
  WriteLock& operator=(const WriteLock&) = delete;

  /// Waits for the lock of the file `path` names; once granted, makes sure the path still names
  /// that file (another writer may have replaced it meanwhile) and starts again if not.
  bool Acquire(const std::string& path, std::string& error);
  /// Whether this process holds the lock of the file through a WriteLock.
  static bool HeldHere(uint64_t device, uint64_t inode);

 private:
  int fd_ = -1;
  uint64_t device_ = 0;
  uint64_t inode_ = 0;
};

/// One replacement of a file's content: opened on the original, read from while the new content
/// is planned, then committed in one step. A failure before the final rename leaves the original
/// byte for byte as it was and removes the half-built file.
class FileRewrite {
 public:
  /// Text to write, `count` bytes of the original from 0-based `offset`, or `zeros` NUL bytes.
  struct Piece {
    std::string bytes;
    int64_t offset = 0;
    int64_t count = 0;
    int64_t zeros = 0;
    int64_t Size() const { return count > 0 ? count : zeros > 0 ? zeros : int64_t(bytes.size()); }
  };

  explicit FileRewrite(std::shared_ptr<TagFileSystem> fs) : fs_(std::move(fs)) {}

  /// Follows symbolic links to the file itself and refuses what a rename cannot replace
  /// faithfully: no regular file, read-only, or more than one hard link. Holds the writers' lock
  /// of the file from here until the object goes, unless this process holds it already.
  bool Open(const std::string& path, std::string& error);
  int64_t Size() const { return info_.size; }
  /// The bytes of [offset, offset + count) that the file holds (0-based); false on a read error.
  bool Read(int64_t offset, int64_t count, std::string& out, std::string& error);
  /// Writes the pieces beside the original with its owner, mode, extended attributes and
  /// times, then renames.
  bool Commit(const std::vector<Piece>& pieces, std::string& error);

 private:
  bool Inspect(const std::string& path, std::string& error);

  std::shared_ptr<TagFileSystem> fs_;
  std::string target_;
  TagFileSystem::FileInfo info_;
  std::unique_ptr<TagFileSystem::Source> source_;
};
