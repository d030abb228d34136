#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "app/FormLoad.h"
#include "app/LibraryReport.h"
#include "app/SampleFiles.h"
#include "batch/ExtractionRun.h"
#include "batch/FileList.h"
#include "batch/FolderScan.h"
#include "batch/FolderTotals.h"
#include "batch/ResultFilter.h"
#include "core/ErrorReport.h"
#include "platform/MainWindowPort.h"
#include "platform/ProgressBarModel.h"
#include "platform/ReportListModel.h"
#include "platform/Services.h"
#include "platform/WindowPointer.h"
#include "readindex/ReadIndex.h"

/// The window's event loop as the actions see it: once the window closes, every yield answers
/// that the program is closing, so an action stops before it touches the window again.
class ClosingAwareEventLoop : public EventLoop {
 public:
  explicit ClosingAwareEventLoop(EventLoop& inner) : inner_(inner) {}
  bool Yield() override { return inner_.Yield() || closing_; }
  void SetClosing() { closing_ = true; }
  bool Closing() const { return closing_; }

 private:
  EventLoop& inner_;
  bool closing_ = false;
};

/// The main window without its widgets: the two lists, the progress bar, the pointer and one
/// handler per user action. Each handler hands its work to the action class of its subsystem,
/// so the window on screen and the tests drive exactly the same code.
class Form1 {
 public:
  /// `program_folder` holds the program and the files beside it (skin, pictures, Samples).
  Form1(Services& services, MainWindowPort& window, QString program_folder);
  Form1(const Form1&) = delete;
  Form1& operator=(const Form1&) = delete;

  /// The file list: one full path per row.
  ReportListModel ListView1;
  /// The result table: the file name and eleven tag fields per row, and a checked flag.
  ReportListModel ListView2;
  ProgressBarModel ProgressBar1;
  /// The window's pointer; its busy state is the lock other handlers test.
  WindowPointer MousePointer;
  /// True while "Start Extracting Tags" runs.
  bool ExtractionRunning = false;

  const QString& ProgramFolder() const { return program_folder_; }
  /// The services every action uses; their event loop reports the window's closing.
  Services& services() { return services_; }
  ErrorReport& errors() { return errors_; }
  /// True once the window has begun to close.
  bool Closing() const { return events_.Closing(); }

  // ---- Window events ----
  void Form_Load();
  /// The window closes: long actions stop at their next yield, and the program ends.
  void Form_Unload();
  /// The pointer moves over the window's background.
  void Form_MouseMove();
  /// The pointer moves over any push button.
  void PushButton_MouseMove();

  // ---- Push buttons, one handler each ----
  void PushButton1_Click();   // "Save Results As Text File"
  void PushButton2_Click();   // "Old" (hidden)
  void PushButton3_Click();   // "Add All MP3 File(s) In Folder"
  void PushButton4_Click();   // "Add MP3 File(s)"
  void PushButton5_Click();   // "Clear Results"
  void PushButton6_Click();   // "Copy Results To Clipboard"
  void PushButton7_Click();   // "Clear List"
  void PushButton8_Click();   // "Load Sample/Example Files"
  void PushButton9_Click();   // "Help"
  void PushButton10_Click();  // "Start Extracting Tags"
  void PushButton13_Click();  // "Save Results As Excel File"

  // ---- List events of the file list (ListView1) and the result table (ListView2) ----
  /// The file list's view on screen, for hit tests, scrolling and its own pointer.
  void AttachFileListView(ListViewPort& view) { file_list_view_.Attach(&view); }
  void ListView1_MouseDown();
  void ListView1_ItemClick();
  /// x and y in the list's area, screen_y from the top edge of the screen.
  void ListView1_MouseMove(int x, int y, int screen_y);
  void ListView1_MouseUp();
  void ListView1_DblClick();
  void ListView1_KeyDown(int key_code);
  /// Files and folders dropped on the file list, as local paths, after the drop has returned.
  void ListView1_OLEDragDrop(const QStringList& paths);
  void ListView2_KeyDown(int key_code);
  void ListView2_MouseMove();
  bool ReorderDragActive() const { return file_list_.ReorderDragActive(); }

