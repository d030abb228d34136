// `extract --format json` and `--format csv`: rows written in list order as soon as they are
// read. The row reader's threads read the next files and make their lines; this thread writes
// them.
#include <sys/stat.h>
#include <unistd.h>

#include <QString>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "batch/ExtractionRun.h"
#include "batch/FolderTotals.h"
#include "batch/ResultSort.h"
#include "batch/RowReader.h"
#include "core/Main.h"
#include "export/TextLines.h"
#include "export/TextOutput.h"
#include "legacy/IconvLegacyText.h"
#include "platform/FileNames.h"
#include "platform/FileSystem.h"
#include "platform/PosixFileSystem.h"
#include "platform/ReportListModel.h"
#include "readindex/ReadIndex.h"
#include "tag/clsID3.h"
#include "tools/cli/Commands.h"
#include "tools/cli/extract/ExtractShown.h"
#include "tools/cli/extract/ExtractStream.h"
#include "tools/cli/extract/Outputs.h"

namespace ExtractStream {

using ExtractParts::Inputs;
using ExtractParts::RowsOf;
using ExtractParts::Say;
using ExtractParts::Unread;
using ExtractShown::KeepShownRows;
using ExtractShown::RunColumns;

namespace {

// Writes each row as a CSV or JSON line, on the reading thread: the same cells and the same
// bytes as the table's exports.
class LineShape : public RowReader::Shape {
 public:
  explicit LineShape(const ExtractOptions& options)
      : json_(options.format == "json"),
        csv_safe_(options.csv_safe),
        keys_(json_ ? TextLines::JsonKeys(options.columns) : std::vector<std::string>()),
        ready_key_(ReadyKeyOf(options)) {}

  void Make(std::span<const QStringView> cells, RowReader::Row& row,
            RowReader::Room& room) const override {
    std::string& line = row.line;
    line.reserve(room.line_size);
    if (json_) {
      TextLines::AppendJsonLineUtf8(line, keys_, cells);
    } else {
      TextLines::AppendCsvLineUtf8(line, cells, csv_safe_);
    }
    room.line_size = line.size();
  }

  std::string ReadyKey() const override { return ready_key_; }

 private:
  // A line is its file's cells in this format: the columns, the legacy text's code page, the
  // other formats' reader and, for the times shown, the local time zone.
  static std::string ReadyKeyOf(const ExtractOptions& options) {
    std::string key = "line 1\n" + options.format + (options.csv_safe ? " safe" : "") + '\n' +
                      options.legacy_text + '\n' + (options.other ? "other" : "mp3") + '\n';
    for (const QString& column : options.columns) (key += column.toStdString()) += '\x1f';
    key += '\n';
    for (const QString& column : RunColumns(options)) (key += column.toStdString()) += '\x1f';
    const char* zone = std::getenv("TZ");
    (key += '\n') += zone ? zone : "";
    std::string local(4096, '\0');
    const ssize_t size = ::readlink("/etc/localtime", local.data(), local.size());
    if (size > 0) (key += '\n') += local.substr(0, static_cast<size_t>(size));
    struct stat zones {};
    if (::stat("/etc/localtime", &zones) == 0)
      (key += '\n') += std::to_string(zones.st_mtim.tv_sec) + '.' +
                       std::to_string(zones.st_mtim.tv_nsec) + '.' + std::to_string(zones.st_ino);
    // Another build may make other cells of the same read: its program file tells it apart.
    struct stat program {};
    if (::stat("/proc/self/exe", &program) == 0)
      (key += "\nprogram ") +=
          std::to_string(program.st_size) + '.' + std::to_string(program.st_mtim.tv_sec) + '.' +
          std::to_string(program.st_mtim.tv_nsec) + '.' + std::to_string(program.st_ino);
    (key += "\nlayout ") += std::to_string(clsID3::kReadRecordLayout);
    return key;
  }

  bool json_;
  bool csv_safe_;
  std::vector<std::string> keys_;
  std::string ready_key_;
};

// A progress bar on standard error when that is a terminal, drawn at most every 100 ms: the
// share of the paths given that have their row, and the file last written.
class StreamProgress {
 public:
  explicit StreamProgress(size_t total) : shown_(::isatty(STDERR_FILENO) != 0), total_(total) {}
  ~StreamProgress() {
    if (drawn_) std::cerr << "\r\033[K" << std::flush;
  }
  StreamProgress(const StreamProgress&) = delete;
  StreamProgress& operator=(const StreamProgress&) = delete;

  bool Shown() const { return shown_; }
  void Row(const std::string& path) {
    ++done_;
    if (!shown_) return;
    const auto now = std::chrono::steady_clock::now();
    if (drawn_ && now - last_ < std::chrono::milliseconds(100)) return;
    last_ = now;
    drawn_ = true;
    constexpr size_t kCells = 30;
    const size_t filled = total_ == 0 ? 0 : std::min(kCells, done_ * kCells / total_);
    const QString name = Main::FileNameOfPath(FileNames::ToText(path));
    std::cerr << "\r\033[K[" << std::string(filled, '#') << std::string(kCells - filled, ' ')
              << "] " << (QStringLiteral("Processing: ") + name).left(60).toStdString()
              << std::flush;
  }

