// The folder scan against `find DIR -iname '*.mp3'` on one generated tree, warm cache, and the
// cost per row of filling the file list at growing sizes.
//
//   bench_folder_scan [--keep] [DIR]
//
// DIR (default: a fresh folder under the temporary directory) receives 100 000 files in 5 000
// folders unless it already holds that tree. Prints the times, the ratios, and "PASS" or "FAIL"
// against the targets (scan at most 1.2x find; the cost per row at 100 000 rows at most 1.5x the
// cost at 25 000).
#include <sys/resource.h>
#include <sys/stat.h>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <limits>
#include <string>

#include "batch/AddFolder.h"
#include "batch/FolderScan.h"
#include "platform/EventLoop.h"
#include "platform/PosixFileSystem.h"
#include "platform/ReportListModel.h"
#include "platform/qt/ReportListView.h"

namespace {

constexpr int kTopFolders = 50;
constexpr int kFoldersPerTop = 99;  // 50 + 50 * 99 = 5 000 folders
constexpr int kFilesPerFolder = 20;
constexpr int kRuns = 7;
constexpr double kScanTarget = 1.2;

class NoEvents : public EventLoop {
 public:
  bool Yield() override { return false; }
};

bool WriteFile(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::WriteOnly) && f.write("x", 1) == 1;
}

// Each folder holds twenty files: mostly ".mp3", some in capitals, some other types, one hidden.
bool MakeFolderFiles(const QString& folder) {
  for (int i = 0; i < kFilesPerFolder; ++i) {
    QString name = QStringLiteral("track %1").arg(i, 2, 10, QChar(u'0'));
    if (i % 10 == 7)
      name += QStringLiteral(".jpg");
    else if (i % 10 == 3)
      name += QStringLiteral(".MP3");
    else if (i == 19)
      name = QStringLiteral(".hidden.mp3");
    else
      name += QStringLiteral(".mp3");
    if (!WriteFile(folder + u'/' + name)) return false;
  }
  return true;
}

int CountFiles(const QString& root) {
  const std::string command = "find '" + root.toStdString() + "' -type f | wc -l";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return -1;
  int count = -1;
  if (std::fscanf(pipe, "%d", &count) != 1) count = -1;
  ::pclose(pipe);
  return count;
}

bool MakeTree(const QString& root) {
  constexpr int kFiles = kTopFolders * (1 + kFoldersPerTop) * kFilesPerFolder;
  if (CountFiles(root) == kFiles) return true;
  std::printf("making %d files in %d folders under %s ...\n", kFiles,
              kTopFolders * (1 + kFoldersPerTop), qPrintable(root));
  for (int t = 0; t < kTopFolders; ++t) {
    const QString top = root + QStringLiteral("/artist %1").arg(t, 2, 10, QChar(u'0'));
    if (!QDir().mkpath(top) || !MakeFolderFiles(top)) return false;
    for (int a = 0; a < kFoldersPerTop; ++a) {
      // Two levels below each artist, as albums and discs are usually kept.
      const QString album = top + QStringLiteral("/album %1").arg(a / 3, 2, 10, QChar(u'0')) +
                            (a % 3 ? QStringLiteral("/disc %1").arg(a % 3) : QString());
      if (!QDir().mkpath(album) || !MakeFolderFiles(album)) return false;
    }
  }
  return CountFiles(root) == kFiles;
}

double BestOf(int runs, const std::function<void()>& work) {
  double best = std::numeric_limits<double>::max();
  for (int i = 0; i < runs; ++i) {
    QElapsedTimer timer;
    timer.start();
    work();
    best = std::min(best, timer.nsecsElapsed() / 1e9);
  }
  return best;
}

