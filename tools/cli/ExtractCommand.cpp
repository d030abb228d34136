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
#include <memory>
#include <optional>
#include <vector>

#include "batch/AddFolder.h"
#include "batch/ExtractionRun.h"
#include "batch/ResultColumns.h"
#include "batch/ShellPropertyRun.h"
#include "core/ErrorReport.h"
#include "core/Main.h"
#include "export/ReplacingFile.h"
#include "export/ResultTable.h"
#include "export/TextLines.h"
#include "platform/PosixFileSystem.h"
#include "platform/ProgressBarModel.h"
#include "platform/ReportListModel.h"
#include "platform/Services.h"
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
    "Reads the tags of the files given and of every file with the extension EXT (default mp3)\n"
    "in the folders given and beneath them, and writes one row per file.\n"
    "  text       aligned columns with a header line (the window's \"Save Results As Text File\")\n"
    "  clipboard  aligned columns without a header (\"Copy Results To Clipboard\")\n"
    "  xlsx       a workbook, written to FILE (-o is needed)\n"
    "  csv        comma-separated values (RFC 4180), UTF-8, with a header line\n"
    "  json       JSON Lines: one object per file, keyed by the column headers\n"
    "Without -o the output goes to standard output.\n"
    "--shell-properties fills the rows from the file manager's detail columns, read with\n"
    "TagLib, as the window's hidden \"Old\" button does, instead of from the tag engine.\n";

int Usage(const std::string& problem) {
  std::cerr << "tagloom-cli extract: " << problem << "\n\n" << kUsage;
  return 2;
}

// The run's boxes have no one to show them to: its closing messages are dropped, error reports
// go to standard error.
class ConsoleUi : public Ui {
 public:
  void SetApplicationTitle(const QString& title) override { title_ = title; }
  QString ApplicationTitle() const override { return title_; }
  void Message(const QString&) override {}
  bool AskYesNo(const QString&) override { return false; }
  void Exclamation(const QString& text, const QString&) override {
    std::cerr << "tagloom-cli extract: " << QString(text).replace(u'\r', u'\n').toStdString()
              << "\n";
  }
  QString InputBox(const QString&, const QString&, const QString&) override { return {}; }
  OpenFilesResult OpenFiles(const FileDialogRequest&) override { return {}; }
  QString SaveFile(const FileDialogRequest&) override { return {}; }
  QString BrowseForFolder(const QString&, const QString&) override { return {}; }

 private:
  QString title_ = QStringLiteral("Tagloom");
};

class NoSettings : public SettingsStore {
 public:
  QString Read(const QString&, const QString& default_value) const override {
    return default_value;
  }
  void Write(const QString&, const QString&) override {}
};

class NoClipboard : public Clipboard {
 public:
  bool Clear() override { return false; }
  bool SetText(const QString&) override { return false; }
};

class NoDesktop : public Desktop {
 public:
  void OpenFolder(const QString&) override { throw StepFailure("No desktop."); }
  void OpenWebAddress(const QString&) override { throw StepFailure("No desktop."); }
};

