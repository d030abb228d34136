// `tagloom-cli extract`: the extraction run of the window over files and folders, written out by
// the window's exports (aligned text, clipboard text, workbook) or as CSV or JSON Lines.
#include <unistd.h>

#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

#include "batch/AddFolder.h"
#include "batch/ColumnCatalogue.h"
#include "batch/FolderScan.h"
#include "batch/FolderTotals.h"
#include "batch/OtherFormats.h"
#include "batch/ResultColumns.h"
#include "batch/ResultSort.h"
#include "batch/RowReader.h"
#include "batch/ShellPropertyRun.h"
#include "core/ErrorReport.h"
#include "core/ErrorTrap.h"
#include "core/Locations.h"
#include "export/ClipboardCopy.h"
#include "export/DataExport.h"
#include "export/ResultTable.h"
#include "export/SpreadsheetExport.h"
#include "export/TextExport.h"
#include "export/TextLines.h"
#include "export/TextOutput.h"
#include "legacy/IconvLegacyText.h"
#include "platform/FileNames.h"
#include "platform/FileSystem.h"
#include "platform/PosixFileSystem.h"
#include "platform/ProgressBarModel.h"
#include "platform/ReportListModel.h"
#include "platform/StepFailure.h"
#include "platform/WindowPointer.h"
#include "platform/taglib/TagLibFormatReader.h"
#include "platform/taglib/TagLibShellProperties.h"
#include "platform/xlsx/XlsxSpreadsheet.h"
#include "readindex/ReadIndex.h"
#include "tools/cli/CliArgs.h"
#include "tools/cli/Commands.h"
#include "tools/cli/FileAccess.h"
#include "tools/cli/extract/ExtractHelp.h"
#include "tools/cli/extract/ExtractParts.h"
#include "tools/cli/extract/ExtractShown.h"
#include "tools/cli/extract/ExtractStream.h"
#include "tools/cli/extract/Outputs.h"

namespace {

int Usage(const std::string& problem) {
  std::cerr << "tagloom-cli extract: " << CliArgs::OneLine(problem) << "\n\n" << ExtractHelp::kText;
  return Commands::kUsage;
}

using ExtractParts::NoEvents;
using ExtractParts::Say;
using ExtractParts::Unread;

// The run's boxes have no one to show them to: its closing messages and questions are dropped.
class ConsoleUi : public Ui {
 public:
  void SetApplicationTitle(const QString& title) override { title_ = title; }
  QString ApplicationTitle() const override { return title_; }
  void Message(const QString&) override {}
  bool AskYesNo(const QString&) override { return false; }
  void Exclamation(const QString& text, const QString&) override { Print(text); }
  QString InputBox(const QString&, const QString&, const QString&) override { return {}; }
  OpenFilesResult OpenFiles(const FileDialogRequest&) override { return {}; }
  QString SaveFile(const FileDialogRequest&) override { return {}; }
  QString BrowseForFolder(const QString&, const QString&) override { return {}; }

  static void Print(const QString& text) { Say(FileNames::ToStdBytes(text)); }

 private:
  QString title_ = QStringLiteral("Tagloom");
};

// The window's error reports as one line each on standard error, counted, so a failed write
// turns into the exit status. The description names the file and the reason; the window's
// statement numbers mean nothing to a script.
class ConsoleErrorReport : public ErrorReport {
 public:
  void ShowErrorReport(QStringView, int, const QString& description) override {
    ++count_;
    ConsoleUi::Print(description);
  }
  int Count() const { return count_; }

 private:
  int count_ = 0;
};

// The run's progress bar, drawn on standard error when that is a terminal.
class TerminalProgress {
 public:
  explicit TerminalProgress(ProgressBarModel& bar) {
    if (!::isatty(STDERR_FILENO)) return;
    QObject::connect(&bar, &ProgressBarModel::Changed,
                     [this](double value, const QString& caption) { Draw(value, caption); });
    drawing_ = true;
  }
  ~TerminalProgress() {
    if (drawing_ && drawn_) std::cerr << "\r\033[K" << std::flush;
  }