// User and system time of this process or of its finished children, in seconds.
double CpuSeconds(int who) {
  rusage usage{};
  ::getrusage(who, &usage);
  const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

int FindCount = 0;

void RunFind(const QString& root) {
  const std::string command = "find '" + root.toStdString() + "' -iname '*.mp3' | wc -l";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return;
  if (std::fscanf(pipe, "%d", &FindCount) != 1) FindCount = -1;
  ::pclose(pipe);
}

int ScanCount = 0;

// What "Add All MP3 File(s) In Folder" does after its two questions.
void RunScan(const QString& root) {
  PosixFileSystem files;
  NoEvents events;
  ReportListModel list;
  QStringList folders{root + u'/'};
  const QString pattern = QStringLiteral("*.mp3");
  AddFolder::ListedFiles listed;
  FolderScan::WalkForFiles(folders, pattern, {files, events, {}}, listed);
  for (const QString& folder : std::as_const(folders))
    FolderScan::QueueFiles(list, files, folder, pattern, &listed);
  ScanCount = list.RowCount();
}

// Seconds per row for appending n paths one row at a time to a list shown on screen.
double PerRowCost(int n) {
  QStringList paths;
  paths.reserve(n);
  for (int i = 0; i < n; ++i)
    paths.append(QStringLiteral("/music/artist/album/track %1.mp3").arg(i));
  const double seconds = BestOf(5, [&] {
    ReportListModel list;
    list.AddColumn(QStringLiteral("File(s)"), 7000);
    ReportListView view(list);
    view.resize(600, 400);
    view.show();
    for (const QString& p : std::as_const(paths)) list.AppendRow(p);
    QCoreApplication::processEvents();
  });
  return seconds / n;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  bool keep = false;
  QString root;
  for (int i = 1; i < argc; ++i) {
    const QString arg = QString::fromLocal8Bit(argv[i]);
    if (arg == QLatin1String("--keep"))
      keep = true;
    else
      root = QDir(arg).absolutePath();
  }
  QTemporaryDir temp;
  if (root.isEmpty()) {
    root = temp.path() + QStringLiteral("/tree");
    temp.setAutoRemove(!keep);
    if (keep) std::printf("tree kept in %s\n", qPrintable(root));
  }
  if (!MakeTree(root)) {
    std::fprintf(stderr, "cannot make the tree under %s\n", qPrintable(root));
    return 2;
  }

  RunFind(root);  // warm the cache
  RunScan(root);
  // Turn about, so that a busy moment on the machine falls on both alike; the best run counts.
  double find_s = std::numeric_limits<double>::max();
  double scan_s = std::numeric_limits<double>::max();
  double find_cpu = std::numeric_limits<double>::max();
  double scan_cpu = std::numeric_limits<double>::max();
  for (int i = 0; i < kRuns; ++i) {
    const double children = CpuSeconds(RUSAGE_CHILDREN);
    find_s = std::min(find_s, BestOf(1, [&] { RunFind(root); }));
    find_cpu = std::min(find_cpu, CpuSeconds(RUSAGE_CHILDREN) - children);
    const double self = CpuSeconds(RUSAGE_SELF);
    scan_s = std::min(scan_s, BestOf(1, [&] { RunScan(root); }));
    scan_cpu = std::min(scan_cpu, CpuSeconds(RUSAGE_SELF) - self);
  }
  // Steadier than wall time on a busy machine; find's figure includes its shell and wc.
  std::printf("cpu time: folder scan %.3f s, find %.3f s; ratio %.2f\n", scan_cpu, find_cpu,
              scan_cpu / find_cpu);
  const double ratio = scan_s / find_s;
  std::printf(
      "folder scan: %d files in %.3f s; find -iname: %d files in %.3f s; ratio %.2f "
      "(target <= %.2f) %s\n",
      ScanCount, scan_s, FindCount, find_s, ratio, kScanTarget,
      ratio <= kScanTarget ? "PASS" : "FAIL");

  const double small = PerRowCost(25000);
  const double large = PerRowCost(100000);
  const double growth = large / small;
  std::printf(
      "file list: %.2f us per row at 25 000 rows, %.2f us at 100 000; ratio %.2f "
      "(target <= 1.50) %s\n",
      small * 1e6, large * 1e6, growth, growth <= 1.5 ? "PASS" : "FAIL");
  // find also counts the one hidden file per folder, which the scan leaves out.
  const int folders = kTopFolders * (1 + kFoldersPerTop);
  const bool counts_agree = ScanCount + folders == FindCount;
  if (!counts_agree)
    std::printf("FAIL: the scan queued %d files, find found %d; expected find = scan + %d\n",
                ScanCount, FindCount, folders);
  return ratio <= kScanTarget && growth <= 1.5 && counts_agree ? 0 : 1;
}
