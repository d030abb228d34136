#include "batch/ResultFilter.h"

#include <QStringList>
#include <chrono>
#include <vector>

#include "platform/EventLoop.h"
#include "platform/PackedCells.h"
#include "platform/ProgressBarModel.h"
#include "platform/ReportListModel.h"

namespace {

// Rows tested between two looks at the window's events; a slice takes a few milliseconds.
constexpr size_t kSlice = 4096;
// A filter that takes longer than this shows its progress.
constexpr auto kQuiet = std::chrono::milliseconds(300);

QString Counted(qsizetype count) {
  // Thousands grouped by a space, as the run's progress counts files.
  QString digits = QString::number(count);
  for (qsizetype at = digits.size() - 3; at > 0; at -= 3) digits.insert(at, u' ');
  return digits;
}

}  // namespace

ResultFilter::ResultFilter(ReportListModel& results, ProgressBarModel& progress, EventLoop& events)
    : results_(results), progress_(progress), events_(events) {}

QString ResultFilter::Caption() const {
  const int shown = results_.RowCount();
  const int aside = results_.SetAsideCount();
  if (aside == 0 && text_.trimmed().isEmpty()) return {};
  return QStringLiteral("%1 of %2 rows shown").arg(Counted(shown), Counted(shown + aside));
}

QStringList ResultFilter::ColumnsNotIn(const QStringList& shown) const {
  RowFilter::Problem problem;
  const std::optional<RowFilter> filter = RowFilter::Parse(text_, problem);
  QStringList columns;
  if (filter)
    for (const QString& column : filter->Columns())
      if (!shown.contains(column)) columns.append(column);
  return columns;
}

ResultFilter::Outcome ResultFilter::SetText(const QString& text) {
  const uint64_t generation = ++generation_;
  text_ = text;
  RowFilter::Problem problem;
  std::optional<RowFilter> filter = RowFilter::Parse(text, problem);
  QString missing;
  // The cells shown first, those kept for the filter after them. A column added since the run
  // has no cells in the table: a kept one, or a run, gives them.
  QStringList headers;
  for (int c = 1; c <= results_.ColumnCount(); ++c)
    headers.append(results_.ColumnUnread(c) ? QString() : results_.Header(c));
  const qsizetype shown_cells = headers.size();
  if (kept_cells_) headers += kept_headers_;
  if (filter && !filter->Bind(headers, shown_cells, missing)) {
    // Nothing to filter yet: the next run reads the column.
    if (results_.RowCount() == 0 && results_.SetAsideCount() == 0) {
      problem_.clear();
      problem_at_ = 0;
      return Outcome::kApplied;
    }
    problem = {0, QStringLiteral("Run again to filter on %1").arg(missing)};
    filter.reset();
  }
  if (!filter) {
    problem_ = problem.Text();
    problem_at_ = problem.at;
    return Outcome::kProblem;
  }
  problem_.clear();
  problem_at_ = 0;
  if (filter->IsEmpty() && results_.SetAsideCount() == 0) return Outcome::kApplied;

  std::vector<uint32_t> arrivals;
  const std::vector<RowCells> rows = results_.EveryRowCells(kept_cells_ ? &arrivals : nullptr);
  std::vector<bool> shown(rows.size(), true);
  if (!filter->IsEmpty()) {
    const std::vector<int>& read = filter->CellsRead();
    std::vector<QString> texts(size_t(headers.size()));
    std::vector<QStringView> cells(size_t(headers.size()));
    const auto start = std::chrono::steady_clock::now();
    const double before_value = progress_.Value();
    const QString before_caption = progress_.Caption();
    bool showing = false;
    for (size_t r = 0; r < rows.size(); ++r) {
      for (const int c : read) {
        std::string_view packed;
        if (c < shown_cells) {
          packed = rows[r].Packed(c);
        } else if (arrivals[r] < kept_cells_->size()) {
          packed = (*kept_cells_)[arrivals[r]].Packed(c - int(shown_cells));
        }
        // Unpacked into the room the cell's text kept from the row before.
        PackedText::UnpackInto(packed, texts[size_t(c)]);
        cells[size_t(c)] = texts[size_t(c)];
      }
      shown[r] = filter->Matches(cells);
      if ((r + 1) % kSlice != 0) continue;
      if (!showing && std::chrono::steady_clock::now() - start > kQuiet) showing = true;
      if (showing) {
        progress_.SetCaption(QStringLiteral("Filtering…"));
        progress_.SetValue(100.0 * double(r) / double(rows.size()));
      }
      if (events_.Yield() || generation != generation_) {
        if (showing && generation == generation_) {
          progress_.SetCaption(before_caption);
          progress_.SetValue(before_value);
        }
        return Outcome::kSuperseded;
      }
    }
    if (showing) {
      progress_.SetCaption(before_caption);
      progress_.SetValue(before_value);
    }
  }
  results_.ShowOnly(shown);
  return Outcome::kApplied;
}