class FixedRandom : public RandomSource {
 public:
  double NextFraction() override { return 0.5; }
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

// Folders are walked as "Add All MP3 File(s) In Folder" walks them; files go in as given.
void QueuePath(const QString& path, const QString& ext, FileSystem& files, EventLoop& events,
               ReportListModel& file_list) {
  const std::optional<int> attributes = files.Attributes(path);
  if (!attributes || !(*attributes & FileAttribute::kDirectory)) {
    if (!attributes)
      std::cerr << "tagloom-cli extract: '" << path.toStdString()
                << "' does not exist; its row stays empty\n";
    file_list.AppendRow(path);
    return;
  }
  QString root = path;
  while (root.size() > 1 && root.endsWith(u'/')) root.chop(1);
  QStringList folders{root == u"/" ? root : root + u'/'};
  const AddFolder::Walk walk{
      files, events, [](std::u16string_view location, int step, const QString& what) {
        std::cerr << "tagloom-cli extract: " << what.toStdString() << " ("
                  << QStringView(location).toString().toStdString() << "at line " << step << ")\n";
      }};
  AddFolder::GetSubDirectories2016(folders, true, walk);
  for (QString folder : folders) {
    if (folder.size() > 1) folder.chop(1);
    QStringList names;
    try {
      names = AddFolder::ListFilesInFolder(files, folder, QStringLiteral("*.") + ext);
    } catch (const std::exception& e) {
      std::cerr << "tagloom-cli extract: " << e.what() << "\n";
      continue;
    }
    for (const QString& name : names) {
      if (name.startsWith(u'~')) continue;
      const QString file = folder == u"/" ? folder + name : folder + u'/' + name;
      if (AddFolder::FileIsPresent(files, file) &&
          files.Attributes(file).value_or(0) != (FileAttribute::kArchive | FileAttribute::kHidden))
        file_list.AppendRow(Main::CollapseBackslashes(file));
    }
  }
}

// Standard output or a file that replaces its namesake only once complete.
class Output {
 public:
  explicit Output(const std::string& path) : path_(path) {
    if (!path.empty()) file_.emplace(FromLocal(path));
  }
  void Write(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    if (file_) {
      file_->Write(bytes);
    } else if (std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) !=
               size_t(bytes.size())) {
      throw StepFailure("Cannot write to standard output.");
    }
  }
  void Finish() {
    if (file_) {
      file_->Commit();
    } else if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
      throw StepFailure("Cannot write to standard output.");
    }
  }

 private:
  std::string path_;
  std::optional<ReplacingFile> file_;
};

std::vector<int> Widths(const ResultTable& table, bool count_headers) {
  std::vector<int> widths;
  for (int c = 1; c <= table.ColumnCount(); ++c) {
    qsizetype w = count_headers ? table.headers[c - 1].size() : 0;
    for (int r = 1; r <= table.RowCount(); ++r) w = std::max(w, table.Cell(r, c).size());
    widths.push_back(static_cast<int>(w));
  }
  return widths;
}

void WriteText(const ResultTable& table, const std::string& path, bool clipboard) {
  const std::vector<int> widths = Widths(table, !clipboard);
  Output out(path);
  if (!clipboard) out.Write(TextLines::AlignedLine(table.headers, widths) + QStringLiteral("\r\n"));
  for (const ResultTable::Row& row : table.rows) {
    if (!row.checked) continue;
    out.Write(clipboard ? TextLines::ClipboardLine(row.Cells(table.ColumnCount()), widths)
                        : TextLines::AlignedLine(row.Cells(table.ColumnCount()), widths) +
                              QStringLiteral("\r\n"));
  }
  out.Finish();
}

void WriteCsv(const ResultTable& table, const std::string& path) {
  Output out(path);
  out.Write(TextLines::CsvLine(table.headers));
  for (const ResultTable::Row& row : table.rows)
    if (row.checked) out.Write(TextLines::CsvLine(row.Cells(table.ColumnCount())));
  out.Finish();
}

void WriteJson(const ResultTable& table, const std::string& path) {
  Output out(path);
  for (const ResultTable::Row& row : table.rows)
    if (row.checked) out.Write(TextLines::JsonLine(table.headers, row.Cells(table.ColumnCount())));
  out.Finish();
}

void WriteWorkbook(const ResultTable& table, const std::string& path) {
  XlsxSpreadsheet book;
  book.NewWorkbook();
  int cut = 0;
  const auto set = [&](int row, int column, const QString& text) {
    bool was_cut = false;
    book.SetCell(row, column, TextLines::WorkbookCellText(text, was_cut));
    cut += was_cut ? 1 : 0;
  };
  for (int c = 1; c <= table.ColumnCount(); ++c) set(1, c, table.headers[c - 1]);
  for (int r = 1; r <= table.RowCount(); ++r) {
    if (!table.rows[size_t(r - 1)].checked) continue;
    for (int c = 1; c <= table.ColumnCount(); ++c) {
      const QString& cell = table.Cell(r, c);
      set(r + 1, c, c == 1 ? cell : TextLines::WithoutEquals(cell));
    }
  }
  book.AutoFitColumns();
  book.Save(FromLocal(path));
  if (cut > 0)
    std::cerr << "tagloom-cli extract: " << cut << " cell(s) held more than "
              << TextLines::kWorkbookCellLimit
              << " characters, the most a workbook cell holds, and were cut to that length\n";
}

}  // namespace

