#pragma once

// What `extract` shares between its two roads: the result table that the window's exports write
// (text, clipboard, workbook, sorted rows, the shell's properties), and the rows of JSON Lines
// and CSV, written as the files are read.

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "batch/AddFolder.h"
#include "batch/ColumnCatalogue.h"
#include "batch/ResultSort.h"
#include "batch/RowFilter.h"
#include "legacy/IconvLegacyText.h"
#include "platform/EventLoop.h"
#include "tools/cli/CliArgs.h"

class FileSystem;
class ReportListModel;
class ReadIndex;

struct ExtractOptions {
  /// A path given on the command line, or a list of them (--files-from), in the order given.
  struct Input {
    std::string path;
    CliArgs::PathList* list = nullptr;
  };

  std::string ext = "mp3";
  std::string format = "text";
  std::string output;  // empty: standard output
  std::vector<Input> inputs;
  std::vector<std::unique_ptr<CliArgs::PathList>> lists;
  bool shell_properties = false;
  bool csv_safe = false;
  bool bom = false;
  bool header = true;
  int jobs = 0;  // 0: one per core
  QStringList columns = ColumnCatalogue::DefaultHeaders();
  std::optional<std::pair<QString, ResultSort::Direction>> sort;
  std::string legacy_text = std::string(LegacyText::kDefault);
  std::shared_ptr<LegacyTextDecoder> decoder;
  bool summary = false;
  /// Only the rows it keeps are written.
  std::optional<RowFilter> filter;
  std::string index_path;      // --index: empty reads every file
  ReadIndex* index = nullptr;  // opened from index_path; null when the run goes without

  /// Paths given, the lines of the lists included.
  size_t PathCount() const;
};

namespace ExtractParts {

/// One line on standard error. Texts that name files carry the names' own bytes.
void Say(std::string_view text);
/// Names the command that Say's lines start with ("extract" unless set).
void SetCommand(const char* name);

/// The files and folders that could not be read, each named once with the system's reason.
class Unread {
 public:
  void File(const QString& path, const std::string& why);
  void Folder(const QString& path, const std::string& why);
  void Tell(const std::string& text);
  int Count() const { return count_; }

 private:
  int count_ = 0;
};

/// The paths given, one at a time: the arguments and the lines of the lists, in order.
class Inputs {
 public:
  explicit Inputs(const ExtractOptions& options) : options_(options) {}
  /// The next path's bytes; false at the end, or when a list could not be read again (Failed).
  bool Next(std::string& path);
  /// The message for a list that failed on its second reading.
  const std::string& Problem() const { return problem_; }
  bool Failed() const { return !problem_.empty(); }

 private:
  const ExtractOptions& options_;
  size_t at_ = 0;
  std::string problem_;
};

/// An event loop with nothing to run: the command line has no window.
class NoEvents : public EventLoop {
 public:
  bool Yield() override { return false; }
};

/// The folders at and beneath `path` as "Add All MP3 File(s) In Folder" walks them, each ending
/// with the separator; folders it leaves out or cannot read are told. Their files for the
/// pattern, read in the same pass, wait in `listed`.
QStringList WalkFolder(const QString& path, const QString& pattern, const FileSystem& files,
                       EventLoop& events, Unread& unread, AddFolder::ListedFiles& listed);

/// The files the folder scan queues from one walked folder; a folder that cannot be listed is
/// told and gives none.
QStringList FolderFiles(const FileSystem& files, const QString& folder, const QString& pattern,
                        Unread& unread, AddFolder::ListedFiles& listed);
}  // namespace ExtractParts
