#include "batch/ExtractionRun.h"

#include <QStringList>
#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>
#include <utility>

#include "batch/ColumnCatalogue.h"
#include "batch/Counts.h"
#include "batch/FolderTotals.h"
#include "batch/ReadAhead.h"
#include "batch/ResultColumns.h"
#include "core/ErrorTrap.h"
#include "core/Locations.h"
#include "core/Main.h"
#include "legacy/IconvLegacyText.h"
#include "platform/FileNames.h"
#include "readindex/ReadIndex.h"
#include "tag/clsID3.h"

ExtractionRun::ReadRow ExtractionRun::ReadFile(Reader& reader, const QString& path,
                                               const ReadOptions& options) {
  const std::vector<const ColumnCatalogue::Column*>& chosen = options.chosen;
  const bool compress = options.compress;
  std::unique_ptr<clsID3>& tag = reader.tag;
  if (!tag) {
    tag = std::make_unique<clsID3>();
    // No column shows a picture: their bytes, often most of a tag, stay unread. The Pictures
    // column and the totals count them all the same.
    tag->SetPicturesWanted(false);
    tag->SetPictureCountWanted(options.totals || ColumnCatalogue::NeedPictureCount(chosen));
    tag->SetLegacyTextDecoder(reader.decoder);
  }
  if (reader.index) {
    reader.index->Read(*tag, FileNames::ToStdBytes(path));
  } else {
    tag->SetFileName(FileNames::ToStdBytes(path));
  }
  ReadRow read;
  read.not_read = tag->Diagnosis().NotRead();
  if (options.totals) read.totals = FolderTotals::Of(*tag);
  // The row is made whole here, one block, so the window's thread only moves it into the table.
  std::vector<std::string>& cells = reader.cells;
  if (chosen.empty()) {
    cells.resize(1 + ResultColumns::kFields.size());
    PackedText::PackInto(cells[0], Main::FileNameOfPath(path), compress);
    for (const ResultColumns::Field& field : ResultColumns::kFields) {
      const std::u16string& value = ((*tag).*field.value)();
      PackedText::PackInto(cells[static_cast<size_t>(field.sub_item)],
                           QStringView(value.data(), static_cast<qsizetype>(value.size())),
                           compress);
    }
  } else {
    cells.resize(chosen.size());
    // A header the catalogue does not know stays empty.
    CellText& cell = reader.text;
    const ColumnCatalogue::Source source{*tag, path};
    for (size_t c = 0; c < chosen.size(); ++c) {
      const ColumnCatalogue::Column* column = chosen[c];
      if (column && column->view) {
        PackedText::PackInto(cells[c], column->view(source), compress);
        continue;
      }
      cell.clear();
      if (column) column->append(source, cell);
      PackedText::PackInto(cells[c], cell.View(), compress);
    }
  }
  reader.views.assign(cells.begin(), cells.end());
  read.cells = RowCells::Of(reader.views.data(), static_cast<int>(cells.size()));
  return read;
}

void ExtractionRun::FillChosen(ErrorTrap& trap, size_t columns, std::optional<ReadRow>& read,
                               int& row) {
  if (read && static_cast<size_t>(results_.ColumnCount()) >= columns) {
    trap.Step(124, [&] { row = results_.AppendRow(std::move(read->cells)); });
    return;
  }
  // Cell by cell: a table without room for every cell reports each one that does not fit, and
  // a file whose read failed still gets its row, every cell empty.
  const auto cell = [&](size_t c) { return read ? read->cells.Packed(static_cast<int>(c)) : ""; };
  trap.Step(124, [&] { row = results_.AppendPackedRow(cell(0)); });
  for (size_t c = 1; c < columns; ++c)
    trap.Step(124 + 2 * static_cast<int>(c),
              [&] { results_.SetPackedSubItem(row, static_cast<int>(c), cell(c)); });
}

