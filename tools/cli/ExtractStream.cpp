// `extract --format json` and `--format csv`: rows written in list order as soon as they are
// read. Worker threads read the next files and make their lines; this thread writes them.
#include <unistd.h>

#include <QString>
#include <algorithm>
#include <chrono>
#include <iostream>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "batch/FolderScan.h"
#include "batch/ReadAhead.h"
#include "batch/ResultColumns.h"
#include "core/Main.h"
#include "export/TextLines.h"
#include "export/TextOutput.h"
#include "legacy/IconvLegacyText.h"
#include "platform/FileNames.h"
#include "platform/FileSystem.h"
#include "platform/PosixFileSystem.h"
#include "readindex/ReadIndex.h"
#include "tag/clsID3.h"
#include "tools/cli/Commands.h"
#include "tools/cli/ExtractStream.h"
#include "tools/cli/FileAccess.h"
#include "tools/cli/Outputs.h"

namespace ExtractStream {

using ExtractParts::FolderFiles;
using ExtractParts::Inputs;
using ExtractParts::NoEvents;
using ExtractParts::Say;
using ExtractParts::Unread;
using ExtractParts::WalkFolder;

namespace {

// A path to read: given by the user (a folder among them is walked) or found by a walk.
struct Entry {
  std::string path;  // the bytes the system knows
  QString text;      // the path as text, when the walk already made it
  bool given = true;
};

// One file's row, ready to write; or a given path that turned out to be a folder.
struct Row {
  std::string line;
  std::string path;  // kept only when the file could not be read, to say why at the end
  bool not_read = false;
  bool folder = false;
};

// What a reading thread keeps from one file to the next, so a row costs few allocations.
struct Reading {
  std::unique_ptr<clsID3> tag;
  CellText made;             // the cells a column makes, one after another
  std::vector<size_t> ends;  // where each column's cell ends in `made`
  std::vector<QStringView> cells;
  QString path;          // the file's path as text, in room kept from row to row
  size_t line_size = 0;  // the last row's line: the next is likely as long
};

// Makes the lines: the same cells and the same bytes as the table's exports.
class LineMaker {
 public:
  explicit LineMaker(const ExtractOptions& options)
      : json_(options.format == "json"),
        csv_safe_(options.csv_safe),
        keys_(json_ ? TextLines::JsonKeys(options.columns) : std::vector<std::string>()) {
    if (!ColumnCatalogue::IsDefault(options.columns)) {
      for (const QString& header : options.columns) {
        const ColumnCatalogue::Column* column = ColumnCatalogue::Find(header);
        if (column) (column->view ? viewed_ : made_).push_back(chosen_.size());
        chosen_.push_back(column);
      }
    }
  }

  bool NeedsPictureCount() const { return ColumnCatalogue::NeedPictureCount(chosen_); }

  void Append(std::string& line, Reading& reading, const Entry& entry) const {
    const clsID3& tag = *reading.tag;
    QStringView cells[ResultColumns::kFields.size() + 1];
    std::span<const QStringView> row;
    QString name;
    if (chosen_.empty()) {
      // Column 1 is the name after the last separator; the bytes split there as the text does.
      const std::string_view bytes(entry.path);
      name = entry.text.isEmpty() ? FileNames::ToText(bytes.substr(bytes.rfind('/') + 1))
                                  : Main::FileNameOfPath(entry.text);
      cells[0] = name;
      for (const ResultColumns::Field& field : ResultColumns::kFields) {
        const std::u16string& value = (tag.*field.value)();
        cells[field.sub_item] = QStringView(value.data(), static_cast<qsizetype>(value.size()));
      }
      row = cells;
    } else {
      QString& path = reading.path;
      if (!entry.text.isEmpty()) {
        path = entry.text;
      } else if (FileNames::IsAscii(entry.path)) {
        // Widened in place: most paths are ASCII, and a row then needs no allocation for it.
        path.resize(static_cast<qsizetype>(entry.path.size()));
        char16_t* to = reinterpret_cast<char16_t*>(path.data());
        for (const char c : entry.path) *to++ = static_cast<char16_t>(c);
      } else {
        path = FileNames::ToText(entry.path);
      }
      const ColumnCatalogue::Source source{tag, path};
      // A header the catalogue does not know stays empty.
      if (reading.cells.size() != chosen_.size()) reading.cells.assign(chosen_.size(), {});
      for (const size_t c : viewed_) reading.cells[c] = chosen_[c]->view(source);
      // The made cells are viewed once all are made: `made` may move while it grows.
      reading.made.clear();
      reading.ends.resize(made_.size());
      for (size_t m = 0; m < made_.size(); ++m) {
        chosen_[made_[m]]->append(source, reading.made);
        reading.ends[m] = reading.made.size();
      }
      for (size_t m = 0, from = 0; m < made_.size(); from = reading.ends[m++])
        reading.cells[made_[m]] = reading.made.View(from, reading.ends[m]);
      row = reading.cells;
    }
    line.reserve(reading.line_size);
    if (json_) {
      TextLines::AppendJsonLineUtf8(line, keys_, row);
    } else {
      TextLines::AppendCsvLineUtf8(line, row, csv_safe_);
    }
    reading.line_size = line.size();
  }

