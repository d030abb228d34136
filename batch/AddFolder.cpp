#include "batch/AddFolder.h"

#include <cerrno>
#include <cstring>
#include <set>

#include "core/Locations.h"
#include "core/Main.h"
#include "platform/EventLoop.h"
#include "platform/FileNames.h"
#include "platform/FileSystem.h"
#include "platform/StepFailure.h"
#include "platform/Ui.h"

namespace AddFolder {

namespace {

// Folders with exactly these attribute values (system, hidden and directory, perhaps a link)
// are the platform's own and are neither walked nor added, unless they are a root.
constexpr int kSystemFolder =
    FileAttribute::kDirectory | FileAttribute::kSystem | FileAttribute::kHidden;
constexpr int kSystemFolderLink = kSystemFolder | FileAttribute::kReparsePoint;

bool IsSystemFolder(int attributes) {
  return attributes == kSystemFolder || attributes == kSystemFolderLink;
}

qsizetype EncodedLength(const QString& text) {
  return static_cast<qsizetype>(FileNames::ToStdBytes(text).size());
}

bool SameLetter(char16_t a, char16_t b) {
  return a == b || QChar::toCaseFolded(a) == QChar::toCaseFolded(b);
}

bool Matches(QStringView name, QStringView pattern) {
  // Greedy match that backtracks only to the last star: linear for the usual "*.ext".
  qsizetype n = 0, p = 0, star = -1, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == u'*') {
      star = p++;
      resume = n;
    } else if (p < pattern.size() &&
               (pattern[p] == u'?' || SameLetter(name[n].unicode(), pattern[p].unicode()))) {
      ++n;
      ++p;
    } else if (star >= 0) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  return p == pattern.size();
}

// One call of the walk over one collection, recursing level by level; the set of folders
// already in the walk is shared by every level, so a link back up the tree ends the descent.
class Walker {
 public:
  explicit Walker(const Walk& walk) : walk_(walk) {}

  void Seed(const QStringList& folders) {
    for (const QString& folder : folders)
      if (const auto id = walk_.files.Identity(folder)) seen_.insert(*id);
  }

  // `known` holds, beside each folder, its bits as its parent's listing gave them (-1: unknown,
  // a folder given to the walk); the two lists change together.
  bool Run(QStringList& folders, std::vector<int>& known, bool recurse) {
    QStringList found;
    std::vector<int> found_known;
    bool listing_reached = false;
    std::set<int> reported;
    const auto report = [&](int step, const QString& description) {
      if (walk_.report && reported.insert(step).second)
        walk_.report(loc::kGetSubDirectories2016, step, description);
    };

    qsizetype i = 0;
    while (i < folders.size()) {
      const QString v = folders[i];
      // A folder found by the walk was looked at as its parent was read; a given one is now.
      const std::optional<int> bits = known[static_cast<size_t>(i)] >= 0
                                          ? std::optional<int>(known[static_cast<size_t>(i)])
                                          : std::nullopt;
      const bool is_folder =
          bits ? (*bits & FileAttribute::kDirectory) != 0 : Main::IsFolder(walk_.files, v);
      if (!is_folder || EncodedLength(v) >= kPathLimitBytes) {
        ++i;
        continue;
      }
      const std::optional<int> attributes = bits ? bits : walk_.files.Attributes(v);
      if (!attributes) {
        // Gone since the folder test.
        if (listing_reached) {
          Dropped(v, ENOENT, QString::fromUtf8(std::strerror(ENOENT)));
          folders.removeAt(i);
          known.erase(known.begin() + i);
        } else {
          report(112, QStringLiteral("Path not found"));
          ++i;
        }
        continue;
      }
      if (walk_.events.Yield()) return false;
      // The root test costs two look-ups, so it comes second.
      if (IsSystemFolder(*attributes) && !walk_.files.IsRootFolder(v)) {
        ++i;
        continue;
      }

      listing_reached = true;
      FolderContents contents;
      try {
        contents = walk_.files.ListContents(v, walk_.wanted);
      } catch (const FolderNotListable& e) {
        Dropped(v, e.Error(),
                QString::fromUtf8(e.Error() != 0 ? std::strerror(e.Error()) : e.what()));
        // Removing in place keeps i on the folder that followed, so none is skipped or repeated.
        folders.removeAt(i);
        known.erase(known.begin() + i);
        continue;
      } catch (const std::exception&) {
        // The caller's own listing of this folder fails the same way and reports it there.
        ++i;
        continue;
      }
      // The files too come from this one reading, so the caller need not read the folder again.
      if (walk_.listed && walk_.wanted) (*walk_.listed)[v] = std::move(contents.files);
      for (size_t e = 0; e < contents.folders.size(); ++e) {
        const DirectoryEntry& entry = contents.folders[e];
        if (!(entry.attributes & FileAttribute::kDirectory)) continue;
        if (walk_.events.Yield()) return false;
        const QString& s = entry.name;
        if (s == QLatin1String(".") || s == QLatin1String("..")) continue;
        if (EncodedLength(s) > kNameLimitBytes) {
          Dropped(v + s, ENAMETOOLONG, QString::fromUtf8(std::strerror(ENAMETOOLONG)));
          continue;
        }
        if (HasUnusualCharacters(s) || s.contains(u'?')) {
          Dropped(v + s, 0, QStringLiteral("its name holds a control character or \"?\""));
          continue;
        }
        const QString sub = v + s;
        if (const auto& id = contents.identities[e]; id && !seen_.insert(*id).second) continue;
        found.append(sub + Main::kSeparator);
        found_known.push_back(entry.attributes);
      }
      ++i;
    }

    if (recurse && !found.isEmpty() && !Run(found, found_known, true)) return false;

    for (qsizetype f = 0; f < found.size(); ++f) {
      const QString& v = found[f];
      // One look answers both the folder test and the attribute test: the look of the listing.
      const int bits = found_known[static_cast<size_t>(f)];
      const std::optional<int> attributes =
          bits >= 0 ? std::optional<int>(bits) : walk_.files.Attributes(v);
      if (!attributes || !(*attributes & FileAttribute::kDirectory)) {
        const int error = attributes ? ENOTDIR : ENOENT;
        Dropped(v, error, QString::fromUtf8(std::strerror(error)));
        continue;
      }
      if (walk_.events.Yield()) return false;
      if (!IsSystemFolder(*attributes) || walk_.files.IsRootFolder(v)) {
        folders.append(v);
        known.push_back(*attributes);
      }
    }
    return true;
  }

