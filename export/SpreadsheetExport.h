#pragma once

#include <QDateTime>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class ErrorReport;
class ErrorTrap;
struct ResultTable;
class EventLoop;
class ReportListModel;
class Spreadsheet;
class TextOutput;
class Ui;
class WindowPointer;

/// Where workbooks go: a folder of the user's that survives a restart (never a temporary folder,
/// which the desktop empties at boot while the user believes the workbook saved).
struct WorkbookPlace {
  QString folder;                  ///< empty: DefaultWorkbookFolder()
  std::function<QDateTime()> now;  ///< empty: the local clock
};

/// ~/Documents/Tagloom, or the desktop's own documents folder when it names another.
QString DefaultWorkbookFolder();

/// "Tagloom results 2026-12-07 19-30-05.xlsx" in the folder, with " (2)", " (3)", ... added
/// when a file of that name is already there.
QString NewWorkbookPath(const QString& folder, const QDateTime& when);

/// The message for a workbook saved at `path` that could not be opened, and why.
QString WorkbookNotOpenedText(const QString& path, const QString& reason);

/// What filling a workbook came to.
struct WorkbookFill {
  bool created = false;  ///< the new workbook exists
  bool closing = false;  ///< the window began to close meanwhile; the workbook is partial
  int cut_cells = 0;     ///< cells cut to the most a workbook cell holds
};

/// What the columns of a chosen set are, where the workbook treats them apart; empty lists give
/// the default table's rules (column 1, the file name, keeps its "=").
struct WorkbookColumnKinds {
  std::vector<bool> keeps_equals;  ///< the column names a file, not a tag text
  std::vector<bool> durations;     ///< "h:mm:ss" cells become time values
};

/// Writes the header and the checked rows of the table into a new workbook, sizes its columns,
/// freezes the header row and puts filters on it, under the caller's trap. The file name keeps
/// its "=", tag texts lose theirs; plain decimal numbers without a leading zero are numbers.
WorkbookFill FillWorkbook(const ResultTable& table, Spreadsheet& spreadsheet, EventLoop& events,
                          ErrorTrap& trap, const WorkbookColumnKinds& kinds = {});

/// A cell's number as a spreadsheet would take the typed text, or none.
std::optional<double> WorkbookNumber(const QString& text);
/// "h:mm:ss" as seconds, or none.
std::optional<double> WorkbookDurationSeconds(const QString& text);

/// Adds a sheet named "Summary" after the results and writes the summary table into it: its
/// header, then every row, each cell as it is (folder names keep a leading "="), columns fitted.
/// The window calls it between FillWorkbook and SaveWorkbook with the table of
/// Form1::FillSummaryTable. Throws StepFailure when the workbook cannot hold a second sheet.
void AddSummarySheet(const ResultTable& summary, Spreadsheet& spreadsheet);

/// Saves the workbook where `out` puts its bytes: into a private temporary folder first, as the
/// workbook writer needs a path of its own, then through `out`, which commits them.
void SaveWorkbook(Spreadsheet& spreadsheet, TextOutput& out);

/// "Save Results As Excel File": writes the result table into a new workbook, saves it under a
/// new name and opens it in the desktop's spreadsheet application; where none can open it, says
/// in which folder and under which name the workbook was saved.
class SpreadsheetExport {
 public:
  SpreadsheetExport(const ReportListModel& results, Spreadsheet& spreadsheet,
                    WindowPointer& pointer, Ui& ui, EventLoop& events, ErrorReport& errors,
                    WorkbookPlace place = {})
      : results_(results),
        spreadsheet_(spreadsheet),
        pointer_(pointer),
        ui_(ui),
        events_(events),
        errors_(errors),
        place_(std::move(place)) {}

  /// How the columns of a chosen set go into the workbook; the default table needs none.
  void SetColumnKinds(WorkbookColumnKinds kinds) { kinds_ = std::move(kinds); }
  /// Folder totals to add on a "Summary" sheet after the results.
  void SetSummary(ResultTable summary);

  void Run();

 private:
  const ReportListModel& results_;
  Spreadsheet& spreadsheet_;
  WindowPointer& pointer_;
  Ui& ui_;
  EventLoop& events_;
  ErrorReport& errors_;
  WorkbookPlace place_;
  WorkbookColumnKinds kinds_;
  std::shared_ptr<const ResultTable> summary_;
};