QString ExtractionRun::RunSummary(int files, int not_read) {
  return QStringLiteral("%1, %2 not read")
      .arg(Counts::Of(files, QStringLiteral("file"), QStringLiteral("files")),
           Counts::Grouped(not_read));
}

QString ExtractionRun::StoppedCaption(int done, int files) {
  return QStringLiteral("Stopped after %1 of %2")
      .arg(Counts::Grouped(done),
           Counts::Of(files, QStringLiteral("file"), QStringLiteral("files")));
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
    // One shared block a path: a million queued files are not turned into a million strings.
    std::vector<RowCells> paths;
    trap.Step(110, [&] { paths = file_list_.AllCells(); });
    // The default columns take the long-standing road, statement by statement; a chosen set is
    // filled from the column catalogue.
    ReadOptions options;
    if (!ColumnCatalogue::IsDefault(columns_))
      for (const QString& header : columns_)
        options.chosen.push_back(ColumnCatalogue::Find(header));
    const std::vector<const ColumnCatalogue::Column*>& chosen = options.chosen;
    options.compress = paths.size() > kCompressFrom;
    options.totals = totals_ != nullptr;
    // Each worker reads with a tag object and a legacy-text decoder of its own, the tag made
    // when it reads its first file.
    const int jobs = jobs_ > 0 ? jobs_ : ReadAhead<int, ReadRow>::DefaultJobs();
    const auto workers = static_cast<size_t>(ReadAhead<int, ReadRow>::Workers(jobs));
    std::vector<Reader> readers(workers);
    const auto decoders = LegacyText::OnePerThread(decoder_, workers);
    for (size_t w = 0; w < workers; ++w) {
      readers[w].decoder = decoders[w];
      readers[w].index = index_;
    }
    int next = 0;
    std::optional<ReadAhead<int, ReadRow>> reads(
        std::in_place, jobs,
        [&](int& i) {
          if (next >= static_cast<int>(paths.size())) return false;
          i = next++;
          return true;
        },
        [&](const int& i, int worker) {
          return ReadFile(readers[static_cast<size_t>(worker)],
                          paths[static_cast<size_t>(i)].Text(0), options);
        });
    bool closing = false;
    int not_read = 0;
    int done = 0;
    bool stopped = false;
    if (stop_) *stop_ = false;
    if (totals_) totals_->Clear();
    unread_files_.clear();
    for (int i = 1; i <= static_cast<int>(paths.size()); ++i) {
      QString path;
      int row = 0;
      trap.Step(112, [&] { path = paths[static_cast<size_t>(i - 1)].Text(0); });
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
      std::optional<ReadRow> read;
      trap.Step(120, [&] { read = reads->Next(); });
      if (read && read->not_read) {
        ++not_read;
        unread_files_.push_back(i);
      }
      if (read && read->totals) totals_->Add(path, *read->totals);
      // A table with room for every cell takes the row at once; one without reports each cell
      // that does not fit, statement by statement.
      if (chosen.empty() && read &&
          static_cast<size_t>(results_.ColumnCount()) > ResultColumns::kFields.size()) {
        // The reading thread made the name and the cells, and the whole row goes in at once.
        trap.Step(124, [&] { row = results_.AppendRow(std::move(read->cells)); });
      } else if (chosen.empty()) {
        QString name;
        trap.Step(122, [&] { name = Main::FileNameOfPath(path); });
        trap.Step(124, [&] { row = results_.AppendRow(name); });
        for (const ResultColumns::Field& field : ResultColumns::kFields)
          trap.Step(field.line, [&] {
            results_.SetPackedSubItem(row, field.sub_item,
                                      Require(read).cells.Packed(field.sub_item));
          });
      } else {
        FillChosen(trap, chosen.size(), read, row);
      }
      trap.Line(148);
      done = i;
    }
    // Workers still reading ahead stop at their file in hand.
    reads.reset();
    readers.clear();
    if (index_ && !closing && !stopped) index_->Finish();
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
