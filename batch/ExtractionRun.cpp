#include "batch/ExtractionRun.h"

#include <QStringList>
#include <cmath>
#include <memory>

#include "batch/ColumnCatalogue.h"
#include "batch/FolderTotals.h"
#include "batch/ResultColumns.h"
#include "core/ErrorTrap.h"
#include "core/Locations.h"
#include "core/Main.h"
#include "platform/FileNames.h"
#include "tag/clsID3.h"

namespace {

QString ToQString(const std::u16string& text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

void ExtractionRun::FillChosen(ErrorTrap& trap,
                               const std::vector<const ColumnCatalogue::Column*>& chosen,
                               const QString& path, const clsID3* tag, int& row) {
  const auto value = [&](size_t c) {
    const ColumnCatalogue::Column* column = chosen[c];
    if (!column || !tag) return QString();  // a header the catalogue does not know stays empty
    return column->value({*tag, path});
  };
  trap.Step(124, [&] { row = results_.AppendRow(value(0)); });
  // The row's cells go in as one change: with many columns, a change per cell costs more than
  // making the cells.
  QStringList cells;
  cells.reserve(static_cast<qsizetype>(chosen.size()));
  if (last_cells_.size() != chosen.size()) last_cells_.assign(chosen.size(), QString());
  for (size_t c = 1; c < chosen.size(); ++c) {
    QString cell;
    trap.Step(124 + 2 * static_cast<int>(c), [&] { cell = value(c); });
    // Most columns repeat from file to file (a rate, a mode, a status): the rows then share the
    // one text, which keeps a wide table small.
    if (cell == last_cells_[c]) {
      cells.append(last_cells_[c]);
    } else {
      last_cells_[c] = cell;
      cells.append(std::move(cell));
    }
  }
  trap.Step(124 + 2 * static_cast<int>(chosen.size()),
            [&] { results_.SetSubItems(row, std::move(cells)); });
}

QString ExtractionRun::RunSummary(int files, int not_read) {
  const auto grouped = [](int n) {
    QString digits = QString::number(n);
    for (qsizetype at = digits.size() - 3; at > 0; at -= 3) digits.insert(at, u' ');
    return digits;
  };
  return QStringLiteral("%1 %2, %3 not read")
      .arg(grouped(files), files == 1 ? QStringLiteral("file") : QStringLiteral("files"),
           grouped(not_read));
}

QString ExtractionRun::StoppedCaption(int done, int files) {
  return QStringLiteral("Stopped after %1 of %2 files").arg(done).arg(files);
}

double ExtractionRun::ProgressValue(int i, int rows) {
  if (rows <= 0) return 100;
  return std::floor(static_cast<double>(i) / rows * 100);
}

void ExtractionRun::Start() {
  ErrorTrap trap(loc::kPushButton10Click, errors_);
  trap.Line(100);
  if (running_) return;
  trap.Line(102);
  running_ = true;
  trap.Line(104);
  if (file_list_.RowCount() > 0) {
    trap.Step(106, [&] { pointer_.BeginLongAction(); });
    trap.Step(108, [&] { results_.Clear(); });
    // The paths are taken once: a reorder or a removal during a yield must not make the run
    // read one file twice or skip another.
    QStringList paths;
    trap.Step(110, [&] { paths = file_list_.Texts(); });
    std::unique_ptr<clsID3> tag;
    bool closing = false;
    // The default columns take the long-standing road, statement by statement; a chosen set is
    // filled from the column catalogue.
    std::vector<const ColumnCatalogue::Column*> chosen;
    if (!ColumnCatalogue::IsDefault(columns_))
      for (const QString& header : columns_) chosen.push_back(ColumnCatalogue::Find(header));
    int not_read = 0;
    int done = 0;
    bool stopped = false;
    if (stop_) *stop_ = false;
    if (totals_) totals_->Clear();
    for (int i = 1; i <= static_cast<int>(paths.size()); ++i) {
      QString path;
      int row = 0;
      trap.Step(112, [&] { path = paths[i - 1]; });
      // The row count is read anew, so files added meanwhile slow the bar down.
      trap.Step(114, [&] { progress_.SetValue(ProgressValue(i, file_list_.RowCount())); });
      trap.Step(116, [&] {
        progress_.SetCaption(QStringLiteral("Processing: ") + Main::FileNameOfPath(path));
      });
      trap.Step(118, [&] { closing = events_.Yield(); });
      // The window is going away: stop before touching its lists again.
      if (closing) break;
      stopped = stop_ && *stop_;
      if (stopped) break;
      trap.Step(120, [&] {
        if (!tag) {
          tag = std::make_unique<clsID3>();
          tag->SetLegacyTextDecoder(decoder_);
        }
        tag->SetFileName(FileNames::ToStdBytes(path));
      });
      if (tag && tag->Diagnosis().NotRead()) ++not_read;
      if (tag && totals_) totals_->Add(path, *tag);
      if (chosen.empty()) {
        QString name;
        trap.Step(122, [&] { name = Main::FileNameOfPath(path); });
        trap.Step(124, [&] { row = results_.AppendRow(name); });
        for (const ResultColumns::Field& field : ResultColumns::kFields) {
          trap.Step(field.line, [&] {
            results_.SetSubItem(row, field.sub_item, ToQString((Require(tag).*field.value)()));
          });
        }
      } else {
        FillChosen(trap, chosen, path, tag.get(), row);
      }
      trap.Line(148);
      done = i;
    }
    tag.reset();
    if (closing) {
      trap.Step(154, [&] { pointer_.EndLongAction(); });
      trap.Line(160);
      running_ = false;
      return;
    }
    trap.Step(154, [&] { pointer_.EndLongAction(); });
    trap.Step(150, [&] { progress_.SetValue(0); });
    trap.Step(152, [&] {
      progress_.SetCaption(stopped         ? StoppedCaption(done, static_cast<int>(paths.size()))
                           : not_read == 0 ? QStringLiteral("Progress Bar")
                                           : RunSummary(static_cast<int>(paths.size()), not_read));
    });
    // A run the user stopped has its caption; "Done." would claim the whole list was read.
    if (!stopped) trap.Step(156, [&] { ui_.Message(QStringLiteral("Done.")); });
    for (int r = 1; r <= results_.RowCount(); ++r)
      trap.Step(156, [&] { results_.SetChecked(r, true); });
  } else {
    trap.Step(158, [&] { ui_.Message(QStringLiteral("No files added.")); });
  }
  trap.Line(160);
  running_ = false;
}
