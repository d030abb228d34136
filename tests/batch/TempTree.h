#pragma once

#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QSet>
#include <QString>
#include <QTemporaryDir>
#include <cerrno>
#include <filesystem>
#include <functional>

#include "platform/FileSystem.h"
#include "platform/PosixFileSystem.h"

/// A folder tree on disk for one test, removed afterwards. Paths are given relative to its root.
class TempTree {
 public:
  TempTree() = default;
  // Names that are not valid text cannot be removed through Qt.
  ~TempTree() {
    std::error_code ignored;
    std::filesystem::remove_all(QFile::encodeName(Root()).toStdString(), ignored);
  }
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;

  /// The root, without a trailing separator.
  QString Root() const { return dir_.path(); }
  QString PathOf(const QString& relative) const { return Root() + u'/' + relative; }

  /// A small file; its folders are made as needed.
  QString File(const QString& relative) const {
    const QString path = PathOf(relative);
    QDir().mkpath(path.left(path.lastIndexOf(u'/')));
    QFile f(path);
    if (f.open(QIODevice::WriteOnly)) f.write("x");
    return path;
  }
  QString Folder(const QString& relative) const {
    const QString path = PathOf(relative);
    QDir().mkpath(path);
    return path;
  }
  /// A symbolic link at relative pointing to target (an absolute path).
  void Link(const QString& target, const QString& relative) const {
    const QString path = PathOf(relative);
    QDir().mkpath(path.left(path.lastIndexOf(u'/')));
    ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(path).constData());
  }
  void Chmod(const QString& relative, mode_t mode) const {
    ::chmod(QFile::encodeName(PathOf(relative)).constData(), mode);
  }

 private:
  QTemporaryDir dir_;
};

/// The real file system, with listings that can be made to fail as a folder that may not be
/// read or a broken disk would; the tests run as root, where permission bits do not stop reads.
class FailingFileSystem : public PosixFileSystem {
 public:
  std::vector<DirectoryEntry> List(const QString& folder) const override {
    Check(folder);
    return PosixFileSystem::List(folder);
  }
  std::vector<DirectoryEntry> ListFolders(const QString& folder) const override {
    Check(folder);
    return PosixFileSystem::ListFolders(folder);
  }
  std::vector<DirectoryEntry> ListFiles(
      const QString& folder, const std::function<bool(const QString&)>& wanted) const override {
    Check(folder);
    return PosixFileSystem::ListFiles(folder, wanted);
  }
  FileListing ListFileNames(const QString& folder,
                            const std::function<bool(const QString&)>& wanted) const override {
    Check(folder);
    return PosixFileSystem::ListFileNames(folder, wanted);
  }
  FolderContents ListContents(const QString& folder,
                              const std::function<bool(const QString&)>& wanted) const override {
    Check(folder);
    return PosixFileSystem::ListContents(folder, wanted);
  }
  std::optional<int> Attributes(const QString& path) const noexcept override {
    if (flaky.contains(path) && ++attribute_reads[path] > 1) return std::nullopt;
    return PosixFileSystem::Attributes(path);
  }

  QSet<QString> denied;  ///< folders (no trailing separator) whose listing is refused
  QSet<QString> broken;  ///< folders whose listing fails in some other way
  QSet<QString> flaky;   ///< paths whose attributes can be read once only
  mutable QMap<QString, int> attribute_reads;
  mutable int list_calls = 0;
  mutable QStringList listed;

 private:
  void Check(const QString& folder) const {
    ++list_calls;
    QString f = folder;
    while (f.size() > 1 && f.endsWith(u'/')) f.chop(1);
    listed.append(f);
    if (denied.contains(f)) throw FolderNotListable("Permission denied", EACCES);
    if (broken.contains(f)) throw StepFailure("Device I/O error");
  }
};
