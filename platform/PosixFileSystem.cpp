#include "platform/PosixFileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/StepFailure.h"

namespace {

QString NameOf(const QString& path) {
  QString trimmed = path;
  while (trimmed.size() > 1 && trimmed.endsWith(u'/')) trimmed.chop(1);
  return trimmed.mid(trimmed.lastIndexOf(u'/') + 1);
}

int AttributesOf(const struct stat& st, const QString& name) {
  int bits = 0;
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) bits |= FileAttribute::kReadOnly;
  if (name.startsWith(u'.') && name != QLatin1String(".") && name != QLatin1String(".."))
    bits |= FileAttribute::kHidden;
  if (S_ISDIR(st.st_mode)) bits |= FileAttribute::kDirectory;
  if (S_ISREG(st.st_mode)) bits |= FileAttribute::kArchive;
  if (S_ISLNK(st.st_mode)) bits |= FileAttribute::kReparsePoint;
  return bits;
}

}  // namespace

std::optional<int> PosixFileSystem::Attributes(const QString& path) const noexcept {
  try {
    struct stat st {};
    if (path.isEmpty() || ::lstat(QFile::encodeName(path).constData(), &st) != 0)
      return std::nullopt;
    // A link to a folder is walked like the folder it names, as a junction is.
    if (S_ISLNK(st.st_mode)) {
      struct stat target {};
      int bits = AttributesOf(st, NameOf(path));
      if (::stat(QFile::encodeName(path).constData(), &target) == 0 && S_ISDIR(target.st_mode))
        bits |= FileAttribute::kDirectory;
      return bits;
    }
    return AttributesOf(st, NameOf(path));
  } catch (...) {
    return std::nullopt;
  }
}

std::vector<DirectoryEntry> PosixFileSystem::List(const QString& folder) const {
  const QByteArray native = QFile::encodeName(folder);
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(native.constData()), &::closedir);
  if (!dir)
    throw StepFailure("Path not found: " + folder.toStdString() + " (" + std::strerror(errno) +
                      ")");
  QString base = folder;
  if (!base.endsWith(u'/')) base += u'/';
  std::vector<DirectoryEntry> entries;
  while (const dirent* e = ::readdir(dir.get())) {
    const QString name = QFile::decodeName(e->d_name);
    if (name == QLatin1String(".") || name == QLatin1String("..")) continue;
    // An entry that vanished meanwhile is left out rather than shown without attributes.
    if (const std::optional<int> bits = Attributes(base + name)) entries.push_back({name, *bits});
  }
  std::sort(entries.begin(), entries.end(), [](const DirectoryEntry& a, const DirectoryEntry& b) {
    const int c = a.name.compare(b.name, Qt::CaseInsensitive);
    return c != 0 ? c < 0 : a.name < b.name;
  });
  return entries;
}

bool PosixFileSystem::FileIsPresent(const QString& path) const noexcept {
  try {
    struct stat st {};
    const QByteArray native = QFile::encodeName(path);
    if (path.isEmpty() || ::stat(native.constData(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
    // Opening for attribute access only: no read right is needed, and nothing is created.
    const int fd = ::open(native.constData(), O_PATH | O_CLOEXEC);
    if (fd < 0) return false;
    ::close(fd);
    return true;
  } catch (...) {
    return false;
  }
}

bool PosixFileSystem::FileHasDate(const QString& path) const noexcept {
  try {
    struct stat st {};
    return !path.isEmpty() && ::stat(QFile::encodeName(path).constData(), &st) == 0;
  } catch (...) {
    return false;
  }
}

bool PosixFileSystem::IsRootFolder(const QString& path) const noexcept {
  try {
    struct stat st {
    }, parent{};
    QString trimmed = path;
    while (trimmed.size() > 1 && trimmed.endsWith(u'/')) trimmed.chop(1);
    if (::stat(QFile::encodeName(trimmed).constData(), &st) != 0 || !S_ISDIR(st.st_mode))
      return false;
    if (::stat(QFile::encodeName(trimmed + QStringLiteral("/..")).constData(), &parent) != 0)
      return false;
    // The root, or a mount point: its parent lives on another device or is itself.
    return st.st_dev != parent.st_dev || st.st_ino == parent.st_ino;
  } catch (...) {
    return false;
  }
}
