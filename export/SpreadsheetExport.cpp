#include "export/SpreadsheetExport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "core/ErrorTrap.h"
#include "core/Locations.h"
#include "export/ResultTable.h"
#include "export/TextLines.h"
#include "export/TextOutput.h"
#include "platform/EventLoop.h"
#include "platform/ReportListModel.h"
#include "platform/Spreadsheet.h"
#include "platform/StepFailure.h"
#include "platform/Ui.h"
#include "platform/WindowPointer.h"

QString DefaultWorkbookFolder() {
  QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  if (documents.isEmpty()) documents = QDir::homePath() + QStringLiteral("/Documents");
  return documents + QStringLiteral("/Tagloom");
}

QString NewWorkbookPath(const QString& folder, const QDateTime& when) {
  const QString stem =
      QStringLiteral("Tagloom results ") + when.toString(QStringLiteral("yyyy-MM-dd HH-mm-ss"));
  const QDir dir(folder);
  QString path = dir.filePath(stem + QStringLiteral(".xlsx"));
  for (int n = 2; QFileInfo::exists(path); ++n)
    path = dir.filePath(stem + QStringLiteral(" (%1).xlsx").arg(n));
  return path;
}

bool SpreadsheetExport::SaveResultsAsExcelFileIsExcelInstalled() {
  if (spreadsheet_.Available()) return true;
  try {
    ui_.Message(
        QStringLiteral("Excel is not installed on this computer. You need to have it "
                       "installed to use this software without error."));
  } catch (...) {
    // The probe reports nothing of its own failures.
  }
  return false;
}

void SpreadsheetExport::Run() {
  ErrorTrap trap(loc::kPushButton13Click, errors_);
  bool installed = false;
  trap.Step(100, [&] { installed = SaveResultsAsExcelFileIsExcelInstalled(); });
  if (!installed) {
    trap.Step(102, [&] {
      ui_.Message(
          QStringLiteral("Excel is not installed on this computer. You need to have it "
                         "installed to use this feature."));
    });
    return;
  }
  trap.Line(104);
  if (results_.RowCount() == 0) return;
  trap.Step(106, [&] { pointer_.BeginLongAction(); });
  // Yields below may run "Clear Results" or a new extraction; the workbook shows the table as
  // it stood at the click.
  const WorkbookFill fill = FillWorkbook(ResultTable::Of(results_), spreadsheet_, events_, trap);
  if (fill.created && !fill.closing) {
    QString path;
    trap.Step(126, [&] {
      const QString folder = place_.folder.isEmpty() ? DefaultWorkbookFolder() : place_.folder;
      if (!QDir().mkpath(folder))
        throw StepFailure("Cannot create the folder '" + folder.toStdString() + "'.");
      path = NewWorkbookPath(folder, place_.now ? place_.now() : QDateTime::currentDateTime());
    });
    bool saved = false;
    if (!path.isEmpty()) {
      trap.Step(128, [&] {
        spreadsheet_.Save(path);
        saved = true;
      });
    }
    if (saved) trap.Step(130, [&] { spreadsheet_.Open(path); });
    // Never silently: the user must know that the workbook is not the whole table.
    if (saved && fill.cut_cells > 0) {
      trap.Step(132, [&] {
        ui_.Message(QStringLiteral("%1 cell(s) held more than %2 characters, the most a workbook "
                                   "cell can hold, and were cut to that length in:\r%3")
                        .arg(fill.cut_cells)
                        .arg(TextLines::kWorkbookCellLimit)
                        .arg(QDir::toNativeSeparators(path)));
      });
    }
  }
  trap.Step(134, [&] { pointer_.EndLongAction(); });
}

void AddSummarySheet(const ResultTable& summary, Spreadsheet& spreadsheet) {
  spreadsheet.AddSheet(QStringLiteral("Summary"));
  bool cut = false;
  for (int c = 1; c <= summary.ColumnCount(); ++c)
    spreadsheet.SetCell(1, c, TextLines::WorkbookCellText(summary.headers[c - 1], cut));
  for (int r = 1; r <= summary.RowCount(); ++r)
    for (int c = 1; c <= summary.ColumnCount(); ++c)
      spreadsheet.SetCell(r + 1, c, TextLines::WorkbookCellText(summary.Cell(r, c), cut));
  spreadsheet.AutoFitColumns();
}

WorkbookFill FillWorkbook(const ResultTable& table, Spreadsheet& spreadsheet, EventLoop& events,
                          ErrorTrap& trap) {
  WorkbookFill fill;
  const int columns = table.ColumnCount();
  trap.Step(108, [&] {
    spreadsheet.NewWorkbook();
    fill.created = true;
  });
  const auto set_cell = [&](int row, int column, const QString& text) {
    bool cut = false;
    const QString fitted = TextLines::WorkbookCellText(text, cut);
    spreadsheet.SetCell(row, column, fitted);
    fill.cut_cells += cut ? 1 : 0;
  };
  // Without a workbook every cell would fail alike; the one report of its creation says it all.
  bool& closing = fill.closing;
  if (fill.created) {
    int sheet_column = 1;
    for (int c = 1; c <= columns && !closing; ++c) {
      trap.Line(110);
      closing = events.Yield();
      if (closing) break;
      trap.Step(112, [&] { set_cell(1, sheet_column, table.headers[c - 1]); });
      ++sheet_column;
    }
    int sheet_row = 2;
    for (int r = 1; r <= table.RowCount() && !closing; ++r) {
      trap.Line(114);
      closing = events.Yield();
      if (closing) break;
      trap.Line(116);
      if (table.rows[size_t(r - 1)].checked) {
        sheet_column = 1;
        for (int c = 1; c <= columns; ++c) {
          trap.Line(118);
          closing = events.Yield();
          if (closing) break;
          // The file name keeps its "=", tag texts lose theirs.
          const QString& cell = table.Cell(r, c);
          trap.Step(120, [&] {
            set_cell(sheet_row, sheet_column, c == 1 ? cell : TextLines::WithoutEquals(cell));
          });
          ++sheet_column;
        }
      }
      trap.Line(122);
      ++sheet_row;
    }
  }
  if (fill.created && !closing) trap.Step(124, [&] { spreadsheet.AutoFitColumns(); });
  return fill;
}

void SaveWorkbook(Spreadsheet& spreadsheet, TextOutput& out) {
  const QTemporaryDir folder;
  if (!folder.isValid())
    throw StepFailure("Cannot make a temporary folder for the workbook: " +
                      folder.errorString().toStdString());
  const QString path = folder.filePath(QStringLiteral("workbook.xlsx"));
  spreadsheet.Save(path);
  QFile saved(path);
  if (!saved.open(QIODevice::ReadOnly))
    throw StepFailure("Cannot read the saved workbook back: " + saved.errorString().toStdString());
  constexpr qint64 kPiece = qint64{1} << 20;
  for (;;) {
    const QByteArray piece = saved.read(kPiece);
    if (piece.isEmpty()) break;
    out.Write(std::string_view(piece.constData(), size_t(piece.size())));
  }
  if (saved.error() != QFileDevice::NoError)
    throw StepFailure("Cannot read the saved workbook back: " + saved.errorString().toStdString());
  out.Commit();
}