  // ---- Additions a user turns on; with none used the window is as it always was ----
  /// "Stop" and the Esc key: a busy run or folder scan ends at its next file. False when nothing
  /// was busy.
  bool Stop();
  /// The result columns shown, by header, in order.
  QStringList ResultColumns() const { return extraction_run_.Columns(); }
  /// Shows these columns (catalogue headers) from now on and remembers them; rows already read
  /// keep the cells of the columns that stay. Refused, answering false, while a run adds rows.
  bool SetResultColumns(const QStringList& headers);
  /// "Columns…": the chooser, then the columns ticked, in their order.
  void ChooseColumns();
  /// "Library report": the report of the result table's rows, without reading again; none while
  /// a run adds rows, or, said in a box, when the table is empty.
  std::optional<LibraryReport::Made> MakeLibraryReport();
  /// A click on a result column's header (1-based): ascending, descending, then the run's
  /// order again. While a run adds rows it answers false and sorts ascending when the run ends.
  bool SortResultsBy(int column);
  /// The column the table is sorted by (0: the run's order) and whether it runs downwards.
  int SortColumn() const { return sort_column_; }
  /// A header clicked while a run adds rows: the column sorted by when the run ends (0: none).
  int PendingSort() const { return pending_sort_; }
  bool SortDescending() const { return sort_descending_; }

  /// The filter field above the result table: only the rows the text keeps are shown, sorted,
  /// checked and exported. Applied as typed; a text typed while this one is applied takes
  /// over. The text is remembered beside the columns. False when it is malformed (the rows
  /// then stay as they were; ResultFilterProblem says why).
  bool SetResultFilter(const QString& text);
  const QString& ResultFilterText() const { return result_filter_.Text(); }
  /// What is wrong with the filter text, naming the place; empty when nothing is.
  const QString& ResultFilterProblem() const { return result_filter_.Problem(); }
  /// "N of M rows shown" while a filter is set; empty otherwise.
  QString ResultFilterCaption() const { return result_filter_.Caption(); }
  static constexpr char16_t kFilterKey[] = u"Filter";
  /// "Save as playlist…": the rows shown and checked as an extended M3U playlist, paths
  /// relative to its folder where they lie beneath it.
  void SavePlaylist();
  /// The full path of a result row's file, or empty when the table no longer knows it.
  QString ResultPath(int row) const;

  // ---- Row actions of the result table (its context menu and keys), on the rows selected ----
  /// One file opens in the desktop's player; several go to it as one playlist.
  void OpenResultFiles(const std::vector<int>& rows);
  /// Each file's folder in the file manager, the file selected where the desktop can.
  void ShowResultFiles(const std::vector<int>& rows);
  /// The full paths on the clipboard, one a line.
  void CopyResultPaths(const std::vector<int>& rows);
  /// Reads the files again (edited elsewhere since) into their rows.
  void RereadResultRows(const std::vector<int>& rows);
  void RemoveResultRows(const std::vector<int>& rows);

  /// How many threads read ahead in the runs (0, the default: one per core; 1: none).
  void SetReadJobs(int jobs);

  /// A width the user gave a result column (by its header), kept for it from now on and
  /// remembered for the next session.
  void RememberColumnWidth(int column, int twips);
  static constexpr char16_t kColumnWidthsKey[] = u"ColumnWidths";

  /// The settings key of the chosen columns, beside the extension and the last folder.
  static constexpr char16_t kColumnsKey[] = u"Columns";

  /// How legacy text (ID3v1, Lyrics3, ID3v2 text without an encoding of its own) is read:
  /// "windows-1252" as always, "detect" for a code page detected per file, or a code page as
  /// iconv names it ("windows-1251", "koi8-r", ...).
  QString LegacyText() const { return legacy_text_; }
  /// Reads legacy text so from the next run on and remembers the choice. Refused, answering
  /// false, for a code page iconv does not know and while a run adds rows.
  bool SetLegacyText(const QString& setting);
  /// The settings key of the legacy-text choice.
  static constexpr char16_t kLegacyTextKey[] = u"LegacyText";

