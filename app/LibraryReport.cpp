#include "app/LibraryReport.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "batch/AuditFacts.h"
#include "batch/ColumnCatalogue.h"
#include "core/Main.h"
#include "platform/FileNames.h"
#include "platform/ReportListModel.h"

namespace LibraryReport {

Made FromTables(const ReportListModel& file_list, const ReportListModel& results,
                const Audit::Options& options, const Audit::KeptFacts& kept) {
  Made made;
  const QStringList& headers = Audit::ColumnHeaders();
  // The table's column of each report cell (1-based), 0 where it has none.
  std::vector<int> column(headers.size(), 0);
  for (int c = 1; c <= results.ColumnCount(); ++c) {
    const qsizetype at = headers.indexOf(results.Header(c));
    if (at >= 0) column[static_cast<size_t>(at)] = c;
  }
  const QStringList extra = Audit::ExtraHeaders(options.require);
  std::vector<int> extra_column(static_cast<size_t>(extra.size()), 0);
  for (int c = 1; c <= results.ColumnCount(); ++c)
    if (const qsizetype at = extra.indexOf(results.Header(c)); at >= 0)
      extra_column[static_cast<size_t>(at)] = c;
  for (size_t h = 0; h < column.size(); ++h)
    if (column[h] == 0 && h != Audit::kFullPath && h != Audit::kFolder && h != Audit::kFileName)
      made.lacking.append(headers[static_cast<qsizetype>(h)]);

  std::vector<Audit::Row> rows;
  rows.reserve(static_cast<size_t>(results.RowCount()));
  const QChar separator(Main::kSeparator);
  for (int r = 1; r <= results.RowCount(); ++r) {
    Audit::Row row;
    for (size_t h = 0; h < column.size(); ++h)
      if (column[h] > 0) row.cells[h] = results.Cell(r, column[h]);
    for (const int c : extra_column) row.extra.push_back(c > 0 ? results.Cell(r, c) : QString());
    QString& path = row[Audit::kFullPath];
    if (path.isEmpty() && !row[Audit::kFolder].isEmpty() && !row[Audit::kFileName].isEmpty())
      path = row[Audit::kFolder] + separator + row[Audit::kFileName];
    if (path.isEmpty() && r <= file_list.RowCount()) path = file_list.Text(r);
    if (row[Audit::kFileName].isEmpty()) row[Audit::kFileName] = Main::FileNameOfPath(path);
    if (row[Audit::kFolder].isEmpty()) {
      const qsizetype cut = path.lastIndexOf(separator);
      row[Audit::kFolder] = cut > 0 ? path.left(cut) : QString();
    }
    Audit::Kept facts = kept.At(static_cast<size_t>(results.Arrival(r)));
    row.cover = facts.cover;
    row.profile = std::move(facts.profile);
    made.rows_by_path.emplace_back(path, r);
    rows.push_back(std::move(row));
  }
  std::sort(made.rows_by_path.begin(), made.rows_by_path.end());
  made.report = Audit::Run(rows, options);
  made.rows = std::move(rows);
  made.options = options;
  return made;
}

int RowOf(const Made& made, const QString& path) {
  const auto at =
      std::lower_bound(made.rows_by_path.begin(), made.rows_by_path.end(), std::make_pair(path, 0));
  return at != made.rows_by_path.end() && at->first == path ? at->second : 0;
}

bool CheckAudio(Made& made, bool deep, bool hash,
                const std::function<bool(size_t done, size_t total)>& go_on) {
  std::vector<Audit::Row> rows = made.rows;
  std::string bytes;
  for (size_t i = 0; i < rows.size(); ++i) {
    if (!go_on(i, rows.size())) return false;
    Audit::Row& row = rows[i];
    // A file gone since the run has nothing to check; one without frames shows no damage.
    // A pipe or a device put in a file's place would be read without end.
    const std::string name = FileNames::ToStdBytes(row[Audit::kFullPath]);
    std::error_code error;
    if (!std::filesystem::is_regular_file(name, error)) continue;
    std::ifstream in(name, std::ios::binary);
    if (!in) continue;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    const AuditFacts::Span span = AuditFacts::AudioSpan(bytes);
    if (hash) row.audio_hash = AuditFacts::AudioHash(bytes, span);
    if (deep) row.damage = AuditFacts::WalkFrames(bytes, span);
  }
  if (!go_on(rows.size(), rows.size())) return false;
  made.rows = std::move(rows);
  made.report = Audit::Run(made.rows, made.options);
  return true;
}

AudioCheck::AudioCheck(Made made, bool deep, bool hash, std::function<void(size_t done)> on_file)
    : made_(std::move(made)), total_(made_.rows.size()) {
  worker_ = std::thread([this, deep, hash, on_file = std::move(on_file)] {
    complete_ = CheckAudio(made_, deep, hash, [&](size_t done, size_t) {
      done_.store(done, std::memory_order_relaxed);
      if (on_file && done < total_) on_file(done);
      return !stop_.load(std::memory_order_relaxed);
    });
    finished_.store(true, std::memory_order_release);
  });
}

AudioCheck::~AudioCheck() {
  Stop();
  worker_.join();
}

std::optional<Made> AudioCheck::Result() {
  if (!Finished() || !complete_) return std::nullopt;
  return std::move(made_);
}

}  // namespace LibraryReport
