#pragma once

#include <QStringList>

#include "tools/cli/extract/ExtractParts.h"

class ReportListModel;

namespace ExtractShown {

/// The columns the run fills: those shown, then those the filter or the playlist read.
QStringList RunColumns(const ExtractOptions& options);
/// Leaves the rows the filter keeps, in order, under the columns shown (a playlist keeps its
/// own).
void KeepShownRows(const ExtractOptions& options, ReportListModel& results);
/// The rows as an extended M3U playlist; rows whose path cannot be written are told. False
/// when the output could not be written.
bool WritePlaylist(const ExtractOptions& options, const ReportListModel& results,
                   ExtractParts::Unread& unread);

}  // namespace ExtractShown
