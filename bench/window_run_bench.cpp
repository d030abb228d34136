// The window's "Start Extracting Tags" as a user runs it, as one process: the real window on
// Qt's offscreen platform, the paths of LIST queued, the button clicked, until "Done.".
//
//   bench_window_run [--jobs N] [--columns NAME,...] LIST
//
// Prints one line of figures for bench/scale_bench.sh: rows, the run's wall and CPU seconds (all
// threads, and the window's own thread),
// the longest stretch between two yields of the run (the window's event loop cannot run then)
// and the longest single turn of the event loop, the process's peak RSS and the heap in use at
// the end, the bytes of the two lists' row blocks, and the time a sort by Title then takes.
// Exits with 1 when
// the run did not end with "Done." and one row per path.
#include <malloc.h>
#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>

#include "app/ui/MainWindow.h"
#include "batch/ResultSort.h"
#include "bench/WindowBench.h"
#include "platform/PosixFileSystem.h"
#include "platform/StepFailure.h"
#include "platform/qt/QtEventLoop.h"

namespace {

/// The real event loop, timed: the longest stretch between two yields, and the longest yield.
class TimedEventLoop : public EventLoop {
 public:
  bool Yield() override {
    if (since_.isValid()) max_gap_ms_ = std::max(max_gap_ms_, since_.nsecsElapsed() / 1e6);
    QElapsedTimer inside;
    inside.start();
    const bool closing = inner_.Yield();
    max_turn_ms_ = std::max(max_turn_ms_, inside.nsecsElapsed() / 1e6);
    since_.start();
    return closing;
  }
  void Reset() {
    since_.invalidate();
    max_gap_ms_ = max_turn_ms_ = 0;
  }
  double MaxGapMs() const { return max_gap_ms_; }
  double MaxTurnMs() const { return max_turn_ms_; }

 private:
  QtEventLoop inner_;
  QElapsedTimer since_;
  double max_gap_ms_ = 0;
  double max_turn_ms_ = 0;
};

double CpuSeconds(clockid_t clock = CLOCK_PROCESS_CPUTIME_ID) {
  timespec t{};
  ::clock_gettime(clock, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// The resident set now, against the peak.
long RssKb() {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly)) return 0;
  for (const QByteArray& line : status.readAll().split('\n'))
    if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').value(0).toLong();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  int jobs = 0;
  QStringList columns;
  QString list;
  const QStringList args = app.arguments();
  for (qsizetype i = 1; i < args.size(); ++i) {
    if (args[i] == QStringLiteral("--jobs") && i + 1 < args.size()) {
      jobs = args[++i].toInt();
    } else if (args[i] == QStringLiteral("--columns") && i + 1 < args.size()) {
      columns = args[++i].split(u',');
    } else {
      list = args[i];
    }
  }
  QStringList paths;
  {
    QFile f(list);
    if (list.isEmpty() || !f.open(QIODevice::ReadOnly)) {
      std::fprintf(stderr, "usage: bench_window_run [--jobs N] [--columns NAME,...] LIST\n");
      return 2;
    }
    while (!f.atEnd()) {
      QByteArray line = f.readLine();
      if (line.endsWith('\n')) line.chop(1);
      if (!line.isEmpty()) paths.append(QFile::decodeName(line));
    }
  }

  bench::SilentUi ui;
  bench::Unused unused;
  TimedEventLoop events;
  PosixFileSystem files;
  Services services{ui, unused, unused, unused, unused, events, files, unused, unused};
  MainWindow window(services, QCoreApplication::applicationDirPath());
  window.show();
  QCoreApplication::processEvents();
  Form1& form = window.form();
  if (jobs > 0) form.SetReadJobs(jobs);
  if (!columns.isEmpty() && !form.SetResultColumns(columns)) {
    std::fprintf(stderr, "bench_window_run: unknown columns\n");
    return 2;
  }
  form.ListView1.AppendRows(paths);
  paths = QStringList();  // released, not just emptied: a list of a million keeps its room
  QCoreApplication::processEvents();

  events.Reset();
  QElapsedTimer timer;
  timer.start();
  const double cpu_before = CpuSeconds();
  const double window_cpu_before = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
  form.PushButton10_Click();
  const double run_s = timer.nsecsElapsed() / 1e9;
  const double cpu_s = CpuSeconds() - cpu_before;
  const double window_cpu_s = CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - window_cpu_before;
  QCoreApplication::processEvents();

  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  const struct mallinfo2 heap = ::mallinfo2();
  const auto blocks = [](const ReportListModel& list) {
    size_t bytes = 0;
    for (int r = 1; r <= list.RowCount(); ++r) bytes += list.Cells(r).BlockBytes();
    return bytes;
  };
  const int rows = form.ListView2.RowCount();
  // A header click on Title, after the figures of the run: the sort's keys come and go.
  timer.restart();
  const double sort_cpu_before = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
  ResultSort::Sort(form.ListView2, 2, ResultSort::Direction::kAscending);
  const double sort_s = timer.nsecsElapsed() / 1e9;
  const double sort_cpu_s = CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - sort_cpu_before;
  std::printf(
      "rows=%d run_s=%.4f cpu_s=%.4f window_thread_cpu_s=%.4f max_gap_ms=%.2f max_turn_ms=%.2f "
      "peak_rss_kb=%ld heap_in_use_kb=%zu result_blocks_kb=%zu file_list_blocks_kb=%zu "
      "sort_s=%.4f sort_cpu_s=%.4f rss_after_kb=%ld\n",
      rows, run_s, cpu_s, window_cpu_s, events.MaxGapMs(), events.MaxTurnMs(), usage.ru_maxrss,
      (heap.uordblks + heap.hblkhd) / 1024, blocks(form.ListView2) / 1024,
      blocks(form.ListView1) / 1024, sort_s, sort_cpu_s, RssKb());
  const bool complete = rows == form.ListView1.RowCount() &&
                        ui.last_message == QStringLiteral("Done.") && ui.reports == 0;
  if (!complete) std::fprintf(stderr, "bench_window_run: the run did not complete\n");
  return complete ? 0 : 1;
}
