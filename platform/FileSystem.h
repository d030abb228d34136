#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/FileListing.h"
#include "platform/FileNames.h"
#include "platform/StepFailure.h"

/// File attribute bits, as the folder walk and the file list test them.
namespace FileAttribute {
inline constexpr int kReadOnly = 1;         // mode has no write bit
inline constexpr int kHidden = 2;           // name starts with "."
inline constexpr int kSystem = 4;           // never set on POSIX
inline constexpr int kDirectory = 16;       // a folder
inline constexpr int kArchive = 32;         // a regular file
inline constexpr int kReparsePoint = 1024;  // a symbolic link
}  // namespace FileAttribute

/// One entry of a folder listing.
struct DirectoryEntry {
  QString name;    ///< bare name, no folder
  int attributes;  ///< FileAttribute bits
};

/// A folder that is gone or may not be read: the folder walk drops it and goes on.
class FolderNotListable : public StepFailure {
 public:
  explicit FolderNotListable(const std::string& what, int error = 0)
      : StepFailure(what), error_(error) {}
  /// The system's error number, 0 when unknown.
  int Error() const { return error_; }

 private:
  int error_;
};

/// What makes a folder the same folder under another path (a link): device and inode.
using FolderIdentity = std::pair<std::uint64_t, std::uint64_t>;

/// A folder read once for a walk that also wants its files: its subfolders as ListFolders gives
/// them, the identity of each (as Identity gives it) and its files as ListFileNames gives them.
struct FolderContents {
  std::vector<DirectoryEntry> folders;
  std::vector<std::optional<FolderIdentity>> identities;  ///< one per folder
  FileListing files;
};

/// The file-system probes of the folder walk, the file list and start-up. Probes answer
/// false or none on any failure and never throw; List throws, since the walk reports it.
class FileSystem {
 public:
  virtual ~FileSystem() = default;
  /// Attribute bits of the file or folder (a link's own bits, not its target's), or none when
  /// they cannot be read.
  virtual std::optional<int> Attributes(const QString& path) const noexcept = 0;
  /// The entries of a folder, files and folders, sorted by name ignoring case, without "." and
  /// "..". Throws FolderNotListable when the folder is missing or may not be read, StepFailure
  /// on other failures.
  virtual std::vector<DirectoryEntry> List(const QString& folder) const = 0;
  /// True when a file (not a folder) exists and can be opened.
  virtual bool FileIsPresent(const QString& path) const noexcept = 0;
  /// True when the last-modified time of the file or folder can be read.
  virtual bool FileHasDate(const QString& path) const noexcept = 0;
  /// True for the root of a file system ("/" or a mount point).
  virtual bool IsRootFolder(const QString& path) const noexcept = 0;
  /// The folders among List's entries (links to folders included), for walks that need no
  /// more; a file system may find them without examining every file.
  virtual std::vector<DirectoryEntry> ListFolders(const QString& folder) const {
    std::vector<DirectoryEntry> folders;
    for (DirectoryEntry& entry : List(folder))
      if (entry.attributes & FileAttribute::kDirectory) folders.push_back(std::move(entry));
    return folders;
  }
  /// The files (not folders) among List's entries whose name passes wanted and that are present
  /// as FileIsPresent tells; a file system may test the name before examining the file. The
  /// read-only bit may be missing on files that are not hidden: it is there for the test of
  /// "exactly archive and hidden", and a scan of many files should not look at each one.
  virtual std::vector<DirectoryEntry> ListFiles(
      const QString& folder, const std::function<bool(const QString& name)>& wanted) const {
    QString base = folder;
    if (!base.endsWith(u'/')) base += u'/';
    std::vector<DirectoryEntry> files;
    for (DirectoryEntry& entry : List(folder))
      if (!(entry.attributes & FileAttribute::kDirectory) && wanted(entry.name) &&
          FileIsPresent(base + entry.name))
        files.push_back(std::move(entry));
    return files;
  }
  /// ListFiles as one compact listing, for folders of many files: the same names in the same
  /// order, as bytes.
  virtual FileListing ListFileNames(const QString& folder,
                                    const std::function<bool(const QString& name)>& wanted) const {
    FileListing listing;
    for (const DirectoryEntry& entry : ListFiles(folder, wanted))
      listing.Add(FileNames::ToStdBytes(entry.name), entry.attributes);
    return listing;
  }
  /// ListFolders, the identity of every folder found, and, when `wanted` is set, ListFileNames: a
  /// file system may find them all in one reading of the folder. Throws as ListFolders.
  virtual FolderContents ListContents(
      const QString& folder, const std::function<bool(const QString& name)>& wanted) const {
    FolderContents contents;
    contents.folders = ListFolders(folder);
    QString base = folder;
    if (!base.endsWith(u'/')) base += u'/';
    for (const DirectoryEntry& entry : contents.folders)
      contents.identities.push_back(Identity(base + entry.name));
    if (wanted) contents.files = ListFileNames(folder, wanted);
    return contents;
  }
  /// The identity of the folder a path leads to (links followed), or none when unknown; the walk
  /// uses it to visit a folder reached twice, through a link, only once.
  virtual std::optional<FolderIdentity> Identity(const QString& path) const noexcept {
    (void)path;
    return std::nullopt;
  }
};