 private:
  bool json_;
  bool csv_safe_;
  std::vector<std::string> keys_;
  std::vector<const ColumnCatalogue::Column*> chosen_;
  std::vector<size_t> viewed_;  // the chosen columns that view text the source holds
  std::vector<size_t> made_;    // and those that make their cells
};

// Reads one file on a worker. A given path the engine could not open as a file may be a
// folder, which the writer walks in its place; the file system is asked only then.
Row ReadRow(Reading& reading, const Entry& entry, const LineMaker& maker, const FileSystem& files,
            bool keep_path, const std::shared_ptr<LegacyTextDecoder>& decoder, ReadIndex* index) {
  std::unique_ptr<clsID3>& tag = reading.tag;
  if (!tag) {
    tag = std::make_unique<clsID3>();
    tag->SetPicturesWanted(false);
    tag->SetPictureCountWanted(maker.NeedsPictureCount());
    tag->SetLegacyTextDecoder(decoder);
  }
  if (index) {
    index->Read(*tag, entry.path);
  } else {
    tag->SetFileName(entry.path);
  }
  const ReadDiagnosis& d = tag->Diagnosis();
  using Status = ReadDiagnosis::Status;
  if (entry.given &&
      (d.status == Status::kNotRegularFile || (d.status == Status::kUnreadable && d.size < 0))) {
    const std::optional<int> attributes =
        files.Attributes(entry.text.isEmpty() ? FileNames::ToText(entry.path) : entry.text);
    if (attributes && (*attributes & FileAttribute::kDirectory))
      return Row{{}, entry.path, false, true};
  }
  Row row;
  maker.Append(row.line, reading, entry);
  row.not_read = d.NotRead();
  if (row.not_read || keep_path) row.path = entry.path;
  return row;
}

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

// Writes the rows of one pipeline in order; folders given among the paths are walked in place.
class Writer {
 public:
  Writer(const ExtractOptions& options, TextOutput& out, Unread& unread)
      : options_(options),
        progress_(options.PathCount()),
        out_(out),
        unread_(unread),
        maker_(options),
        jobs_(options.jobs > 0 ? options.jobs : ReadAhead<Entry, Row>::DefaultJobs()),
        pattern_(QStringLiteral("*.") +
                 FolderScan::TypedExtension(FileNames::ToText(options.ext))) {
    // Each reading thread decodes legacy text with a decoder of its own.
    decoders_ = LegacyText::OnePerThread(
        options.decoder, static_cast<size_t>(ReadAhead<Entry, Row>::Workers(jobs_)));
  }

  // Every given path; false when a list could not be read a second time.
  bool WriteGiven(Inputs& inputs) {
    std::vector<Reading> readings(static_cast<size_t>(ReadAhead<Entry, Row>::Workers(jobs_)));
    ReadAhead<Entry, Row> reads(
        jobs_, [&](Entry& entry) { return inputs.Next(entry.path); },
        [&](const Entry& entry, int worker) {
          const auto w = static_cast<size_t>(worker);
          return ReadRow(readings[w], entry, maker_, files_, progress_.Shown(), decoders_[w],
                         options_.index);
        });
    while (std::optional<Row> row = reads.Next()) {
      if (row->folder) {
        WriteFolder(FileNames::ToText(row->path));
      } else {
        Write(*row);
      }
    }
    return !inputs.Failed();
  }

  // The paths of files that could not be read, in row order.
  const std::vector<std::string>& NotRead() const { return not_read_; }

 private:
  // The files beneath a folder, listed one folder at a time as the workers ask for them.
  void WriteFolder(const QString& path) {
    if (options_.index) options_.index->Walked(FileNames::ToStdBytes(path));
    AddFolder::ListedFiles listed;
    const QStringList folders = WalkFolder(path, pattern_, files_, events_, unread_, listed);
    qsizetype folder = 0;
    QStringList queued;
    qsizetype next = 0;
    std::vector<Reading> readings(static_cast<size_t>(ReadAhead<Entry, Row>::Workers(jobs_)));
    ReadAhead<Entry, Row> reads(
        jobs_,
        [&](Entry& entry) {
          while (next >= queued.size()) {
            if (folder >= folders.size()) return false;
            queued = FolderFiles(files_, folders[folder++], pattern_, unread_, listed);
            next = 0;
          }
          entry.text = queued[next++];
          entry.path = FileNames::ToStdBytes(entry.text);
          entry.given = false;
          return true;
        },
        [&](const Entry& entry, int worker) {
          const auto w = static_cast<size_t>(worker);
          return ReadRow(readings[w], entry, maker_, files_, progress_.Shown(), decoders_[w],
                         options_.index);
        });
    while (std::optional<Row> row = reads.Next()) Write(*row);
  }

  void Write(Row& row) {
    out_.Write(row.line);
    progress_.Row(row.path);
    if (row.not_read) not_read_.push_back(std::move(row.path));
  }

  const ExtractOptions& options_;
  StreamProgress progress_;
  TextOutput& out_;
  Unread& unread_;
  LineMaker maker_;
  const int jobs_;
  const QString pattern_;
  std::vector<std::shared_ptr<LegacyTextDecoder>> decoders_;
  PosixFileSystem files_;
  NoEvents events_;
  std::vector<std::string> not_read_;
};

}  // namespace

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
  Writer writer(options, out, unread);
  try {
    if (!writer.WriteGiven(inputs)) {
      Say(inputs.Problem());
      return Commands::kFailure;
    }
  } catch (const std::exception& e) {
    Say(e.what());
    return Commands::kFailure;
  }
  out.Commit();
  if (options.index) options.index->Finish();
  // The engine says which rows are empty; the system's reason is asked of those alone.
  for (const std::string& path : writer.NotRead()) {
    std::string why;
    if (!FileAccess::CanRead(path, why)) unread.File(FileNames::ToText(path), why);
  }
  if (out.Failed()) {
    Say(out.Problem());
    return Commands::kFailure;
  }
  return unread.Count() == 0 ? Commands::kSuccess : Commands::kNotAllRead;
}

}  // namespace ExtractStream
