#include "platform/PosixFileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>

#include "platform/FileNames.h"
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
    if (path.isEmpty() || ::lstat(FileNames::ToBytes(path).constData(), &st) != 0)
      return std::nullopt;
    // A link to a folder is walked like the folder it names, as a junction is.
    if (S_ISLNK(st.st_mode)) {
      struct stat target {};
      int bits = AttributesOf(st, NameOf(path));
      if (::stat(FileNames::ToBytes(path).constData(), &target) == 0 && S_ISDIR(target.st_mode))
        bits |= FileAttribute::kDirectory;
      return bits;
    }
    return AttributesOf(st, NameOf(path));
  } catch (...) {
    return std::nullopt;
  }
}

namespace {

enum class Pick { All, Folders, Files };

void AddEntry(int dir_fd, const char* raw_name, unsigned char type, Pick pick,
              const std::function<bool(const QString&)>& wanted,
              std::vector<DirectoryEntry>& entries) {
  if (raw_name[0] == '.' && (raw_name[1] == 0 || (raw_name[1] == '.' && raw_name[2] == 0))) return;
  if (pick == Pick::Files && type == DT_DIR) return;
  if (pick == Pick::Folders && type != DT_DIR && type != DT_LNK && type != DT_UNKNOWN) return;
  const QString name = FileNames::ToText(raw_name);
  if (pick == Pick::Files && wanted && !wanted(name)) return;
  if (pick == Pick::Files && type == DT_REG && raw_name[0] != '.') {
    // A plain file is present by being listed; its read-only bit is the only thing a look
    // would add, and that bit decides nothing for a file that is not hidden.
    entries.push_back({name, FileAttribute::kArchive});
    return;
  }
  struct stat st {};
  // An entry that vanished meanwhile is left out rather than shown without attributes.
  if (::fstatat(dir_fd, raw_name, &st, AT_SYMLINK_NOFOLLOW) != 0) return;
  int bits = AttributesOf(st, name);
  bool leads_somewhere = true;
  if (S_ISLNK(st.st_mode)) {
    struct stat target {};
    leads_somewhere = ::fstatat(dir_fd, raw_name, &target, 0) == 0;
    if (leads_somewhere && S_ISDIR(target.st_mode)) bits |= FileAttribute::kDirectory;
  }
  const bool is_folder = (bits & FileAttribute::kDirectory) != 0;
  if (pick == Pick::Folders && !is_folder) return;
  if (pick == Pick::Files && (is_folder || !leads_somewhere)) return;
  entries.push_back({name, bits});
}

// One pass over a folder. Entries the caller cannot want are passed over on the strength of the
// listing's own type field and name, without examining them, which is what keeps a scan of
// many thousands of files close to the cost of reading the folders.
std::vector<DirectoryEntry> ListEntries(const QString& folder, Pick pick,
                                        const std::function<bool(const QString&)>& wanted) {
  const QByteArray native = FileNames::ToBytes(folder);
  // Read with getdents64 into one buffer of our own: opendir would also look up the folder's
  // block size, one more call for each of thousands of folders.
  const int dir_fd = ::open(native.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir_fd < 0) {
    const int error = errno;
    const std::string detail = FileNames::ToStdBytes(folder) + " (" + std::strerror(error) + ")";
    if (error == EACCES || error == EPERM)
      throw FolderNotListable("Permission denied: " + detail, error);
    if (error == ENOENT || error == ENOTDIR)
      throw FolderNotListable("Path not found: " + detail, error);
    throw StepFailure("Path/File access error: " + detail);
  }
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{dir_fd};
  alignas(8) char buffer[32768];
  std::vector<DirectoryEntry> entries;
  for (;;) {
    const long got = ::syscall(SYS_getdents64, dir_fd, buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      throw StepFailure("Path/File access error: " + FileNames::ToStdBytes(folder) + " (" +
                        std::strerror(errno) + ")");
    }
    if (got == 0) break;
    for (long at = 0; at < got;) {
      const auto* e = reinterpret_cast<const struct dirent64*>(buffer + at);
      at += e->d_reclen;
      AddEntry(dir_fd, e->d_name, e->d_type, pick, wanted, entries);
    }
  }
  std::sort(entries.begin(), entries.end(), [](const DirectoryEntry& a, const DirectoryEntry& b) {
    const int c = a.name.compare(b.name, Qt::CaseInsensitive);
    return c != 0 ? c < 0 : a.name < b.name;
  });
  return entries;
}

}  // namespace

std::vector<DirectoryEntry> PosixFileSystem::List(const QString& folder) const {
  return ListEntries(folder, Pick::All, {});
}

std::vector<DirectoryEntry> PosixFileSystem::ListFolders(const QString& folder) const {
  return ListEntries(folder, Pick::Folders, {});
}

std::vector<DirectoryEntry> PosixFileSystem::ListFiles(
    const QString& folder, const std::function<bool(const QString& name)>& wanted) const {
  return ListEntries(folder, Pick::Files, wanted);
}

bool PosixFileSystem::FileIsPresent(const QString& path) const noexcept {
  try {
    // Opening for attribute access only needs the path to lead to the file, which is exactly
    // what a stat finds out; the folder scan asks this for every file, so one call it is.
    struct stat st {};
    return !path.isEmpty() && ::stat(FileNames::ToBytes(path).constData(), &st) == 0 &&
           !S_ISDIR(st.st_mode);
  } catch (...) {
    return false;
  }
}

bool PosixFileSystem::FileHasDate(const QString& path) const noexcept {
  try {
    struct stat st {};
    return !path.isEmpty() && ::stat(FileNames::ToBytes(path).constData(), &st) == 0;
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
    if (::stat(FileNames::ToBytes(trimmed).constData(), &st) != 0 || !S_ISDIR(st.st_mode))
      return false;
    if (::stat(FileNames::ToBytes(trimmed + QStringLiteral("/..")).constData(), &parent) != 0)
      return false;
    // The root, or a mount point: its parent lives on another device or is itself.
    return st.st_dev != parent.st_dev || st.st_ino == parent.st_ino;
  } catch (...) {
    return false;
  }
}

std::optional<FolderIdentity> PosixFileSystem::Identity(const QString& path) const noexcept {
  try {
    struct stat st {};
    if (path.isEmpty() || ::stat(FileNames::ToBytes(path).constData(), &st) != 0)
      return std::nullopt;
    return FolderIdentity{static_cast<std::uint64_t>(st.st_dev),
                          static_cast<std::uint64_t>(st.st_ino)};
  } catch (...) {
    return std::nullopt;
  }
}
