#pragma once

// What `extract` shares between its outputs: the rows of the row reader, written as JSON Lines
// or CSV as they are read, or kept in the result table that the window's exports write (text,
// clipboard, workbook, sorted rows, the folders' totals); the shell's properties.

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "batch/ColumnCatalogue.h"
#include "batch/ResultSort.h"
#include "batch/RowFilter.h"
#include "batch/RowReader.h"
#include "legacy/IconvLegacyText.h"
#include "platform/EventLoop.h"
#include "platform/formats/OtherFormatReader.h"
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
  bool ext_given = false;
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
  /// Every audio format through this reader (--formats all); none reads MP3 alone.
  std::shared_ptr<const OtherFormatReader> other;

  /// Paths given, the lines of the lists included.
  size_t PathCount() const;
};

namespace ExtractParts {

/// One line on standard error. Texts that name files carry the names' own bytes.
void Say(std::string_view text);
/// Names the command that Say's lines start with ("extract" unless set).
void SetCommand(const char* name);

/// The files and folders that could not be read, each named once with the system's reason.
class Unread : public RowReader::Teller {
 public:
  void NotRead(const std::string& text) override { Tell(text); }
  void LeftOut(const std::string& text) override { Say(text); }
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

/// How the row reader reads for these options: their columns, decoder and jobs, folders walked
/// for their extension, and the folders' totals when a summary is asked for.
RowReader::Options RowsOf(const ExtractOptions& options);

}  // namespace ExtractParts