 private:
  void Draw(double value, const QString& caption) {
    const auto now = std::chrono::steady_clock::now();
    if (drawn_ && now - last_ < std::chrono::milliseconds(100) && value < 100) return;
    last_ = now;
    drawn_ = true;
    constexpr int kCells = 30;
    const int filled = value >= 100 ? kCells
                       : value <= 0 ? 0
                                    : static_cast<int>(value * kCells / 100);
    std::string bar(size_t(filled), '#');
    bar.append(size_t(kCells - filled), ' ');
    std::cerr << "\r\033[K[" << bar << "] " << caption.left(60).toStdString() << std::flush;
  }

  bool drawing_ = false;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point last_;
};

QString FromLocal(const std::string& path) { return FileNames::ToText(path); }

// The catalogue's headers, one per line, by group.
int ListColumns() {
  QString group;
  for (const ColumnCatalogue::Column& column : ColumnCatalogue::All()) {
    if (column.group != group) {
      group = column.group;
      std::cout << (column.header == ColumnCatalogue::All().front().header ? "" : "\n")
                << group.toStdString() << ":\n";
    }
    std::cout << "  " << column.header.toStdString() << "\n";
  }
  return std::cout.flush() ? -1 : Commands::kFailure;
}

// "NAME,NAME,..." as catalogue headers; 0, or the exit status of a usage error.
int ParseColumns(const std::string& value, ExtractOptions& options) {
  QString problem;
  const std::optional<QStringList> chosen =
      ColumnCatalogue::Resolve(QString::fromUtf8(value).split(u','), problem);
  if (!chosen) return Usage("--columns: " + problem.toStdString() + " (--list-columns names them)");
  options.columns = *chosen;
  return 0;
}

// "NAME" or "NAME:desc" / "NAME:asc"; 0, or the exit status of a usage error.
int ParseSort(const std::string& value, ExtractOptions& options) {
  // The table sorts by one column, as a header click does: a second would silently win.
  if (options.sort) return Usage("--sort is given once: the rows are sorted by one column");
  QString name = QString::fromUtf8(value);
  ResultSort::Direction direction = ResultSort::Direction::kAscending;
  const qsizetype colon = name.lastIndexOf(u':');
  if (colon >= 0) {
    const QString way = name.mid(colon + 1).toLower();
    if (way == u"desc") {
      direction = ResultSort::Direction::kDescending;
    } else if (way != u"asc") {
      return Usage("--sort takes NAME, NAME:asc or NAME:desc");
    }
    name = name.left(colon);
  }
  const ColumnCatalogue::Column* column = ColumnCatalogue::Find(name.trimmed());
  if (!column) return Usage("--sort: unknown column '" + name.toStdString() + "'");
  options.sort = {{column->header, direction}};
  return 0;
}

// A count of threads from 1 to 1024; 0, or the exit status of a usage error.
int ParseJobs(const std::string& value, ExtractOptions& options) {
  constexpr int kMostJobs = 1024;
  int jobs = 0;
  for (const char c : value) {
    if (c < '0' || c > '9' || jobs > kMostJobs)
      return Usage("--jobs takes a number from 1 to 1024");
    jobs = jobs * 10 + (c - '0');
  }
  if (jobs < 1 || jobs > kMostJobs) return Usage("--jobs takes a number from 1 to 1024");
  options.jobs = jobs;
  return 0;
}

// 0 when the options given go together, otherwise the exit status of the usage error.
int CheckOptions(ExtractOptions& options) {
  const std::string& format = options.format;
  if (format != "text" && format != "clipboard" && format != "xlsx" && format != "csv" &&
      format != "json" && format != "m3u8")
    return Usage("unknown format '" + format + "'");
  if (format == "xlsx" && options.output.empty()) return Usage("a workbook needs -o FILE");
  if (options.csv_safe && format != "csv") return Usage("--csv-safe goes with --format csv");
  if (options.bom && format != "csv") return Usage("--bom goes with --format csv");
  if (!options.header && format != "csv") return Usage("--no-header goes with --format csv");
  if (options.sort && !options.columns.contains(options.sort->first))
    return Usage("--sort: the column '" + options.sort->first.toStdString() +
                 "' is not among the columns shown");
  if (options.shell_properties && !ColumnCatalogue::IsDefault(options.columns))
    return Usage("--columns does not go with --shell-properties, which has its own columns");
  if (options.shell_properties && (options.summary || options.decoder))
    return Usage("--summary and --legacy-text read through the tag engine, not --shell-properties");
  if (options.shell_properties && !options.index_path.empty())
    return Usage("--index keeps the tag engine's reads, not --shell-properties");
  if (options.summary && options.sort)
    return Usage("--sort orders the rows of files, which --summary replaces");
  if ((options.filter || format == "m3u8") && (options.summary || options.shell_properties))
    return Usage(
        "--filter and --format m3u8 take the rows of files read by the tag engine, "
        "which --summary and --shell-properties replace");
  if (options.ext.empty()) return Usage("--ext needs an extension");
  if (options.other && options.shell_properties)
    return Usage("--formats all reads through the tag engine, not --shell-properties");
  // The pattern "*." and the extension make: every audio format's files.
  if (options.other && !options.ext_given)
    options.ext = OtherFormats::Pattern().mid(2).toStdString();
  if (options.PathCount() == 0) return Usage("no files or folders given");
  return 0;
}

// 0 when the options are complete, otherwise the exit status to end with.
int ParseOptions(const std::vector<std::string>& args, ExtractOptions& options) {
  bool options_done = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool takes_value = arg == "--ext" || arg == "--format" || arg == "-o" ||
                             arg == "--files-from" || arg == "--columns" || arg == "--sort" ||
                             arg == "--legacy-text" || arg == "--jobs" || arg == "--filter" ||
                             arg == "--index" || arg == "--formats";
    if (!options_done && takes_value) {
      if (i + 1 >= args.size()) return Usage(arg + " needs a value");
      const std::string& value = args[++i];
      if (arg == "--ext") {
        // An extension, not a pattern: "*.mp3" and ".mp3" are how people write "mp3".
        const QString ext = FolderScan::TypedExtension(FromLocal(value));
        if (ext.isEmpty() || ext.contains(u'*') || ext.contains(u'?') || ext.contains(u'/'))
          return Usage("--ext takes a file name extension such as mp3, not a pattern");
        options.ext = FileNames::ToStdBytes(ext);
        options.ext_given = true;
      } else if (arg == "--formats") {
        if (value == "all") {
          options.other = std::make_shared<TagLibFormatReader>();
        } else if (value == "mp3") {
          options.other.reset();
        } else {
          return Usage("--formats takes mp3 or all");
        }
      } else if (arg == "--format") {
        options.format = value;
      } else if (arg == "-o") {
        options.output = value;
      } else if (arg == "--columns") {
        if (const int status = ParseColumns(value, options); status != 0) return status;
      } else if (arg == "--sort") {
        if (const int status = ParseSort(value, options); status != 0) return status;
      } else if (arg == "--legacy-text") {
        std::string problem;
        options.legacy_text = value;
        options.decoder = LegacyText::DecoderFor(value, problem);
        if (!problem.empty()) return Usage("--legacy-text: " + problem);
      } else if (arg == "--jobs") {
        if (const int status = ParseJobs(value, options); status != 0) return status;
      } else if (arg == "--filter") {
        RowFilter::Problem problem;
        options.filter = RowFilter::Parse(QString::fromUtf8(value), problem);
        if (!options.filter) return Usage("--filter: " + problem.Text().toStdString());
        if (options.filter->IsEmpty()) options.filter.reset();
      } else if (arg == "--index") {
        if (value.empty()) return Usage("--index needs a file");
        options.index_path = value;
      } else {
        auto list = std::make_unique<CliArgs::PathList>();
        if (std::string why; !list->Check(value, why)) {
          Say("cannot read the list '" + value + "': " + why);
          return Commands::kFailure;
        }
        options.inputs.push_back({value, list.get()});
        options.lists.push_back(std::move(list));
      }
    } else if (!options_done && CliArgs::IsHelp(arg)) {
      std::cout << ExtractHelp::kText;
      return std::cout.flush() ? -1 : Commands::kFailure;
    } else if (!options_done && arg == "--shell-properties") {
      options.shell_properties = true;
    } else if (!options_done && arg == "--csv-safe") {
      options.csv_safe = true;
    } else if (!options_done && arg == "--bom") {
      options.bom = true;
    } else if (!options_done && arg == "--summary") {
      options.summary = true;
    } else if (!options_done && arg == "--no-header") {
      options.header = false;
    } else if (!options_done && arg == "--list-columns") {
      return ListColumns();
    } else if (!options_done && arg == "--") {
      options_done = true;
    } else if (!options_done && CliArgs::IsOption(arg)) {
      return Usage("unknown option '" + arg + "'");
    } else {
      options.inputs.push_back({arg});
    }
  }
  return CheckOptions(options);
}

