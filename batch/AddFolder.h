#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>
#include <functional>
#include <map>
#include <string_view>
#include <vector>

#include "platform/FileSystem.h"

class EventLoop;
class Ui;

/// Folder browsing and the breadth-first folder walk, shared by the folder scan, dropped
/// folders, the sample loader and the command line; nothing here needs a window.
namespace AddFolder {

/// Longest path and longest single name the platform accepts, in bytes of the file-name
/// encoding; longer ones are not walked.
inline constexpr qsizetype kPathLimitBytes = 4096;
inline constexpr qsizetype kNameLimitBytes = 255;

/// Shows a failed step: the walk's location text, the step number, the failure's text.
using ReportFailure =
    std::function<void(std::u16string_view location, int step, const QString& description)>;

/// A folder the walk leaves out: its path, the system's error number when it could not be read
/// (0 when a rule of the walk leaves it out), and why, for people.
using ReportDropped = std::function<void(const QString& folder, int error, const QString& why)>;

/// The files of the walked folders, by folder (as the collection holds it, with its trailing
/// separator), as ListFileNamesInFolder gives them.
using ListedFiles = std::map<QString, FileListing>;

/// What the walk works with: the file system, the event loop it lets run between folders, where
/// it reports failures (unset: failures go unreported) and who is told of the folders it leaves
/// out (unset: nobody). With `wanted` and `listed` set, the walk also keeps in `listed` the
/// files of each folder it lists whose name passes `wanted`, from the same reading of the folder.
struct Walk {
  const FileSystem& files;
  EventLoop& events;
  ReportFailure report;
  ReportDropped dropped = {};
  std::function<bool(const QString& name)> wanted = {};
  ListedFiles* listed = nullptr;
};

/// The folder browser opening on initial; the chosen folder, or empty text when cancelled.
QString BrowseForFolder(Ui& ui, const QString& title, const QString& initial);

/// Appends to folders, breadth first, the subfolders of every folder in it at every depth
/// (only the direct ones when recurse is false), each level in its parents' order and each
/// parent's subfolders sorted by name. A folder already in the walk (reached again through a
/// link) is not added twice; folders that are gone or may not be read are removed. Returns
/// false when the event loop says the program is closing; the walk then stops at once.
bool GetSubDirectories2016(QStringList& folders, bool recurse, const Walk& walk);

/// Bare names of the files (not folders) in folder matching the wildcard pattern ("*" any run,
/// "?" one character, letters in either case), hidden ones included, sorted by name, each one
/// present. Throws StepFailure when the folder cannot be listed.
QStringList ListFilesInFolder(const FileSystem& files, const QString& folder,
                              const QString& pattern);

/// ListFilesInFolder with each file's attribute bits as the listing found them.
std::vector<DirectoryEntry> ListFileEntriesInFolder(const FileSystem& files, const QString& folder,
                                                    const QString& pattern);

/// ListFileEntriesInFolder as one compact listing of the names' bytes, for folders of many files.
FileListing ListFileNamesInFolder(const FileSystem& files, const QString& folder,
                                  const QString& pattern);

/// True when path names an existing file, not a folder, that can be opened; false on any failure.
bool FileIsPresent(const FileSystem& files, const QString& path) noexcept;

/// True when a folder name holds a control character, a "?", or bytes that were not valid
/// text in the file-name encoding; such folders are not walked.
bool HasUnusualCharacters(QStringView name);

/// The listing's wildcard test: "*" matches any run, "?" one character, letters match in either
/// case, and a pattern ending in ".*" also matches names without a dot, so "*.*" takes every name.
bool MatchesPattern(QStringView name, QStringView pattern);

}  // namespace AddFolder
