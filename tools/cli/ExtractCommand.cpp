// `tagloom-cli extract`: the extraction run of the window over files and folders, written out by
// the window's exports (aligned text, clipboard text, workbook) or as CSV or JSON Lines.
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

#include "batch/AddFolder.h"
#include "batch/ExtractionRun.h"
#include "batch/FolderScan.h"
#include "batch/ResultColumns.h"
#include "batch/ShellPropertyRun.h"
#include "core/ErrorReport.h"
#include "core/ErrorTrap.h"
#include "core/Locations.h"
#include "export/ClipboardCopy.h"
#include "export/DataExport.h"
#include "export/ReplacingFile.h"
#include "export/ResultTable.h"
#include "export/SpreadsheetExport.h"
#include "export/TextExport.h"
#include "export/TextLines.h"
#include "export/TextOutput.h"
#include "platform/PosixFileSystem.h"
#include "platform/ProgressBarModel.h"
#include "platform/ReportListModel.h"
#include "platform/StepFailure.h"
#include "platform/WindowPointer.h"
#include "platform/taglib/TagLibShellProperties.h"
#include "platform/xlsx/XlsxSpreadsheet.h"
#include "tools/cli/CliArgs.h"
#include "tools/cli/Commands.h"

namespace {

constexpr const char* kUsage =
    "usage: tagloom-cli extract [--ext EXT] [--format text|clipboard|xlsx|csv|json] [-o FILE]\n"
    "                           [--files-from LIST] [--shell-properties] PATH...\n"
    "Reads the tags of the files given and of every file with the extension EXT (default mp3;\n"
    "\".mp3\" reads as \"mp3\") in the folders given and beneath them, and writes one row per\n"
    "file.\n"
    "  text       aligned columns with a header line (the window's \"Save Results As Text File\")\n"
    "  clipboard  aligned columns without a header (\"Copy Results To Clipboard\")\n"
    "  xlsx       a workbook, written to FILE (-o is needed)\n"
    "  csv        comma-separated values (RFC 4180), UTF-8, with a header line\n"
    "  json       JSON Lines: one object per file, keyed by the column headers\n"
    "Without -o the output goes to standard output.\n"
    "--shell-properties fills the rows from the file manager's detail columns, read with\n"
    "TagLib, as the window's hidden \"Old\" button does, instead of from the tag engine.\n";

int Usage(const std::string& problem) {
  std::cerr << "tagloom-cli extract: " << CliArgs::OneLine(problem) << "\n\n" << kUsage;
  return 2;
}

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

  /// One line per message, whatever the message or a file name in it holds.
  static void Print(const QString& text) {
    std::cerr << "tagloom-cli extract: " << CliArgs::OneLine(text.toStdString()) << "\n";
  }

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

class NoEvents : public EventLoop {
 public:
  bool Yield() override { return false; }
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

QString FromLocal(const std::string& path) {
  return QFile::decodeName(QByteArray::fromStdString(path));
}

// Standard output as an export's destination.
class StandardOutput : public TextOutput {
 public:
  void Write(std::string_view bytes) override {
    if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size())
      throw StepFailure("Cannot write to standard output.");
  }
  void Commit() override {
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
      throw StepFailure("Cannot write to standard output.");
  }
};

std::unique_ptr<TextOutput> OpenOutput(const std::string& path) {
  if (path.empty()) return std::make_unique<StandardOutput>();
  return std::make_unique<ReplacingFile>(FromLocal(path));
}

struct ExtractOptions {
  std::string ext = "mp3";
  std::string format = "text";
  std::string output;  // empty: standard output
  std::vector<std::string> paths;
  bool shell_properties = false;
};

// 0 when the options are complete, otherwise the exit status to end with.
int ParseOptions(const std::vector<std::string>& args, ExtractOptions& options) {
  bool options_done = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool takes_value =
        arg == "--ext" || arg == "--format" || arg == "-o" || arg == "--files-from";
    if (!options_done && takes_value) {
      if (i + 1 >= args.size()) return Usage(arg + " needs a value");
      const std::string& value = args[++i];
      if (arg == "--ext") {
        options.ext = value;
      } else if (arg == "--format") {
        options.format = value;
      } else if (arg == "-o") {
        options.output = value;
      } else if (!CliArgs::ReadPathList(value, options.paths)) {
        std::cerr << "tagloom-cli extract: cannot read the list '" << CliArgs::OneLine(value)
                  << "'\n";
        return 1;
      }
    } else if (!options_done && (arg == "--help" || arg == "-h")) {
      std::cout << kUsage;
      return -1;
    } else if (!options_done && arg == "--shell-properties") {
      options.shell_properties = true;
    } else if (!options_done && arg == "--") {
      options_done = true;
    } else if (!options_done && arg.size() > 1 && arg[0] == '-') {
      return Usage("unknown option '" + arg + "'");
    } else {
      options.paths.push_back(arg);
    }
  }
  const std::string& format = options.format;
  if (format != "text" && format != "clipboard" && format != "xlsx" && format != "csv" &&
      format != "json")
    return Usage("unknown format '" + format + "'");
  if (format == "xlsx" && options.output.empty()) return Usage("a workbook needs -o FILE");
  if (options.ext.empty()) return Usage("--ext needs an extension");
  if (options.paths.empty()) return Usage("no files or folders given");
  return 0;
}