// Folders are walked and filtered by the folder scan of "Add All MP3 File(s) In Folder"; files
// go in as given.
void QueuePath(const QString& path, const QString& ext, FileSystem& files,
               ReportListModel& file_list, Unread& unread) {
  const std::optional<int> attributes = files.Attributes(path);
  if (!attributes || !(*attributes & FileAttribute::kDirectory)) {
    file_list.AppendRow(path);
    return;
  }
  RowReader::EachFolderFiles(path, QStringLiteral("*.") + ext, files, unread,
                             [&](const QStringList& paths) { file_list.AppendRows(paths); });
}

// The shell's detail columns over the paths given, as the window's hidden "Old" button reads
// them; the result table as the window would show it. The shell's details tell nothing of a
// file that could not be read, so every file is looked at here as well. False when a list
// could not be read a second time.
bool RunShellProperties(const ExtractOptions& options, ReportListModel& results,
                        ConsoleErrorReport& errors, Unread& unread) {
  ReportListModel file_list;
  file_list.AddColumn(QStringLiteral("File(s)"));
  const QStringList run_columns = ExtractShown::RunColumns(options);
  ColumnCatalogue::AddColumns(results, run_columns);

  PosixFileSystem files;
  NoEvents events;
  ExtractParts::Inputs inputs(options);
  for (std::string path; inputs.Next(path);) {
    // The shell opens each file's folder, which a bare file name does not have.
    QueuePath(QFileInfo(FromLocal(path)).absoluteFilePath(),
              FolderScan::TypedExtension(FromLocal(options.ext)), files, file_list, unread);
  }
  if (inputs.Failed()) {
    Say(inputs.Problem());
    return false;
  }
  {
    ConsoleUi ui;
    ProgressBarModel progress;
    WindowPointer pointer;
    TerminalProgress shown(progress);
    TagLibShellProperties shell;
    ShellPropertyRun run(file_list, results, progress, pointer, ui, events, shell, errors);
    run.SetJobs(options.jobs);
    run.Start();
  }
  ExtractShown::KeepShownRows(options, results);
  if (options.sort)
    ResultSort::Sort(results, static_cast<int>(options.columns.indexOf(options.sort->first)) + 1,
                     options.sort->second);
  for (int row = 1; row <= file_list.RowCount(); ++row) {
    const QString path = file_list.Text(row);
    std::string why;
    if (!FileAccess::CanRead(FileNames::ToStdBytes(path), why)) unread.File(path, why);
  }
  return true;
}

