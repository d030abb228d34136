#include "export/SpreadsheetExport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <filesystem>
#include <system_error>

#include "core/ErrorTrap.h"
#include "core/Locations.h"
#include "export/ResultTable.h"
#include "export/TextLines.h"
#include "export/TextOutput.h"
#include "platform/EventLoop.h"
#include "platform/FileNames.h"
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

QString WorkbookNotOpenedText(const QString& path, const QString& reason) {
  const QFileInfo file(path);
  return QStringLiteral("The workbook was saved, but %1\r\rFolder: %2\rName: %3")
      .arg(reason, QDir::toNativeSeparators(file.absolutePath()), file.fileName());
}

void SpreadsheetExport::Run() {
  ErrorTrap trap(loc::kPushButton13Click, errors_);
  // The workbook is written whether or not an application can show it; the desktop's answer is
  // needed only once it is saved.
  trap.Line(100);
  trap.Line(104);
  if (results_.RowCount() == 0) return;
  trap.Step(106, [&] { pointer_.BeginLongAction(); });
  // Yields below may run "Clear Results" or a new extraction; the workbook shows the table as
  // it stood at the click.
  const WorkbookFill fill =
      FillWorkbook(ResultTable::Of(results_), spreadsheet_, events_, trap, kinds_);
  if (summary_ && fill.created && !fill.closing)
    trap.Step(124, [&] { AddSummarySheet(*summary_, spreadsheet_); });
  if (fill.created && !fill.closing) {
    QString path;
    trap.Step(126, [&] {
      const QString folder = place_.folder.isEmpty() ? DefaultWorkbookFolder() : place_.folder;
      std::error_code error;
      std::filesystem::create_directories(FileNames::ToStdBytes(folder), error);
      if (!error && !QFileInfo(folder).isDir())
        error = std::make_error_code(std::errc::not_a_directory);
      if (!error) {
        path = NewWorkbookPath(folder, place_.now ? place_.now() : QDateTime::currentDateTime());
        return;
      }
      // The user's home, not the program, is at fault: say why and let them choose a place.
      const bool elsewhere = ui_.AskYesNo(
          QStringLiteral("The folder for workbooks could not be made:\r%1\r\r%2.\r\rSave the "
                         "workbook somewhere else (Save As…)?")
              .arg(QDir::toNativeSeparators(folder), QString::fromStdString(error.message())));
      if (!elsewhere) return;
      path = ui_.SaveFile(
          {QStringLiteral("Save Workbook As"), QStringLiteral("Excel Workbook (*.xlsx)|*.xlsx|")});
      if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".xlsx");
    });
    bool saved = false;
    if (!path.isEmpty()) {
      trap.Step(128, [&] {
        spreadsheet_.Save(path);
        saved = true;
      });
    }
    if (saved) {
      trap.Step(130, [&] {
        QString not_opened;
        if (!spreadsheet_.Available()) {
          not_opened = QStringLiteral("no spreadsheet application is set up to open it.");
        } else {
          try {
            spreadsheet_.Open(path);
          } catch (const StepFailure& e) {
            not_opened = QStringLiteral("it could not be opened: ") + QString::fromUtf8(e.what());
          }
        }
        if (!not_opened.isEmpty()) ui_.Message(WorkbookNotOpenedText(path, not_opened));
      });
    }
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

std::optional<double> WorkbookNumber(const QString& text) {
  // As a spreadsheet takes typed text: an optional minus, no leading zero, at most 15 digits
  // (its precision), an optional fraction. "007", "3/12" or "1e5" stay text.
  static const QRegularExpression kNumber(QStringLiteral("^-?(0|[1-9][0-9]{0,14})(\\.[0-9]+)?$"));
  if (text.size() > 32 || !kNumber.match(text).hasMatch()) return std::nullopt;
  bool ok = false;
  const double value = text.toDouble(&ok);
  return ok ? std::optional<double>(value) : std::nullopt;
}

std::optional<double> WorkbookDurationSeconds(const QString& text) {
  // The folder totals add milliseconds ("1:02:03.250").
  static const QRegularExpression kDuration(
      QStringLiteral("^([0-9]+):([0-5][0-9]):([0-5][0-9](?:\\.[0-9]{1,3})?)$"));
  const QRegularExpressionMatch m = kDuration.match(text);
  if (!m.hasMatch()) return std::nullopt;
  return m.captured(1).toDouble() * 3600 + m.captured(2).toDouble() * 60 + m.captured(3).toDouble();
}

void SpreadsheetExport::SetSummary(ResultTable summary) {
  summary_ = std::make_shared<const ResultTable>(std::move(summary));
}

void AddSummarySheet(const ResultTable& summary, Spreadsheet& spreadsheet) {
  spreadsheet.AddSheet(QStringLiteral("Summary"));
  bool cut = false;
  for (int c = 1; c <= summary.ColumnCount(); ++c)
    spreadsheet.SetCell(1, c, TextLines::WorkbookCellText(summary.headers[c - 1], cut));
  // Typed as the results are: counts and sizes are numbers, the play time a duration; the
  // folder, first, stays text as it is.
  for (int r = 1; r <= summary.RowCount(); ++r)
    for (int c = 1; c <= summary.ColumnCount(); ++c) {
      const QString cell = summary.Cell(r, c);
      const std::optional<double> number = c > 1 ? WorkbookNumber(cell) : std::nullopt;
      const std::optional<double> seconds = c > 1 ? WorkbookDurationSeconds(cell) : std::nullopt;
      if (seconds) {
        spreadsheet.SetDuration(r + 1, c, *seconds, cell);
      } else if (number) {
        spreadsheet.SetNumber(r + 1, c, *number, cell);
      } else {
        spreadsheet.SetCell(r + 1, c, TextLines::WorkbookCellText(cell, cut));
      }
    }
  spreadsheet.AutoFitColumns();
  spreadsheet.FreezeHeaderWithFilter(summary.RowCount() + 1, summary.ColumnCount());
}

WorkbookFill FillWorkbook(const ResultTable& table, Spreadsheet& spreadsheet, EventLoop& events,
                          ErrorTrap& trap, const WorkbookColumnKinds& kinds) {
  const auto flag = [](const std::vector<bool>& flags, int c, bool otherwise) {
    return static_cast<size_t>(c - 1) < flags.size() ? flags[static_cast<size_t>(c - 1)]
                                                     : otherwise;
  };
  WorkbookFill fill;
  const int columns = table.ColumnCount();
  trap.Step(108, [&] {
    spreadsheet.NewWorkbook();
    spreadsheet.NameSheet(QStringLiteral("Tags"));
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
          // The file name keeps its "=", tag texts lose theirs. Plain numbers become numbers and
          // durations time values, as the spreadsheet would have made them of the typed text.
          const QString cell = table.Cell(r, c);
          trap.Step(120, [&] {
            const bool names_file = flag(kinds.keeps_equals, c, c == 1);
            const std::optional<double> number = WorkbookNumber(cell);
            const std::optional<double> seconds =
                flag(kinds.durations, c, false) ? WorkbookDurationSeconds(cell) : std::nullopt;
            if (seconds) {
              spreadsheet.SetDuration(sheet_row, sheet_column, *seconds, cell);
            } else if (number) {
              spreadsheet.SetNumber(sheet_row, sheet_column, *number, cell);
            } else {
              set_cell(sheet_row, sheet_column, names_file ? cell : TextLines::WithoutEquals(cell));
            }
          });
          ++sheet_column;
        }
      }
      trap.Line(122);
      ++sheet_row;
    }
  }
  if (fill.created && !closing) {
    trap.Step(124, [&] {
      spreadsheet.AutoFitColumns();
      spreadsheet.FreezeHeaderWithFilter(table.RowCount() + 1, columns);
    });
  }
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
