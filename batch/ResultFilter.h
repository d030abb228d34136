#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "batch/RowFilter.h"
#include "platform/PackedCells.h"

class EventLoop;
class ProgressBarModel;
class ReportListModel;

/// The result table's filter field: the rows the text keeps stay on show, the others are set
/// aside (ReportListModel::ShowOnly), so sorting, the check boxes and every export take only
/// the rows shown. A long table is tested in slices between which the window runs on; a text
/// typed meanwhile takes over from the one being applied.
class ResultFilter {
 public:
  ResultFilter(ReportListModel& results, ProgressBarModel& progress, EventLoop& events);

  enum class Outcome : uint8_t {
    kApplied,     ///< the rows the text keeps are shown
    kProblem,     ///< the text is malformed or names a column not read; the rows stay as they were
    kSuperseded,  ///< a newer text was applied while this one was
  };
  /// Filters the table by `text` (empty: every row shown).
  Outcome SetText(const QString& text);
  /// Cells of columns not shown, kept beside the table for the filter: `(*cells)[k]` holds those
  /// of the row that arrived k-th, under `headers`. None (nullptr) keeps none. A text naming a
  /// column neither shown nor kept asks for a run, which reads it.
  void SetKeptCells(QStringList headers, const std::vector<RowCells>* cells) {
    kept_headers_ = std::move(headers);
    kept_cells_ = cells;
  }
  /// The columns not among `shown` that the current text names: those a run must read for it.
  QStringList ColumnsNotIn(const QStringList& shown) const;
  /// Takes the text without applying it yet (while a run adds rows).
  void Remember(const QString& text) { text_ = text; }
  /// Applies the current text again, to rows a run has added since.
  Outcome Reapply() { return SetText(text_); }

  const QString& Text() const { return text_; }
  /// What is wrong with the text ("" when nothing), and where (a character index).
  const QString& Problem() const { return problem_; }
  qsizetype ProblemAt() const { return problem_at_; }
  /// "N of M rows shown" while some rows are set aside or a text is given; empty otherwise.
  QString Caption() const;

 private:
  ReportListModel& results_;
  ProgressBarModel& progress_;
  EventLoop& events_;
  QStringList kept_headers_;
  const std::vector<RowCells>* kept_cells_ = nullptr;
  QString text_;
  QString problem_;
  qsizetype problem_at_ = 0;
  uint64_t generation_ = 0;
};