// The window's exports of the table, to the output named. True when it was written whole.
bool WriteResults(const ExtractOptions& options, const ReportListModel& results,
                  ConsoleErrorReport& errors, Unread& unread) {
  const int reported = errors.Count();
  NoEvents events;
  const std::string& format = options.format;
  if (format == "m3u8") return ExtractShown::WritePlaylist(options, results, unread);
  if (format == "text") {
    TextExport::SaveListviewProperlySpaced(
        results, FromLocal(options.output), nullptr,
        {events, errors, nullptr, [&](const QString&) { return Outputs::Open(options.output); }});
    return errors.Count() == reported;
  }
  try {
    if (format == "clipboard") {
      const std::optional<QString> text =
          TableClipboard::ClipboardText(results, events, std::numeric_limits<qsizetype>::max());
      const std::unique_ptr<TextOutput> out = Outputs::Open(options.output);
      const QByteArray bytes = text.value_or(QString()).toUtf8();
      out->Write(std::string_view(bytes.constData(), size_t(bytes.size())));
      out->Commit();
    } else if (format == "csv") {
      DataExport::WriteCsv(ResultTable::Of(results), *Outputs::Open(options.output),
                           {options.csv_safe, options.bom, options.header});
    } else if (format == "json") {
      DataExport::WriteJsonLines(ResultTable::Of(results), *Outputs::Open(options.output));
    } else {
      // The target is checked, as the text export checks it, before the workbook is built.
      const std::unique_ptr<TextOutput> out = Outputs::Open(options.output);
      XlsxSpreadsheet book;
      ErrorTrap trap(loc::kPushButton13Click, errors);
      const WorkbookColumnKinds kinds =
          ColumnCatalogue::IsDefault(options.columns)
              ? WorkbookColumnKinds{}
              : WorkbookColumnKinds{ColumnCatalogue::NamesFile(options.columns),
                                    ColumnCatalogue::Durations(options.columns)};
      const WorkbookFill fill = FillWorkbook(ResultTable::Of(results), book, events, trap, kinds);
      if (!fill.created || errors.Count() != reported) return false;
      SaveWorkbook(book, *out);
      if (fill.cut_cells > 0)
        ConsoleUi::Print(QStringLiteral("%1 cell(s) held more than %2 characters, the most a "
                                        "workbook cell holds, and were cut to that length")
                             .arg(fill.cut_cells)
                             .arg(TextLines::kWorkbookCellLimit));
    }
  } catch (const std::exception& e) {
    Say(e.what());
    return false;
  }
  return true;
}

}  // namespace

