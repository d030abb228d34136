#pragma once

#include "platform/FileSystem.h"

/// The file-system probes over POSIX calls; attribute bits as FileAttribute documents them.
class PosixFileSystem : public FileSystem {
 public:
  std::optional<int> Attributes(const QString& path) const noexcept override;
  std::vector<DirectoryEntry> List(const QString& folder) const override;
  bool FileIsPresent(const QString& path) const noexcept override;
  bool FileHasDate(const QString& path) const noexcept override;
  bool IsRootFolder(const QString& path) const noexcept override;
  std::optional<FolderIdentity> Identity(const QString& path) const noexcept override;
};