  /// Totals per folder of every file of the last run.
  const FolderTotals& Summary() const { return folder_totals_; }
  /// Puts the summary into a table (replacing its columns and rows), every row checked, so the
  /// text, clipboard and workbook exports write it as they write the results: while a filter is
  /// set, the totals of the rows it shows; otherwise of every file of the last run.
  void FillSummaryTable(ReportListModel& table) const;
  /// Whether "Save Results As Excel File" adds a "Summary" sheet of the folder totals; off
  /// unless the user turned it on, and remembered.
  bool SummarySheet() const { return summary_sheet_; }
  void SetSummarySheet(bool on);
  static constexpr char16_t kSummarySheetKey[] = u"SummarySheet";
  /// "Read every audio format": runs read the other formats through the reader the window
  /// gave (SetOtherFormatReader), the folder scan offers their extensions and the file dialog
  /// shows their files. Off unless the user turned it on, and remembered.
  bool EveryFormat() const { return every_format_; }
  void SetEveryFormat(bool on);
  static constexpr char16_t kEveryFormatKey[] = u"EveryFormat";
  void SetOtherFormatReader(std::shared_ptr<const OtherFormatReader> reader);
  /// "Copy Folder Summary" (the result header's menu): the totals as the clipboard copy writes
  /// the results.
  void CopySummary();

  /// "Remember files between runs": each file's read kept in an index in the user's cache
  /// folder, so a run reads only the files that changed; off unless turned on, and remembered.
  bool RememberFiles() const { return remember_files_; }
  void SetRememberFiles(bool on);
  static constexpr char16_t kRememberFilesKey[] = u"RememberFiles";
  /// "Forget Remembered Files": the index removed, so the next run reads every file. Refused,
  /// answering false, while a run adds rows.
  bool ForgetFiles();
  /// Where the index lives: $XDG_CACHE_HOME/tagloom/index.db, or ~/.cache when that is unset.
  static QString IndexPath();

 private:
  void ApplyColumns(const QStringList& headers);
  /// The filter again after a run or a change of columns, the sort kept.
  void ReapplyFilter();
  void OpenIndex();
  void TellIndexNotes();
  void ApplyEveryFormat(bool on);
  void ShowColumns(const QStringList& headers);
  static QStringList Headers(const ReportListModel& list);
  /// The headers of the columns the rows were read for: those the exports write.
  static QStringList ReadHeaders(const ReportListModel& list);
  /// Columns added after a run say so on the bar until a run or "Clear Results" settles them.
  void ShowUnreadColumns();
  void ApplyRememberedWidths();

  ClosingAwareEventLoop events_;
  Services services_;
  MainWindowPort& window_;
  QString program_folder_;
  ErrorReport errors_;

  // ---- Action classes, one per handler that does more than a line ----
  FormLoad form_load_;
  SampleFiles sample_files_;
  ExtractionRun extraction_run_;
  ListViewPortRelay file_list_view_;
  FolderScan folder_scan_;
  FileList file_list_;

  bool stop_requested_ = false;
  bool summary_sheet_ = false;
  bool every_format_ = false;
  std::shared_ptr<const OtherFormatReader> other_formats_;
  FolderTotals folder_totals_;
  // The result rows came from the last extraction run, so its files kept in folder_totals_
  // are theirs, by arrival ("Old" fills the rows without totals).
  bool totals_of_rows_ = false;
  ResultFilter result_filter_;
  // The paths the last run read, in its order: result row k arrived from path k.
  std::vector<RowCells> result_paths_;
  QString legacy_text_;
  bool remember_files_ = false;
  std::unique_ptr<ReadIndex> index_;
  // What the index had to say, from whichever thread, told once the run is over.
  std::shared_ptr<std::pair<std::mutex, QStringList>> index_notes_ =
      std::make_shared<std::pair<std::mutex, QStringList>>();
  int read_jobs_ = 0;
  int sort_column_ = 0;
  int pending_sort_ = 0;
  QMap<QString, int> column_widths_;  // twips, by header
  bool sort_descending_ = false;
};