namespace Commands {

int Extract(const std::vector<std::string>& args) {
  ExtractOptions options;
  if (const int status = ParseOptions(args, options); status != 0)
    return status < 0 ? kSuccess : status;
  // Refused before the run rather than after it: a workbook is a file, never a stream.
  if (options.format == "xlsx" && Outputs::KindOf(options.output) != Outputs::Kind::kFile) {
    Say("cannot write the workbook to '" + options.output +
        "': a workbook is saved as a file, and this is a device, a pipe or an open descriptor");
    return kFailure;
  }
  // The index is a cache: whatever becomes of it, the run goes on and its output is the same.
  std::unique_ptr<ReadIndex> index;
  if (!options.index_path.empty()) {
    index = ReadIndex::Open(options.index_path, [](const std::string& text) { Say(text); });
    options.index = index.get();
  }
  Unread unread;
  // JSON Lines and CSV go out row by row, unless the rows must be sorted or filtered first, come
  // from the shell's detail columns or give way to the folders' totals.
  if ((options.format == "json" || options.format == "csv") && !options.sort &&
      !options.shell_properties && !options.summary && !options.filter)
    return ExtractStream::StreamRows(options, unread);
  ReportListModel results;
  ConsoleErrorReport errors;
  if (options.shell_properties ? !RunShellProperties(options, results, errors, unread)
                               : !ExtractStream::ReadTable(options, results, unread))
    return kFailure;
  if (!WriteResults(options, results, errors, unread)) return kFailure;
  return unread.Count() == 0 ? kSuccess : kNotAllRead;
}

}  // namespace Commands