// Folders are walked and filtered by the folder scan of "Add All MP3 File(s) In Folder"; files
// go in as given.
void QueuePath(const QString& path, const QString& ext, FileSystem& files, EventLoop& events,
               ReportListModel& file_list) {
  const std::optional<int> attributes = files.Attributes(path);
  if (!attributes || !(*attributes & FileAttribute::kDirectory)) {
    if (!attributes)
      ConsoleUi::Print(u'\'' + path + QStringLiteral("' does not exist; its row stays empty"));
    file_list.AppendRow(path);
    return;
  }
  QString root = path;
  while (root.size() > 1 && root.endsWith(u'/')) root.chop(1);
  QStringList folders{root == u"/" ? root : root + u'/'};
  const AddFolder::Walk walk{
      files, events, [](std::u16string_view, int, const QString& what) { ConsoleUi::Print(what); }};
  AddFolder::GetSubDirectories2016(folders, true, walk);
  const QString pattern = QStringLiteral("*.") + ext;
  for (const QString& folder : folders) {
    try {
      file_list.AppendRows(FolderScan::QueueableFiles(files, folder, pattern));
    } catch (const std::exception& e) {
      ConsoleUi::Print(QString::fromUtf8(e.what()));
    }
  }
}

// The window's run over the paths given; the result table as the window would show it.
void RunExtraction(const ExtractOptions& options, ReportListModel& results,
                   ConsoleErrorReport& errors) {
  ReportListModel file_list;
  file_list.AddColumn(QStringLiteral("File(s)"));
  ResultColumns::AddAll(results);

  PosixFileSystem files;
  NoEvents events;
  for (const std::string& path : options.paths) {
    // The shell opens each file's folder, which a bare file name does not have.
    const QString given =
        options.shell_properties ? QFileInfo(FromLocal(path)).absoluteFilePath() : FromLocal(path);
    QueuePath(given, FolderScan::TypedExtension(FromLocal(options.ext)), files, events, file_list);
  }

  ConsoleUi ui;
  ProgressBarModel progress;
  WindowPointer pointer;
  TerminalProgress shown(progress);
  if (options.shell_properties) {
    TagLibShellProperties shell;
    ShellPropertyRun(file_list, results, progress, pointer, ui, events, shell, errors).Start();
  } else {
    bool running = false;
    ExtractionRun(file_list, results, progress, pointer, running, ui, events, errors).Start();
  }
}

// The window's exports of the table, to the output named. True when it was written whole.
bool WriteResults(const ExtractOptions& options, const ReportListModel& results,
                  ConsoleErrorReport& errors) {
  const int reported = errors.Count();
  NoEvents events;
  const std::string& format = options.format;
  if (format == "text") {
    Main::SaveListviewProperlySpaced(
        results, FromLocal(options.output), nullptr,
        {events, errors, nullptr, [&](const QString&) { return OpenOutput(options.output); }});
    return errors.Count() == reported;
  }
  try {
    if (format == "clipboard") {
      const std::optional<QString> text =
          Main::ClipboardText(results, events, std::numeric_limits<qsizetype>::max());
      const std::unique_ptr<TextOutput> out = OpenOutput(options.output);
      const QByteArray bytes = text.value_or(QString()).toUtf8();
      out->Write(std::string_view(bytes.constData(), size_t(bytes.size())));
      out->Commit();
    } else if (format == "csv") {
      DataExport::WriteCsv(ResultTable::Of(results), *OpenOutput(options.output));
    } else if (format == "json") {
      DataExport::WriteJsonLines(ResultTable::Of(results), *OpenOutput(options.output));
    } else {
      XlsxSpreadsheet book;
      ErrorTrap trap(loc::kPushButton13Click, errors);
      const WorkbookFill fill = FillWorkbook(ResultTable::Of(results), book, events, trap);
      if (!fill.created || errors.Count() != reported) return false;
      book.Save(FromLocal(options.output));
      if (fill.cut_cells > 0)
        ConsoleUi::Print(QStringLiteral("%1 cell(s) held more than %2 characters, the most a "
                                        "workbook cell holds, and were cut to that length")
                             .arg(fill.cut_cells)
                             .arg(TextLines::kWorkbookCellLimit));
    }
  } catch (const std::exception& e) {
    ConsoleUi::Print(QString::fromUtf8(e.what()));
    return false;
  }
  return true;
}

}  // namespace

namespace Commands {

int Extract(const std::vector<std::string>& args) {
  ExtractOptions options;
  if (const int status = ParseOptions(args, options); status != 0) return status < 0 ? 0 : status;
  ReportListModel results;
  ConsoleErrorReport errors;
  RunExtraction(options, results, errors);
  return WriteResults(options, results, errors) ? 0 : 1;
}

}  // namespace Commands