 private:
  const bool shown_;
  const size_t total_;
  size_t done_ = 0;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point last_;
};

// The output, or after its first failure nothing: the failure is kept to be told at the end.
class FallibleOutput : public TextOutput {
 public:
  explicit FallibleOutput(const std::string& path) {
    Try([&] { out_ = Outputs::Open(path); });
  }
  void Write(std::string_view bytes) override {
    if (out_) Try([&] { out_->Write(bytes); }, true);
  }
  void Commit() override {
    if (out_) Try([&] { out_->Commit(); });
  }
  bool Failed() const { return !problem_.empty(); }
  const std::string& Problem() const { return problem_; }

 private:
  // `stop`: a reader that has gone ends the run, since no row can reach anyone.
  template <class Action>
  void Try(Action&& action, bool stop = false) {
    try {
      action();
    } catch (const std::exception& e) {
      problem_ = e.what();
      out_.reset();
      if (stop && dynamic_cast<const Outputs::ReaderGone*>(&e)) throw;
    }
  }

  std::unique_ptr<TextOutput> out_;
  std::string problem_;
};

// The index forgets, at the end of the run, the files gone from a folder given; a file given
// says nothing of its neighbours.
RowReader::Options IndexedRowsOf(const ExtractOptions& options) {
  RowReader::Options rows = RowsOf(options);
  if (ReadIndex* index = options.index)
    rows.walking = [index](const std::string& folder) { index->Walked(folder); };
  return rows;
}

}  // namespace

bool ReadTable(const ExtractOptions& options, ReportListModel& results, Unread& unread) {
  ColumnCatalogue::AddColumns(results, RunColumns(options));
  Inputs inputs(options);
  RowReader::PackedShape shape;
  FolderTotals totals;
  std::vector<RowReader::Row> not_read;
  {
    StreamProgress progress(options.PathCount());
    PosixFileSystem files;
    RowReader reads(
        IndexedRowsOf(options), [&](std::string& path) { return inputs.Next(path); }, shape, files,
        unread);
    size_t count = 0;
    while (std::optional<RowReader::Row> row = reads.Next()) {
      progress.Row(row->path);
      // Long tables keep their long cells compressed, as the window's do.
      if (++count > ExtractionRun::kCompressFrom) shape.SetCompress(true);
      if (row->totals) totals.Add(FileNames::ToText(row->path), *row->totals);
      // A summary shows the totals alone.
      if (!options.summary) results.SetChecked(results.AppendRow(std::move(row->cells)), true);
      if (row->NotRead()) {
        row->cells = RowCells();
        not_read.push_back(std::move(*row));
      }
    }
  }
  if (inputs.Failed()) {
    Say(inputs.Problem());
    return false;
  }
  if (options.index) options.index->Finish();
  if (options.summary) totals.FillTable(results);
  KeepShownRows(options, results);
  if (options.sort)
    ResultSort::Sort(results, static_cast<int>(options.columns.indexOf(options.sort->first)) + 1,
                     options.sort->second);
  for (const RowReader::Row& row : not_read) unread.Tell(RowReader::NotReadText(row));
  return true;
}

int StreamRows(const ExtractOptions& options, Unread& unread) {
  // An output that cannot be opened or written is told last, after the files that could not be
  // read, as the table's exports tell it; the files are read all the same.
  FallibleOutput out(options.output);
  if (options.format == "csv") try {
      if (options.bom) out.Write("\xEF\xBB\xBF");
      if (options.header) {
        std::string header;
        const std::vector<QStringView> cells(options.columns.begin(), options.columns.end());
        TextLines::AppendCsvLineUtf8(header, cells, options.csv_safe);
        out.Write(header);
      }
    } catch (const std::exception& e) {
      Say(e.what());
      return Commands::kFailure;
    }
  Inputs inputs(options);
  const LineShape shape(options);
  StreamProgress progress(options.PathCount());
  std::vector<RowReader::Row> not_read;
  try {
    PosixFileSystem files;
    RowReader reads(
        IndexedRowsOf(options), [&](std::string& path) { return inputs.Next(path); }, shape, files,
        unread);
    while (std::optional<RowReader::Row> row = reads.Next()) {
      out.Write(row->line);
      progress.Row(row->path);
      if (row->NotRead()) not_read.push_back(std::move(*row));
    }
  } catch (const std::exception& e) {
    Say(e.what());
    return Commands::kFailure;
  }
  if (inputs.Failed()) {
    Say(inputs.Problem());
    return Commands::kFailure;
  }
  out.Commit();
  if (options.index) options.index->Finish();
  // Each file that could not be read is told with the reason its read met.
  for (const RowReader::Row& row : not_read) unread.Tell(RowReader::NotReadText(row));
  if (out.Failed()) {
    Say(out.Problem());
    return Commands::kFailure;
  }
  return unread.Count() == 0 ? Commands::kSuccess : Commands::kNotAllRead;
}

}  // namespace ExtractStream