 private:
  void Dropped(const QString& folder, int error, const QString& why) const {
    if (walk_.dropped) walk_.dropped(folder, error, why);
  }

  const Walk& walk_;
  std::set<FolderIdentity> seen_;
};

}  // namespace

QString BrowseForFolder(Ui& ui, const QString& title, const QString& initial) {
  QString chosen = ui.BrowseForFolder(title, initial);
  const qsizetype nul = chosen.indexOf(QChar(u'\0'));
  if (nul >= 0) chosen.truncate(nul);
  if (EncodedLength(chosen) >= kPathLimitBytes) return QString();
  return chosen;
}

bool GetSubDirectories2016(QStringList& folders, bool recurse, const Walk& walk) {
  Walker walker(walk);
  walker.Seed(folders);
  std::vector<int> known(static_cast<size_t>(folders.size()), -1);
  return walker.Run(folders, known, recurse);
}

std::vector<DirectoryEntry> ListFileEntriesInFolder(const FileSystem& files, const QString& folder,
                                                    const QString& pattern) {
  QString base = folder;
  if (!base.endsWith(Main::kSeparator)) base += Main::kSeparator;
  return files.ListFiles(base,
                         [&pattern](const QString& name) { return MatchesPattern(name, pattern); });
}

FileListing ListFileNamesInFolder(const FileSystem& files, const QString& folder,
                                  const QString& pattern) {
  QString base = folder;
  if (!base.endsWith(Main::kSeparator)) base += Main::kSeparator;
  return files.ListFileNames(
      base, [&pattern](const QString& name) { return MatchesPattern(name, pattern); });
}

QStringList ListFilesInFolder(const FileSystem& files, const QString& folder,
                              const QString& pattern) {
  QStringList names;
  for (const DirectoryEntry& entry : ListFileEntriesInFolder(files, folder, pattern))
    names.append(entry.name);
  return names;
}

bool FileIsPresent(const FileSystem& files, const QString& path) noexcept {
  return files.FileIsPresent(path);
}

bool HasUnusualCharacters(QStringView name) {
  for (qsizetype i = 0; i < name.size(); ++i) {
    const char16_t c = name[i].unicode();
    if (c < 32 || (c >= 127 && c <= 159) || c == u'?') return true;
    // Bytes that were not valid text decode to the replacement character or a lone surrogate,
    // and such a name cannot be turned back into the bytes that open the folder.
    if (c == 0xFFFD) return true;
    if (QChar::isHighSurrogate(c)) {
      if (i + 1 >= name.size() || !QChar::isLowSurrogate(name[i + 1].unicode())) return true;
      ++i;
    } else if (QChar::isLowSurrogate(c)) {
      return true;
    }
  }
  return false;
}

bool MatchesPattern(QStringView name, QStringView pattern) {
  // Several patterns stand apart by "/", which no file name holds.
  if (const qsizetype cut = pattern.indexOf(u'/'); cut >= 0)
    return MatchesPattern(name, pattern.left(cut)) || MatchesPattern(name, pattern.mid(cut + 1));
  // "*.*" takes names without a dot as well, as the old wildcard listing did.
  if (Matches(name, pattern)) return true;
  return pattern.endsWith(QLatin1String(".*")) && !name.contains(u'.') &&
         Matches(name, pattern.chopped(2));
}

}  // namespace AddFolder
