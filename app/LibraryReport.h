#pragma once

#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <optional>
#include <thread>
#include <vector>

#include "batch/Audit.h"

class ReportListModel;

/// The library report of the window: made from the rows the last run put in the result table,
/// without reading a file again. The rules that need a column the table does not show stay
/// silent, and the report names those columns.
namespace LibraryReport {

struct Made {
  Audit::Report report;
  std::vector<Audit::Row> rows;  // kept for the audio checks, which add to them
  Audit::Options options;
  /// The result table's row (1-based) of each file the report speaks of, by its path.
  std::vector<std::pair<QString, int>> rows_by_path;
  /// Report columns the table lacks, by header.
  QStringList lacking;
};

/// `file_list` gives the paths when the table shows neither Full path nor Folder: its rows are
/// the run's, in order, as long as the table keeps the run's order. `kept` is what the run
/// kept of each row beyond its cells, by the row's arrival (ExtractionRun::ReportFacts).
Made FromTables(const ReportListModel& file_list, const ReportListModel& results,
                const Audit::Options& options = {}, const Audit::KeptFacts& kept = {});

/// The table's row of a file the report names; 0 for none (an album's folder, say).
int RowOf(const Made& made, const QString& path);

/// What `--deep` and `--audio-hash` add, read from the files themselves: each file is read once,
/// then the report made again. `go_on` hears how many files are done and may stop the checks
/// (false), which leaves `made` as it was; the answer is whether they ran to the end.
bool CheckAudio(Made& made, bool deep, bool hash,
                const std::function<bool(size_t done, size_t total)>& go_on);

/// "Check audio…" off the window's thread: a worker reads the files one after another while the
/// window stays free, polling Done() for its progress bar; Stop() ends it at the next file.
class AudioCheck {
 public:
  /// Starts at once, on `made` (a copy: the report shown stays as it is until the end).
  /// `on_file` is called on the worker before each file (tests pace the worker with it).
  AudioCheck(Made made, bool deep, bool hash, std::function<void(size_t done)> on_file = {});
  /// Stops the worker and waits for the file in hand.
  ~AudioCheck();
  AudioCheck(const AudioCheck&) = delete;
  AudioCheck& operator=(const AudioCheck&) = delete;

  size_t Total() const { return total_; }
  size_t Done() const { return done_.load(std::memory_order_relaxed); }
  bool Finished() const { return finished_.load(std::memory_order_acquire); }
  void Stop() { stop_.store(true, std::memory_order_relaxed); }
  /// Once Finished(): the report with what the checks found, or none when stopped.
  std::optional<Made> Result();

 private:
  Made made_;
  size_t total_ = 0;
  std::atomic<size_t> done_{0};
  std::atomic<bool> stop_{false};
  std::atomic<bool> finished_{false};
  bool complete_ = false;
  std::thread worker_;
};

}  // namespace LibraryReport
