#include "batch/ExtractionRun.h"

#include <QStringList>
#include <algorithm>
#include <any>
#include <cmath>
#include <memory>
#include <optional>
#include <utility>

#include "batch/AuditFacts.h"
#include "batch/ColumnCatalogue.h"
#include "batch/Counts.h"
#include "batch/FolderTotals.h"
#include "batch/OtherFormats.h"
#include "batch/RowReader.h"
#include "batch/TrustCells.h"
#include "core/ErrorTrap.h"
#include "core/Locations.h"
#include "core/Main.h"
#include "legacy/IconvLegacyText.h"
#include "platform/CellSpill.h"
#include "platform/FileNames.h"
#include "platform/PosixFileSystem.h"
#include "readindex/ReadIndex.h"
#include "tag/MultiFrameData.h"
#include "tag/clsID3.h"

namespace {

// The window's list holds files: no folder is walked, and no walk has anything to tell.
class NoTeller : public RowReader::Teller {
 public:
  void NotRead(const std::string&) override {}
  void LeftOut(const std::string&) override {}
};

// What a reading thread keeps of a read beside the row's cells.
struct Facts {
  QString tip;
  Audit::Kept kept;
};
}  // namespace

void ExtractionRun::Fill(ErrorTrap& trap, size_t columns, RowCells* cells, int& row) {
  if (cells && static_cast<size_t>(results_.ColumnCount()) >= columns) {
    trap.Step(124, [&] { row = results_.AppendRow(std::move(*cells)); });
    return;
  }
  // Cell by cell: a table without room for every cell reports each one that does not fit, and
  // a file whose read failed still gets its row, every cell empty.
  const auto cell = [&](size_t c) { return cells ? cells->Packed(static_cast<int>(c)) : ""; };
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
    // Workers read the next files, each with a tag object of its own, while the rows go into
    // the table in list order.
    RowReader::Options options;
    options.columns = columns_ + filter_columns_;
    kept_columns_ = filter_columns_;
    filter_cells_.clear();
    options.decoder = decoder_;
    options.jobs = jobs_;
    options.totals = totals_ != nullptr;
    options.read = RowReader::EngineRead(index_, other_);
    // The Conflicts cell names the fields; its tip, made while the values are at hand, gives them.
    // The report's codec profile is kept always: a few bytes of a header already read.
    const bool tips = columns_.contains(QStringLiteral("Conflicts"));
    // With the Pictures column the report's cover rules can speak: the front cover's size and
    // hash are kept then, its bytes read on the reading thread (an index serves such reads by
    // the measure it kept of them).
    const bool covers = columns_.contains(QStringLiteral("Pictures"));
    options.pictures = covers;
    kept_.Clear();
    options.inspect = [tips, covers](const clsID3& tag, RowReader::Row& row) {
      Facts facts;
      if (tips) facts.tip = TrustCells::ConflictsTip(tag);
      if (covers) facts.kept.cover = AuditFacts::CoverOf(tag);
      facts.kept.profile = AuditFacts::Profile(tag.AudioState());
      if (!facts.tip.isEmpty() || facts.kept.cover || !facts.kept.profile.isEmpty())
        row.extra = std::move(facts);
    };
    // A big table keeps its long cells on disk; the file goes with the last row that uses it.
    std::string spill_problem;
    std::shared_ptr<CellSpill> spill;
    std::vector<size_t> spill_from;
    if (paths.size() >= spill_from_) {
      spill = CellSpill::Open(spill_folder_, spill_problem);
      for (const QString& header : columns_)
        spill_from.push_back(header == QStringLiteral("Comments") ||
                                     header == QStringLiteral("Lyrics")
                                 ? CellSpill::kLongColumnSpillFrom
                                 : CellSpill::kSpillFrom);
    }
    const RowReader::PackedShape shape(paths.size() > kCompressFrom, spill.get(),
                                       std::move(spill_from));
    size_t next = 0;
    PosixFileSystem files;
    NoTeller teller;
    std::optional<RowReader> reads(
        std::in_place, options,
        [&](std::string& path) {
          if (next >= paths.size()) return false;
          path = FileNames::ToStdBytes(paths[next++].Text(0));
          // The index forgets, at the end of the run, the files gone from the folders read.
          if (index_) index_->Listed(std::string_view(path).substr(0, path.rfind('/') + 1));
          return true;
        },
        shape, files, teller);
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
      std::optional<RowReader::Row> read;
      trap.Step(120, [&] { read = reads->Next(); });
      if (read && read->NotRead()) {
        ++not_read;
        unread_files_.push_back(i);
      }
      if (read && read->totals) {
        totals_->Add(path, *read->totals);
      } else if (totals_) {
        totals_->AddNothing();
      }
      if (!kept_columns_.isEmpty()) KeepFilterCells(read ? &read->cells : nullptr);
      Fill(trap, static_cast<size_t>(columns_.size()), read ? &read->cells : nullptr, row);
      if (const Facts* facts = read && row > 0 ? std::any_cast<Facts>(&read->extra) : nullptr) {
        if (!facts->tip.isEmpty()) trap.Step(148, [&] { results_.SetRowToolTip(row, facts->tip); });
        if (facts->kept.cover || !facts->kept.profile.isEmpty()) {
          kept_.Set(static_cast<size_t>(results_.Arrival(row)), facts->kept);
        }
      }
      trap.Line(148);
      done = i;
    }
    // Workers still reading ahead stop at their file in hand.
    reads.reset();
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
    if (spill && spill_problem.empty()) spill_problem = spill->Failure();
    if (!spill_problem.empty())
      trap.Step(156, [&] {
        ui_.Message(QStringLiteral("The long cells of this run are kept in memory: %1.")
                        .arg(QString::fromStdString(spill_problem)));
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

void ExtractionRun::KeepFilterCells(RowCells* cells) {
  if (!cells) {
    filter_cells_.emplace_back();
    return;
  }
  const auto shown = static_cast<int>(columns_.size());
  const auto kept = static_cast<int>(kept_columns_.size());
  std::vector<int> picked(static_cast<size_t>(shown + kept));
  for (int c = 0; c < shown + kept; ++c) picked[size_t(c)] = c;
  filter_cells_.push_back(cells->Picked(picked.data() + shown, kept));
  *cells = cells->Picked(picked.data(), shown);
}
