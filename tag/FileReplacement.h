#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "tag/TagFileSystem.h"

/// The one way a file is replaced, for the tag writer, the text exports and the workbook alike:
/// a new file made beside the target, filled by the caller, given what it keeps of the old file,
/// brought to the disk and renamed over the target in one step. Whatever fails before the rename
/// removes the new file and leaves the target as it was.
class FileReplacement {
 public:
  /// What the new file takes over from the old one before it is put in place.
  struct Keep {
    /// The old file's owner, group and mode; unset, the new file keeps the mode it was made with.
    const TagFileSystem::FileInfo* owner_and_mode = nullptr;
    /// Where the extended attributes come from; unset, none are copied.
    TagFileSystem::Source* attributes = nullptr;
    /// The access and modification times of owner_and_mode as well.
    bool times = false;
    /// Asked once the new file is complete, just before the rename: false, with a reason in its
    /// argument, leaves the target as it is.
    std::function<bool(std::string& error)> still_wanted;
  };

  /// `target` is the file to replace, links already followed.
  FileReplacement(std::shared_ptr<TagFileSystem> files, std::string target)
      : files_(std::move(files)), target_(std::move(target)) {}
  /// Removes the new file unless Commit put it in place.
  ~FileReplacement() { Abandon(); }
  FileReplacement(const FileReplacement&) = delete;
  FileReplacement& operator=(const FileReplacement&) = delete;

  /// Makes the new file beside the target with the permission bits `mode`.
  bool Create(uint32_t mode, std::string& error);
  /// The new file, once Create succeeded and until Commit or Abandon.
  TagFileSystem::Target& New() { return *new_; }
  bool Open() const { return new_ != nullptr; }
  /// Gives the new file what `keep` names, brings it to the disk, closes it and renames it over
  /// the target; on any failure removes it.
  bool Commit(const Keep& keep, std::string& error);
  /// Removes the new file; the target stays. The system's error number is kept as it was.
  void Abandon() noexcept;

 private:
  std::shared_ptr<TagFileSystem> files_;
  std::string target_;
  std::unique_ptr<TagFileSystem::Target> new_;
};
