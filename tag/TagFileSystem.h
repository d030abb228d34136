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
  };

  class Target {
   public:
    virtual ~Target() = default;
    virtual const std::string& Path() const = 0;
    virtual bool Write(std::string_view bytes, std::string& error) = 0;
    /// Appends `count` bytes of `source` from 0-based `offset`.
    virtual bool CopyFrom(Source& source, int64_t offset, int64_t count, std::string& error) = 0;
    virtual bool SetOwnerAndMode(const FileInfo& like, std::string& error) = 0;
    virtual bool SetTimes(const timespec& accessed, const timespec& modified,
                          std::string& error) = 0;
    /// Brings the content and the metadata to the disk.
    virtual bool Flush(std::string& error) = 0;
    virtual bool Close(std::string& error) = 0;
  };

  virtual ~TagFileSystem() = default;

  /// The file a path finally names, symbolic links followed.
  virtual bool Resolve(const std::string& path, std::string& target, std::string& error) = 0;
  virtual bool Stat(const std::string& path, FileInfo& info, std::string& error) = 0;
  /// Whether this process may change the file.
  virtual bool CheckWritable(const std::string& path, std::string& error) = 0;
  virtual std::unique_ptr<Source> OpenSource(const std::string& path, std::string& error) = 0;
  /// A new, empty file in the folder of `beside` under a unique hidden name that no folder scan
  /// for ".mp3" picks up; `mode` holds its permission bits.
  virtual std::unique_ptr<Target> CreateBeside(const std::string& beside, uint32_t mode,
                                               std::string& error) = 0;
  /// Replaces `to` with `from` in one step.
  virtual bool Rename(const std::string& from, const std::string& to, std::string& error) = 0;
  virtual void Remove(const std::string& path) = 0;

  /// The POSIX implementation every tag object starts with.
  static std::shared_ptr<TagFileSystem> Posix();
};

/// One replacement of a file's content: opened on the original, read from while the new content
/// is planned, then committed in one step. A failure before the final rename leaves the original
/// byte for byte as it was and removes the half-built file.
class FileRewrite {
 public:
  /// Text to write, or `count` bytes of the original from 0-based `offset`.
  struct Piece {
    std::string bytes;
    int64_t offset = 0;
    int64_t count = 0;
  };

  explicit FileRewrite(std::shared_ptr<TagFileSystem> fs) : fs_(std::move(fs)) {}

  /// Follows symbolic links to the file itself and refuses what a rename cannot replace
  /// faithfully: no regular file, read-only, or more than one hard link.
  bool Open(const std::string& path, std::string& error);
  int64_t Size() const { return info_.size; }
  /// The bytes of [offset, offset + count) that the file holds (0-based); false on a read error.
  bool Read(int64_t offset, int64_t count, std::string& out, std::string& error);
  /// Writes the pieces beside the original with its owner, mode and times, then renames.
  bool Commit(const std::vector<Piece>& pieces, std::string& error);

 private:
  std::shared_ptr<TagFileSystem> fs_;
  std::string target_;
  TagFileSystem::FileInfo info_;
  std::unique_ptr<TagFileSystem::Source> source_;
};
