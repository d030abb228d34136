// What `extract` keeps of the table before writing it: the rows the filter lets through, and
// the playlist made of them.
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "batch/ColumnCatalogue.h"
#include "export/Playlist.h"
#include "export/ResultTable.h"
#include "platform/FileNames.h"
#include "platform/PackedCells.h"
#include "platform/ReportListModel.h"
#include "tools/cli/extract/ExtractShown.h"
#include "tools/cli/extract/Outputs.h"

namespace ExtractShown {

using ExtractParts::Say;
using ExtractParts::Unread;

namespace {

// The cells a playlist entry is made of.
const QStringList kPlaylistColumns = {QStringLiteral("Full path"), QStringLiteral("Artist"),
                                      QStringLiteral("Title"), QStringLiteral("Duration")};

}  // namespace

QStringList RunColumns(const ExtractOptions& options) {
  QStringList columns = options.columns;
  const auto add = [&](const QStringList& more) {
    for (const QString& header : more)
      if (!columns.contains(header)) columns.append(header);
  };
  if (options.format == "m3u8") add(kPlaylistColumns);
  if (options.filter) add(options.filter->Columns());
  return columns;
}

void KeepShownRows(const ExtractOptions& options, ReportListModel& results) {
  const QStringList run = RunColumns(options);
  if (run == options.columns && !options.filter) return;
  if (options.filter) {
    RowFilter filter = *options.filter;
    QString missing;
    filter.Bind(run, options.columns.size(), missing);  // RunColumns holds every one it names
    std::vector<QStringView> cells(size_t(run.size()));
    std::vector<QString> texts(size_t(run.size()));
    std::vector<int> kept;
    for (int row = 1; row <= results.RowCount(); ++row) {
      const RowCells& packed = results.Cells(row);
      for (const int c : filter.CellsRead()) {
        PackedText::UnpackInto(packed.Packed(c), texts[size_t(c)]);
        cells[size_t(c)] = texts[size_t(c)];
      }
      if (filter.Matches(cells)) kept.push_back(row - 1);
    }
    if (static_cast<int>(kept.size()) != results.RowCount()) {
      // The rows kept move to the front in their order; the others are cut off the end.
      std::vector<int> order = kept;
      std::vector<bool> taken(size_t(results.RowCount()), false);
      for (const int row : kept) taken[size_t(row)] = true;
      for (int row = 0; row < results.RowCount(); ++row)
        if (!taken[size_t(row)]) order.push_back(row);
      results.ReorderRows(order);
      for (int row = results.RowCount(); row > static_cast<int>(kept.size()); --row)
        results.RemoveRow(row);
    }
  }
  // A playlist reads its own cells; every other format shows the columns asked for.
  if (options.format != "m3u8" && run != options.columns) {
    std::vector<std::optional<int>> widths;
    for (const QString& header : options.columns) {
      const ColumnCatalogue::Column* known = ColumnCatalogue::Find(header);
      widths.push_back(known ? known->width_twips : std::nullopt);
    }
    results.ReplaceColumns(options.columns, widths);
  }
}

bool WritePlaylist(const ExtractOptions& options, const ReportListModel& results, Unread& unread) {
  const ResultTable table = ResultTable::Of(results);
  const auto column = [&](const QString& header) {
    return static_cast<int>(table.headers.indexOf(header)) + 1;
  };
  const Playlist::Columns columns{column(kPlaylistColumns[0]), column(kPlaylistColumns[1]),
                                  column(kPlaylistColumns[2]), column(kPlaylistColumns[3])};
  try {
    // Paths are relative only where the playlist lies in a folder at or above them.
    const QString folder =
        options.output.empty() ? QString() : Playlist::FolderOf(FileNames::ToText(options.output));
    const Playlist::Written written =
        Playlist::Write(table, columns, folder, *Outputs::Open(options.output));
    for (const QString& path : written.refused)
      unread.Tell("left out of the playlist '" + FileNames::ToStdBytes(path) +
                  "': its name holds a line break, which would end the entry's line");
  } catch (const std::exception& e) {
    Say(e.what());
    return false;
  }
  return true;
}

}  // namespace ExtractShown
