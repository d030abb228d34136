#include "export/TextExport.h"

#include <QFileInfo>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/ErrorTrap.h"
#include "core/Locations.h"
#include "core/Main.h"
#include "export/DataExport.h"
#include "export/ReplacingFile.h"
#include "export/ResultTable.h"
#include "export/TextLines.h"
#include "platform/EventLoop.h"
#include "platform/ProgressBarModel.h"
#include "platform/ReportListModel.h"
#include "platform/Ui.h"
#include "platform/WindowPointer.h"

namespace TextExport {

namespace {

const QString kWritingFile = QStringLiteral("Writing file: ");

constexpr std::string_view kLineEnd = "\r\n";

}  // namespace

void SaveListviewProperlySpaced(const ReportListModel& list, const QString& path,
                                ProgressBarModel* progress, const TextExportServices& services) {
  ErrorTrap trap(loc::kSaveListviewProperlySpaced, services.errors);
  EventLoop& events = services.events;
  const QString caption = kWritingFile + Main::FileNameOfPath(path);
  // "Clear Results", a new run or the Delete key may change the list during the yields below;
  // the file shows the table as it was when the save began.
  const ResultTable table = ResultTable::Of(list);
  const int columns = table.ColumnCount();
  const int rows = table.RowCount();

  if (progress) {
    trap.Line(100);
    if (events.Yield()) return;
    trap.Line(102);
    progress->SetValue(1);
    trap.Line(104);
    progress->SetCaption(caption);
    trap.Line(106);
    if (events.Yield()) return;
  }

  trap.Line(108);
  std::vector<int> widths;
  widths.reserve(static_cast<size_t>(columns));
  for (int c = 1; c <= columns; ++c) {
    trap.Line(110);
    int w = 0;
    trap.Line(112);
    if (table.headers[c - 1].size() > w) w = static_cast<int>(table.headers[c - 1].size());
    for (int r = 1; r <= rows; ++r) {
      trap.Line(114);
      if (events.Yield()) return;
      trap.Line(116);
      const qsizetype length = table.CellLength(r, c);
      if (length > w) w = static_cast<int>(length);
    }
    trap.Line(120);
    widths.push_back(w);
  }

  if (progress) {
    trap.Line(124);
    if (events.Yield()) return;
    trap.Line(126);
    progress->SetValue(10);
    trap.Line(128);
    progress->SetCaption(caption);
    trap.Line(130);
    if (events.Yield()) return;
  }

  std::unique_ptr<TextOutput> file;
  trap.Step(132, [&] {
    file =
        services.open ? services.open(path) : std::make_unique<ReplacingFile>(path, services.files);
  });
  // A write that fails leaves the old file as it was and ends the writing: the rest could only
  // fail the same way.
  bool writing = file != nullptr;
  const auto write_line = [&](std::string& line) {
    line += kLineEnd;
    try {
      file->Write(line);
    } catch (...) {
      writing = false;
      throw;
    }
  };
  // Without a file nothing below can be written: one report for the creation is enough, where a
  // report for every row would bury the user under boxes.
  if (writing) {
    trap.Line(134);
    std::string header;
    for (int c = 1; c <= columns; ++c) {
      trap.Line(136);
      if (events.Yield()) return;
      trap.Line(138);
      TextLines::AppendPaddedFieldUtf8(header, table.headers[c - 1], widths[size_t(c - 1)]);
    }
    trap.Step(140, [&] { write_line(header); });
  }

  if (progress && writing) {
    trap.Line(142);
    if (events.Yield()) return;
    trap.Line(144);
    progress->SetValue(20);
    trap.Line(146);
    progress->SetCaption(caption);
    trap.Line(148);
    if (events.Yield()) return;
  }

  std::string line;  // one line at a time, its buffer kept from row to row
  for (int r = 1; writing && r <= rows; ++r) {
    trap.Line(150);
    if (events.Yield()) return;
    trap.Line(152);
    const ResultTable::Row& row = table.rows[size_t(r - 1)];
    if (!row.checked) continue;
    line.clear();
    for (int c = 1; c <= columns; ++c) {
      trap.Line(154);
      if (events.Yield()) return;
      trap.Line(156);
      TextLines::AppendPaddedFieldUtf8(line, table.Cell(r, c), widths[size_t(c - 1)]);
    }
    if (progress) {
      trap.Line(158);
      if (events.Yield()) return;
      trap.Line(160);
      progress->SetValue(100.0 * (r + rows / 2000) / rows);
      trap.Line(162);
      if (r % 1000 == 0)
        progress->SetCaption(caption + QStringLiteral(" (") + QString::number(r) + u')');
      trap.Line(164);
      if (events.Yield()) return;
    }
    trap.Step(166, [&] { write_line(line); });
  }

  bool saved = false;
  if (writing) {
    trap.Step(168, [&] {
      file->Commit();
      saved = true;
    });
  }
  if (progress && saved) {
    trap.Line(170);
    progress->SetValue(100);
    progress->SetCaption(QStringLiteral("Done."));
  }
  trap.Line(172);
  file.reset();
  if (progress) {
    trap.Line(174);
    progress->SetValue(0);
    progress->SetCaption(QStringLiteral("Progress Bar"));
  }
}

}  // namespace TextExport

void TextFileExport::Run() {
  ErrorTrap trap(loc::kPushButton1Click, services_.errors);
  trap.Line(100);
  const FileDialogRequest request{
      QStringLiteral("Save"),
      QStringLiteral("Text Files (*.txt)|*.txt|CSV (*.csv)|*.csv|All Files (*.*)|*.*|")};
  QString name;
  int type = -1;
  trap.Step(106, [&] { name = ui_.SaveFileOfType(request, type); });
  trap.Line(108);
  if (name.isEmpty()) return;
  // "CSV" chosen and a name typed without an extension: the user asked for CSV.
  constexpr int kCsvType = 1;
  if (type == kCsvType && !QFileInfo(name).fileName().contains(u'.'))
    name += QStringLiteral(".csv");
  trap.Step(110, [&] { pointer_.BeginLongAction(); });
  // A name ending in ".csv" asks for a table other programs open: CSV with a byte-order mark, so
  // spreadsheets read accents right.
  if (name.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive)) {
    trap.Step(112, [&] {
      ReplacingFile file(name, services_.files);
      DataExport::WriteCsv(ResultTable::Of(results_), file, {false, true});
    });
  } else {
    trap.Step(112, [&] {
      TextExport::SaveListviewProperlySpaced(results_, name, &progress_, services_);
    });
  }
  trap.Step(114, [&] { pointer_.EndLongAction(); });
}
