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

enum class Pick { All, Folders };

// The entry's attribute bits, and for a folder its identity; false when it vanished meanwhile
// (it is then left out rather than shown without attributes) or, as a link, leads nowhere and
// is no entry of `pick`.
bool Examine(int dir_fd, const char* raw_name, const QString& name, Pick pick, int& bits,
             std::optional<FolderIdentity>* identity, bool* dangling = nullptr) {
  struct stat st {};
  if (::fstatat(dir_fd, raw_name, &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
  bits = AttributesOf(st, name);
  bool leads_somewhere = true;
  if (S_ISLNK(st.st_mode)) {
    struct stat target {};
    leads_somewhere = ::fstatat(dir_fd, raw_name, &target, 0) == 0;
    if (leads_somewhere && S_ISDIR(target.st_mode)) {
      bits |= FileAttribute::kDirectory;
      if (identity) *identity = FolderIdentity{target.st_dev, target.st_ino};
    }
  } else if (identity && S_ISDIR(st.st_mode)) {
    *identity = FolderIdentity{st.st_dev, st.st_ino};
  }
  if (dangling) *dangling = !leads_somewhere;
  const bool is_folder = (bits & FileAttribute::kDirectory) != 0;
  if (pick == Pick::Folders && !is_folder) return false;
  return true;
}

// QString::compare ignoring case, with ASCII names (nearly all) told apart without Unicode's
// tables: up to the first unit past ASCII, folding A-Z is all that case folding does.
int CompareIgnoringCase(const QString& a, const QString& b) {
  const qsizetype common = std::min(a.size(), b.size());
  for (qsizetype i = 0; i < common; ++i) {
    char16_t x = a[i].unicode();
    char16_t y = b[i].unicode();
    if (x >= 0x80 || y >= 0x80) return a.compare(b, Qt::CaseInsensitive);
    if (x >= u'A' && x <= u'Z') x = static_cast<char16_t>(x + 32);
    if (y >= u'A' && y <= u'Z') y = static_cast<char16_t>(y + 32);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

bool NameOrder(const QString& a, const QString& b) {
  const int c = CompareIgnoringCase(a, b);
  return c != 0 ? c < 0 : a < b;
}

// Sorted by name ignoring case, as every listing is.
void SortByName(std::vector<DirectoryEntry>& entries) {
  std::sort(entries.begin(), entries.end(), [](const DirectoryEntry& a, const DirectoryEntry& b) {
    return NameOrder(a.name, b.name);
  });
}

bool IsDotOrDotDot(const char* raw_name) {
  return raw_name[0] == '.' && (raw_name[1] == 0 || (raw_name[1] == '.' && raw_name[2] == 0));
}

// Whether a file of this listing type and name could pass: a name is tested before anything
// else is looked at.
bool FileWanted(unsigned char type, const QString& name,
                const std::function<bool(const QString&)>& wanted) {
  return type != DT_DIR && (!wanted || wanted(name));
}

// A plain file is present by being listed; its read-only bit is the only thing a look would
// add, and that bit decides nothing for a file that is not hidden.
bool PlainVisibleFile(const char* raw_name, unsigned char type) {
  return type == DT_REG && raw_name[0] != '.';
}

// One reading of a folder with getdents64 into a buffer of our own (opendir would also look up
// the folder's block size, one more call for each of thousands of folders); `take` sees every
// entry but "." and "..", with the folder's descriptor for looking at it.
template <class Take>
void ReadFolder(const QString& folder, Take&& take) {
  const QByteArray native = FileNames::ToBytes(folder);
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
      if (!IsDotOrDotDot(e->d_name)) take(dir_fd, e->d_name, e->d_type);
    }
  }
}

// One pass over a folder. Entries the caller cannot want are passed over on the strength of the
// listing's own type field and name, without examining them, which is what keeps a scan of
// many thousands of files close to the cost of reading the folders.
std::vector<DirectoryEntry> ListEntries(const QString& folder, Pick pick) {
  std::vector<DirectoryEntry> entries;
  ReadFolder(folder, [&](int dir_fd, const char* raw_name, unsigned char type) {
    if (pick == Pick::Folders && type != DT_DIR && type != DT_LNK && type != DT_UNKNOWN) return;
    const QString name = FileNames::ToText(raw_name);
    int bits = 0;
    if (Examine(dir_fd, raw_name, name, pick, bits, nullptr)) entries.push_back({name, bits});
  });
  SortByName(entries);
  return entries;
}

// The files of one folder that pass `wanted`, kept as bytes: a name is made into text only for
// the test, and only the listing's bytes stay.
void AddFile(FileListing& files, int dir_fd, const char* raw_name, unsigned char type,
             const QString& name, bool* folder = nullptr) {
  if (PlainVisibleFile(raw_name, type)) {
    files.Add(raw_name, FileAttribute::kArchive);
    return;
  }
  int bits = 0;
  bool dangling = false;
  // Gone meanwhile: no file present.
  if (!Examine(dir_fd, raw_name, name, Pick::All, bits, nullptr, &dangling)) return;
  if (bits & FileAttribute::kDirectory) {
    if (folder) *folder = true;
  } else if (!dangling) {
    files.Add(raw_name, bits);
  }
}

}  // namespace

std::vector<DirectoryEntry> PosixFileSystem::List(const QString& folder) const {
  return ListEntries(folder, Pick::All);
}

std::vector<DirectoryEntry> PosixFileSystem::ListFolders(const QString& folder) const {
  return ListEntries(folder, Pick::Folders);
}

std::vector<DirectoryEntry> PosixFileSystem::ListFiles(
    const QString& folder, const std::function<bool(const QString& name)>& wanted) const {
  const FileListing listing = ListFileNames(folder, wanted);
  std::vector<DirectoryEntry> files;
  files.reserve(listing.Size());
  for (std::size_t i = 0; i < listing.Size(); ++i)
    files.push_back({FileNames::ToText(listing.Name(i)), listing.Attributes(i)});
  return files;
}

FileListing PosixFileSystem::ListFileNames(
    const QString& folder, const std::function<bool(const QString& name)>& wanted) const {
  FileListing files;
  ReadFolder(folder, [&](int dir_fd, const char* raw_name, unsigned char type) {
    if (type == DT_DIR) return;
    const QString name = FileNames::ToText(raw_name);
    if (FileWanted(type, name, wanted)) AddFile(files, dir_fd, raw_name, type, name);
  });
  files.SortByName();
  files.Trim();
  return files;
}

FolderContents PosixFileSystem::ListContents(
    const QString& folder, const std::function<bool(const QString& name)>& wanted) const {
  // The folders with their identities, and the files, from one reading; each folder is looked
  // at once, relative to the open folder, for its bits and its identity alike.
  struct Folder {
    DirectoryEntry entry;
    std::optional<FolderIdentity> identity;
  };
  std::vector<Folder> folders;
  FolderContents contents;
  ReadFolder(folder, [&](int dir_fd, const char* raw_name, unsigned char type) {
    const bool maybe_folder = type == DT_DIR || type == DT_LNK || type == DT_UNKNOWN;
    const bool maybe_file = wanted && type != DT_DIR;
    if (!maybe_folder && !maybe_file) return;
    const QString name = FileNames::ToText(raw_name);
    if (maybe_file && FileWanted(type, name, wanted)) {
      bool is_folder = false;
      AddFile(contents.files, dir_fd, raw_name, type, name, &is_folder);
      if (!is_folder) return;
    }
    if (!maybe_folder) return;
    int bits = 0;
    std::optional<FolderIdentity> identity;
    // Gone meanwhile: neither a folder nor a file present.
    if (!Examine(dir_fd, raw_name, name, Pick::Folders, bits, &identity)) return;
    folders.push_back({{name, bits}, identity});
  });
  std::sort(folders.begin(), folders.end(),
            [](const Folder& a, const Folder& b) { return NameOrder(a.entry.name, b.entry.name); });
  for (Folder& f : folders) {
    contents.folders.push_back(std::move(f.entry));
    contents.identities.push_back(f.identity);
  }
  contents.files.SortByName();
  contents.files.Trim();
  return contents;
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
