#pragma once

#include <QString>

#include "app/FormLoad.h"
#include "app/SampleFiles.h"
#include "batch/ExtractionRun.h"
#include "batch/FileList.h"
#include "batch/FolderScan.h"
#include "batch/FolderTotals.h"
#include "core/ErrorReport.h"
#include "platform/MainWindowPort.h"
#include "platform/ProgressBarModel.h"
#include "platform/ReportListModel.h"
#include "platform/Services.h"
#include "platform/WindowPointer.h"

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
  /// A click on a result column's header (1-based): ascending, descending, then the run's
  /// order again. Refused, answering false, while a run adds rows.
  bool SortResultsBy(int column);
  /// The column the table is sorted by (0: the run's order) and whether it runs downwards.
  int SortColumn() const { return sort_column_; }
  bool SortDescending() const { return sort_descending_; }

  /// How many threads read ahead in the runs (0, the default: one per core; 1: none).
  void SetReadJobs(int jobs);

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

  /// Totals per folder of the last run, for the "Summary" sheet and the summary export.
  const FolderTotals& Summary() const { return folder_totals_; }
  /// Puts the summary into a table (replacing its columns and rows), every row checked, so the
  /// text, clipboard and workbook exports write it as they write the results.
  void FillSummaryTable(ReportListModel& table) const { folder_totals_.FillTable(table); }
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

 private:
  void ApplyColumns(const QStringList& headers);
  void ApplyEveryFormat(bool on);
  void ShowColumns(const QStringList& headers);
  static QStringList Headers(const ReportListModel& list);

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
  QString legacy_text_;
  int read_jobs_ = 0;
  int sort_column_ = 0;
  bool sort_descending_ = false;
};
