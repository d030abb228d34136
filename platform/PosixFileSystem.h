#pragma once

#include "platform/FileSystem.h"

/// The file-system probes over POSIX calls; attribute bits as FileAttribute documents them.
class PosixFileSystem : public FileSystem {
 public:
  std::optional<int> Attributes(const QString& path) const noexcept override;
  std::vector<DirectoryEntry> List(const QString& folder) const override;
  std::vector<DirectoryEntry> ListFolders(const QString& folder) const override;
  /// Present files are those whose path leads to something other than a folder, as
  /// FileIsPresent finds; a dangling link is not present. Plain files that are not hidden are
  /// taken from the listing alone, without their read-only bit.
  std::vector<DirectoryEntry> ListFiles(
      const QString& folder, const std::function<bool(const QString& name)>& wanted) const override;
  FileListing ListFileNames(const QString& folder,
                            const std::function<bool(const QString& name)>& wanted) const override;
  /// One reading of the folder, each subfolder looked at once for its bits and identity.
  FolderContents ListContents(
      const QString& folder, const std::function<bool(const QString& name)>& wanted) const override;
  bool FileIsPresent(const QString& path) const noexcept override;
  bool FileHasDate(const QString& path) const noexcept override;
  bool IsRootFolder(const QString& path) const noexcept override;
  std::optional<FolderIdentity> Identity(const QString& path) const noexcept override;
};
