#pragma once

#include <QMap>
#include <QSet>
#include <QString>

#include "platform/FileSystem.h"

/// A file tree in memory, with "/" paths. Folders are made on demand for every parent of an
/// added path; a folder can be made unreadable, and a file unopenable.
class FakeFileSystem : public FileSystem {
 public:
  FakeFileSystem();

  /// Adds a file with the given attributes (default: a plain archive file).
  void AddFile(const QString& path, int attributes = FileAttribute::kArchive);
  /// Adds a folder; the directory bit is always set.
  void AddFolder(const QString& path, int attributes = FileAttribute::kDirectory);
  /// Listing the folder fails from now on.
  void MakeUnreadable(const QString& folder) { unreadable_.insert(Normal(folder)); }
  /// The file exists but cannot be opened, as when it is locked.
  void MakeUnopenable(const QString& path) { unopenable_.insert(Normal(path)); }
  /// Marks a folder as the root of a file system (a mount point).
  void MakeRoot(const QString& folder) { roots_.insert(Normal(folder)); }

  std::optional<int> Attributes(const QString& path) const noexcept override;
  std::vector<DirectoryEntry> List(const QString& folder) const override;
  bool FileIsPresent(const QString& path) const noexcept override;
  bool FileHasDate(const QString& path) const noexcept override;
  bool IsRootFolder(const QString& path) const noexcept override;

  /// How many times List ran, to see that a walk looks at each folder once.
  mutable int list_calls = 0;

 private:
  static QString Normal(const QString& path);
  static QString Parent(const QString& path);

  QMap<QString, int> nodes_;  // normalised path -> attributes
  QSet<QString> unreadable_;
  QSet<QString> unopenable_;
  QSet<QString> roots_;
};
