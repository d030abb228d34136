// The exports on a table of 100 000 rows by 12 columns: the aligned text file against one
// buffered write of the same bytes, and the workbook against the CSV export of the same table.
// One command: bench_export [ROWS] [FOLDER]; prints the times and the two ratios.
#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <functional>
#include <random>

#include "core/ErrorReport.h"
#include "export/DataExport.h"
#include "export/ReplacingFile.h"
#include "export/ResultTable.h"
#include "export/TextExport.h"
#include "export/TextLines.h"
#include "platform/EventLoop.h"
#include "platform/ProgressBarModel.h"
#include "platform/ReportListModel.h"
#include "platform/Ui.h"
#include "platform/xlsx/XlsxSpreadsheet.h"

namespace {

class NoEvents : public EventLoop {
 public:
  bool Yield() override { return false; }
};

// Counts error reports; a run that reports one measured nothing.
class CountingUi : public Ui {
 public:
  void SetApplicationTitle(const QString&) override {}
  QString ApplicationTitle() const override { return {}; }
  void Message(const QString&) override {}
  bool AskYesNo(const QString&) override { return false; }
  void Exclamation(const QString& text, const QString&) override {
    ++reports;
    std::fprintf(stderr, "%s\n", qPrintable(text));
  }
  QString InputBox(const QString&, const QString&, const QString&) override { return {}; }
  OpenFilesResult OpenFiles(const FileDialogRequest&) override { return {}; }
  QString SaveFile(const FileDialogRequest&) override { return {}; }
  QString BrowseForFolder(const QString&, const QString&) override { return {}; }
  int reports = 0;
};

QString Words(std::mt19937& random, int min_words, int max_words) {
  static const char* kWords[] = {"harbour", "light", "copper", "kettle", "lantern", "street",
                                 "salt",    "cedar", "glass",  "moon",   "parade",  "ferry",
                                 "engine",  "drift", "tide",   "small",  "hours",   "café",
                                 "north",   "Zoë",   "Åsa",    "night",  "market",  "river"};
  std::uniform_int_distribution<int> count(min_words, max_words);
  std::uniform_int_distribution<int> pick(0, int(std::size(kWords)) - 1);
  QString text;
  for (int n = count(random), i = 0; i < n; ++i) {
    if (i > 0) text += u' ';
    text += QString::fromUtf8(kWords[pick(random)]);
  }
  return text;
}

// A result table as an extraction fills it: every column set, lyrics on one row in ten.
void Fill(ReportListModel& table, int rows) {
  for (const char* h : {"Filename", "Title", "Artist", "Album", "TrackNumber", "Year", "Comments",
                        "Lyrics", "Composer", "Band", "Conductor", "Copyright"})
    table.AddColumn(QString::fromUtf8(h));
  std::mt19937 random(7);
  for (int r = 1; r <= rows; ++r) {
    const QString title = Words(random, 1, 5);
    const int row =
        table.AppendRow(QStringLiteral("%1 - %2.mp3").arg(r % 100, 2, 10, QChar(u'0')).arg(title));
    table.SetSubItem(row, 1, title);
    table.SetSubItem(row, 2, Words(random, 1, 3));
    table.SetSubItem(row, 3, Words(random, 1, 4));
    table.SetSubItem(row, 4, QString::number(r % 20 + 1));
    table.SetSubItem(row, 5, QString::number(1960 + r % 60));
    table.SetSubItem(row, 6, Words(random, 0, 6));
    table.SetSubItem(row, 7, r % 10 == 0 ? Words(random, 10, 40) : QString());
    table.SetSubItem(row, 8, Words(random, 0, 2));
    table.SetSubItem(row, 9, Words(random, 0, 2));
    table.SetSubItem(row, 10, Words(random, 0, 2));
    table.SetSubItem(row, 11,
                     r % 3 == 0 ? QStringLiteral("(C) 2001 Vendramel Records") : QString());
    table.SetChecked(row, true);
  }
}

// The best of a few runs, in seconds: the least disturbed by the other work on the machine.
double Best(int runs, const std::function<void()>& action) {
  double best = 1e30;
  for (int i = 0; i < runs; ++i) {
    const auto start = std::chrono::steady_clock::now();
    action();
    best = std::min(
        best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  return best;
}

// One write of the bytes into a new file beside the target, brought to the disk and renamed:
// the same safety the export gives, without any of its work.
void OneBufferedWrite(const QByteArray& bytes, const QString& path, bool durable) {
  const std::string target = path.toStdString();
  const std::string temporary = target + ".one-write";
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0 || ::write(fd, bytes.constData(), size_t(bytes.size())) != bytes.size()) {
    std::perror("write");
    std::exit(1);
  }
  if (durable) ::fsync(fd);
  ::close(fd);
  ::rename(temporary.c_str(), target.c_str());
}

void WriteCsv(const ReportListModel& list, const QString& path) {
  ReplacingFile out(path);
  DataExport::WriteCsv(ResultTable::Of(list), out);
}

void WriteWorkbook(const ReportListModel& list, const QString& path) {
  const ResultTable table = ResultTable::Of(list);
  XlsxSpreadsheet book;
  book.NewWorkbook();
  bool cut = false;
  for (int c = 1; c <= table.ColumnCount(); ++c)
    book.SetCell(1, c, TextLines::WorkbookCellText(table.headers[c - 1], cut));
  for (int r = 1; r <= table.RowCount(); ++r) {
    for (int c = 1; c <= table.ColumnCount(); ++c) {
      const QString& cell = table.Cell(r, c);
      book.SetCell(
          r + 1, c,
          TextLines::WorkbookCellText(c == 1 ? cell : TextLines::WithoutEquals(cell), cut));
    }
  }
  book.AutoFitColumns();
  book.Save(path);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int rows = argc > 1 ? std::atoi(argv[1]) : 100000;
  QTemporaryDir temporary(argc > 2 ? QString::fromLocal8Bit(argv[2]) + "/bench-export-XXXXXX"
                                   : QDir::tempPath() + "/bench-export-XXXXXX");
  const QDir dir(temporary.path());
  ReportListModel table;
  Fill(table, rows);
  NoEvents events;
  CountingUi ui;
  ErrorReport errors(ui);
  ProgressBarModel progress;
  const int runs = 3;

  const QString text_path = dir.filePath("results.txt");
  const double text = Best(runs, [&] {
    TextExport::SaveListviewProperlySpaced(table, text_path, &progress, {events, errors});
  });
  QFile written(text_path);
  written.open(QIODevice::ReadOnly);
  const QByteArray bytes = written.readAll();
  const double one_write =
      Best(runs, [&] { OneBufferedWrite(bytes, dir.filePath("one.txt"), true); });
  const double one_write_cached =
      Best(runs, [&] { OneBufferedWrite(bytes, dir.filePath("one.txt"), false); });

  const double snapshot = Best(runs, [&] { (void)ResultTable::Of(table); });
  const double csv = Best(runs, [&] { WriteCsv(table, dir.filePath("results.csv")); });
  const double xlsx = Best(runs, [&] { WriteWorkbook(table, dir.filePath("results.xlsx")); });

  if (ui.reports > 0) {
    std::fprintf(stderr, "the text export reported a failure\n");
    return 1;
  }
  std::printf("table: %d rows x 12 columns; text file %.1f MiB, CSV %.1f MiB, workbook %.1f MiB\n",
              rows, double(bytes.size()) / (1 << 20),
              double(QFileInfo(dir.filePath("results.csv")).size()) / (1 << 20),
              double(QFileInfo(dir.filePath("results.xlsx")).size()) / (1 << 20));
  std::printf("text export (SaveListviewProperlySpaced)      %8.3f s\n", text);
  std::printf("one buffered write, synced and renamed         %8.3f s\n", one_write);
  std::printf("one buffered write, left in the page cache     %8.3f s\n", one_write_cached);
  std::printf("  of which the copy of the table it writes      %8.3f s\n", snapshot);
  std::printf("CSV export                                     %8.3f s\n", csv);
  std::printf("workbook export (libxlsxwriter)                %8.3f s\n", xlsx);
  std::printf("ratio text / one write (same safety)  %6.2f   target <= 2\n", text / one_write);
  std::printf("ratio text / one write (no sync)      %6.2f\n", text / one_write_cached);
  std::printf("ratio workbook / CSV                  %6.2f   target <= 3\n", xlsx / csv);
  return 0;
}