namespace Commands {

int Extract(const std::vector<std::string>& args) {
  std::string ext = "mp3";
  std::string format = "text";
  std::string output;
  std::vector<std::string> paths;
  bool shell_properties = false;
  bool options_done = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool takes_value =
        arg == "--ext" || arg == "--format" || arg == "-o" || arg == "--files-from";
    if (!options_done && takes_value) {
      if (i + 1 >= args.size()) return Usage(arg + " needs a value");
      const std::string& value = args[++i];
      if (arg == "--ext") {
        ext = value;
      } else if (arg == "--format") {
        format = value;
      } else if (arg == "-o") {
        output = value;
      } else if (!CliArgs::ReadPathList(value, paths)) {
        std::cerr << "tagloom-cli extract: cannot read the list '" << value << "'\n";
        return 1;
      }
    } else if (!options_done && (arg == "--help" || arg == "-h")) {
      std::cout << kUsage;
      return 0;
    } else if (!options_done && arg == "--shell-properties") {
      shell_properties = true;
    } else if (!options_done && arg == "--") {
      options_done = true;
    } else if (!options_done && arg.size() > 1 && arg[0] == '-') {
      return Usage("unknown option '" + arg + "'");
    } else {
      paths.push_back(arg);
    }
  }
  if (format != "text" && format != "clipboard" && format != "xlsx" && format != "csv" &&
      format != "json")
    return Usage("unknown format '" + format + "'");
  if (format == "xlsx" && output.empty()) return Usage("a workbook needs -o FILE");
  if (ext.empty()) return Usage("--ext needs an extension");
  if (paths.empty()) return Usage("no files or folders given");

  ReportListModel file_list;
  file_list.AddColumn(QStringLiteral("File(s)"));
  ReportListModel results;
  results.AddColumn(QString::fromUtf16(ResultColumns::kFileNameHeader.data(),
                                       qsizetype(ResultColumns::kFileNameHeader.size())),
                    ResultColumns::kFileNameWidth);
  for (const ResultColumns::Field& field : ResultColumns::kFields)
    results.AddColumn(QString::fromUtf16(field.header.data(), qsizetype(field.header.size())),
                      field.width_twips);

  PosixFileSystem files;
  NoEvents events;
  for (const std::string& path : paths) {
    // The shell opens each file's folder, which a bare file name does not have.
    const QString given =
        shell_properties ? QFileInfo(FromLocal(path)).absoluteFilePath() : FromLocal(path);
    QueuePath(given, FromLocal(ext), files, events, file_list);
  }

  ConsoleUi ui;
  NoSettings settings;
  NoClipboard clipboard;
  NoDesktop desktop;
  FixedRandom random;
  XlsxSpreadsheet spreadsheet;
  TagLibShellProperties shell;
  Services services{ui, settings, clipboard, desktop, random, events, files, spreadsheet, shell};
  ErrorReport errors(ui);
  ProgressBarModel progress;
  WindowPointer pointer;
  bool running = false;
  {
    TerminalProgress shown(progress);
    if (shell_properties)
      ShellPropertyRun(file_list, results, progress, pointer, services, errors).Start();
    else
      ExtractionRun(file_list, results, progress, pointer, running, services, errors).Start();
  }

  const ResultTable table = ResultTable::Of(results);
  try {
    if (format == "text" || format == "clipboard") {
      WriteText(table, output, format == "clipboard");
    } else if (format == "csv") {
      WriteCsv(table, output);
    } else if (format == "json") {
      WriteJson(table, output);
    } else {
      WriteWorkbook(table, output);
    }
  } catch (const std::exception& e) {
    std::cerr << "tagloom-cli extract: " << e.what() << "\n";
    return 1;
  }
  return 0;
}

}  // namespace Commands
