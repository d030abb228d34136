#pragma once

#include <QString>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "batch/Audit.h"
#include "batch/CellText.h"
#include "batch/ColumnCatalogue.h"
#include "batch/FolderTotals.h"
#include "platform/PackedCells.h"

#include "core/ErrorReport.h"
#include "platform/EventLoop.h"
#include "platform/ProgressBarModel.h"
#include "platform/ReportListModel.h"
#include "platform/Ui.h"
#include "platform/WindowPointer.h"
#include "platform/formats/OtherFormatReader.h"

/// "Start Extracting Tags": reads every queued file and appends one row per file to the result
/// table, yielding to the event loop before each file. Worker threads, each with a tag object of
/// its own, read the next files while the rows are added strictly in list order.
class ErrorTrap;
class LegacyTextDecoder;
class ReadIndex;

class ExtractionRun {
 public:
  /// `running` is the window's ExtractionRunning flag; the run sets and clears it.
  ExtractionRun(ReportListModel& file_list, ReportListModel& results, ProgressBarModel& progress,
                WindowPointer& pointer, bool& running, Ui& ui, EventLoop& events,
                ErrorReport& errors)
      : file_list_(file_list),
        results_(results),
        progress_(progress),
        pointer_(pointer),
        running_(running),
        ui_(ui),
        events_(events),
        errors_(errors) {}

  /// The click of "Start Extracting Tags".
  void Start();

  /// The progress value shown for file i of a list of `rows` rows: floor(i / rows * 100); a
  /// list emptied meanwhile shows the bar full instead of dividing by zero.
  static double ProgressValue(int i, int rows);

  /// The caption a run leaves when some files could not be read: "1 204 files, 3 not read".
  static QString RunSummary(int files, int not_read);
  /// The caption a run leaves when the user stopped it: "Stopped after 40 of 1 204 files".
  static QString StoppedCaption(int done, int files);

  /// A flag the window raises to stop the run at its next file; the run lowers it as it starts.
  void SetStopFlag(bool* stop) { stop_ = stop; }

  /// The columns the run fills, by header, as the table shows them; the default ones unless
  /// the user chose others.
  void SetColumns(QStringList headers) { columns_ = std::move(headers); }
  const QStringList& Columns() const { return columns_; }

  /// Columns (catalogue headers) not shown that the result filter names: the next runs read
  /// them too and keep their cells beside the table, a row's by its arrival (FilterCells).
  void SetFilterColumns(QStringList headers) { filter_columns_ = std::move(headers); }
  /// The columns the last run kept so, and their cells: the row that arrived k-th has them in
  /// FilterCells()[k]. A run clears them as it starts.
  const QStringList& FilterColumns() const { return kept_columns_; }
  std::vector<RowCells>& FilterCells() { return filter_cells_; }

  /// How legacy text is read from the next run on; none keeps Windows-1252.
  void SetLegacyTextDecoder(std::shared_ptr<LegacyTextDecoder> decoder) {
    decoder_ = std::move(decoder);
  }
  /// Totals each file the run reads into `totals`, which the run clears as it starts; none
  /// counts nothing.
  void SetFolderTotals(FolderTotals* totals) { totals_ = totals; }

  /// The index the runs take unchanged files from and keep their reads in; none reads every
  /// file.
  void SetIndex(ReadIndex* index) { index_ = index; }

  /// How many threads read ahead (0: one per core); 1 reads each file in the run's own thread
  /// as it comes.
  void SetJobs(int jobs) { jobs_ = jobs; }
  int Jobs() const { return jobs_; }

  /// Reads files of every audio format through `reader` (none: MP3 alone, through the engine).
  void SetOtherFormatReader(std::shared_ptr<const OtherFormatReader> reader) {
    other_ = std::move(reader);
  }

  /// The rows of the file list (1-based, as the last run took them) whose files the last run
  /// could not read at all: missing, not a regular file, unreadable.
  const std::vector<int>& UnreadFiles() const { return unread_files_; }

  /// What the library report needs of each row the last run made beyond its cells, by the row's
  /// arrival (ReportListModel::Arrival): the codec profile a LAME header tells, and the front
  /// cover while the table shows the Pictures column. Rows past the end kept nothing.
  const Audit::KeptFacts& ReportFacts() const { return kept_; }

  /// Runs over more files than this compress the long cells they keep (lyrics, mostly): a
  /// million rows then fit in memory; smaller tables keep them plain and fill faster.
  static constexpr size_t kCompressFrom = 100000;
  /// Runs over at least this many files keep their long cells in a temporary file (CellSpill)
  /// in `folder` (empty: $TMPDIR, else /tmp); a file that cannot be made or written leaves
  /// them in memory, and the run says so once.
  static constexpr size_t kSpillFrom = 10000;
  void SetSpill(size_t from, std::string folder) {
    spill_from_ = from;
    spill_folder_ = std::move(folder);
  }

 private:
  void Fill(ErrorTrap& trap, size_t columns, RowCells* cells, int& row);
  // Moves the cells of the filter's columns out of a row read with them.
  void KeepFilterCells(RowCells* cells);

  size_t spill_from_ = kSpillFrom;
  std::string spill_folder_;

  ReportListModel& file_list_;
  ReportListModel& results_;
  ProgressBarModel& progress_;
  WindowPointer& pointer_;
  bool& running_;
  Ui& ui_;
  EventLoop& events_;
  ErrorReport& errors_;
  QStringList columns_ = ColumnCatalogue::DefaultHeaders();
  bool* stop_ = nullptr;
  std::shared_ptr<LegacyTextDecoder> decoder_;
  FolderTotals* totals_ = nullptr;
  int jobs_ = 0;  // 0: one per core
  ReadIndex* index_ = nullptr;
  std::vector<int> unread_files_;
  QStringList filter_columns_;
  QStringList kept_columns_;
  std::vector<RowCells> filter_cells_;
  Audit::KeptFacts kept_;
  std::shared_ptr<const OtherFormatReader> other_;
};
