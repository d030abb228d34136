// "Start Extracting Tags" over 10 000 files through the window's own code (Form1, the
// extraction run, the real event loop; no screen) against `tagloom-cli dump` on the same files.
//
//   bench_extraction [--files N] [DIR]
//
// DIR (default: a fresh folder under the temporary directory, removed afterwards) receives N
// files (default 10 000): the bundled samples, each linked under many names. Both sides read
// the same list with a warm cache; each is timed three times and the best time counts. Prints
// the times, the ratio, the longest gap between two yields of the run, and "PASS" or "FAIL"
// against the targets (at most 1.3x the command line; no gap over 50 ms).
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>

#include "app/Form1.h"
#include "bench/WindowBench.h"
#include "platform/PosixFileSystem.h"
#include "platform/StepFailure.h"
#include "platform/qt/QtEventLoop.h"
#include "tools/samples/SampleBuilder.h"

namespace {

constexpr int kRuns = 3;
constexpr double kRatioTarget = 1.3;
constexpr double kGapTargetMs = 50;

/// The real event loop, timed: the longest stretch between two yields.
class TimedEventLoop : public EventLoop {
 public:
  bool Yield() override {
    if (since_.isValid()) max_gap_ms_ = std::max(max_gap_ms_, since_.nsecsElapsed() / 1e6);
    const bool closing = inner_.Yield();
    since_.start();
    return closing;
  }
  double MaxGapMs() const { return max_gap_ms_; }
  void Reset() {
    since_.invalidate();
    max_gap_ms_ = 0;
  }

 private:
  QtEventLoop inner_;
  QElapsedTimer since_;
  double max_gap_ms_ = 0;
};

QStringList MakeCorpus(const QString& dir, int count) {
  const auto samples = SampleBuilder::BundledSamples();
  QStringList originals;
  for (const auto& sample : samples) {
    const QString path = dir + QStringLiteral("/") + QString::fromStdString(sample.name);
    QFile f(path);
    if (!f.exists() && (!f.open(QIODevice::WriteOnly) ||
                        f.write(sample.bytes.data(), static_cast<qint64>(sample.bytes.size())) !=
                            static_cast<qint64>(sample.bytes.size())))
      return {};
    originals.append(path);
  }
  QStringList paths;
  for (int i = 0; i < count; ++i) {
    const QString path = dir + QStringLiteral("/many/%1 - copy.mp3").arg(i, 5, 10, QChar(u'0'));
    if (!QFile::exists(path)) {
      QDir().mkpath(dir + QStringLiteral("/many"));
      const QByteArray from = QFile::encodeName(originals[i % originals.size()]);
      const QByteArray to = QFile::encodeName(path);
      // Links keep the corpus small; a file system without them gets copies.
      if (::link(from.constData(), to.constData()) != 0 &&
          !QFile::copy(originals[i % originals.size()], path))
        return {};
    }
    paths.append(path);
  }
  return paths;
}

double CliSeconds(const QString& cli, const QString& list) {
  QProcess process;
  process.setStandardOutputFile(QProcess::nullDevice());
  QElapsedTimer timer;
  timer.start();
  process.start(cli, {QStringLiteral("dump"), QStringLiteral("--files-from"), list});
  if (!process.waitForFinished(-1) || process.exitCode() != 0) return -1;
  return timer.nsecsElapsed() / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  int count = 10000;
  QString dir_arg;
  const QStringList args = app.arguments();
  for (int i = 1; i < args.size(); ++i) {
    if (args[i] == QStringLiteral("--files") && i + 1 < args.size()) {
      count = args[++i].toInt();
    } else {
      dir_arg = args[i];
    }
  }
  std::optional<QTemporaryDir> temporary;
  if (dir_arg.isEmpty()) temporary.emplace();
  const QString dir = dir_arg.isEmpty() ? temporary->path() : dir_arg;
  QDir().mkpath(dir);
  const QStringList paths = MakeCorpus(dir, count);
  if (paths.isEmpty()) {
    std::fprintf(stderr, "bench_extraction: cannot make the files in %s\n", qPrintable(dir));
    return 1;
  }
  const QString list = dir + QStringLiteral("/list.txt");
  {
    QFile f(list);
    if (!f.open(QIODevice::WriteOnly)) return 1;
    for (const QString& p : paths) f.write(QFile::encodeName(p) + '\n');
  }
  const QString cli = QCoreApplication::applicationDirPath() + QStringLiteral("/tagloom-cli");

  bench::SilentUi ui;
  bench::Unused unused;
  TimedEventLoop events;
  PosixFileSystem files;
  Services services{ui, unused, unused, unused, unused, events, files, unused, unused};
  Form1 form(services, unused, QCoreApplication::applicationDirPath());
  form.Form_Load();

  CliSeconds(cli, list);  // warms the cache for both sides
  double window_best = 1e9, cli_best = 1e9, max_gap = 0;
  for (int run = 0; run < kRuns; ++run) {
    form.ListView1.Clear();
    form.ListView1.AppendRows(paths);
    events.Reset();
    QElapsedTimer timer;
    timer.start();
    form.PushButton10_Click();
    window_best = std::min(window_best, timer.nsecsElapsed() / 1e9);
    max_gap = std::max(max_gap, events.MaxGapMs());
    if (form.ListView2.RowCount() != paths.size() || ui.last_message != QStringLiteral("Done.") ||
        ui.reports != 0) {
      std::fprintf(stderr, "bench_extraction: the run did not complete\n");
      return 1;
    }
    const double c = CliSeconds(cli, list);
    if (c < 0) {
      std::fprintf(stderr, "bench_extraction: %s failed\n", qPrintable(cli));
      return 1;
    }
    cli_best = std::min(cli_best, c);
  }
  const double ratio = window_best / cli_best;
  std::printf("files                        %d\n", static_cast<int>(paths.size()));
  std::printf("window run (headless)        %.3f s\n", window_best);
  std::printf("tagloom-cli dump             %.3f s\n", cli_best);
  std::printf("ratio window / cli           %.2fx  (target <= %.1fx)  %s\n", ratio, kRatioTarget,
              ratio <= kRatioTarget ? "PASS" : "FAIL");
  std::printf("longest gap between yields  %.2f ms  (target <= %.0f ms)  %s\n", max_gap,
              kGapTargetMs, max_gap <= kGapTargetMs ? "PASS" : "FAIL");
  return ratio <= kRatioTarget && max_gap <= kGapTargetMs ? 0 : 3;
}
