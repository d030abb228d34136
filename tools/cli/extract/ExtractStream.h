#pragma once

#include "tools/cli/extract/ExtractParts.h"

class ReportListModel;

namespace ExtractStream {

/// Reads the rows of the paths given into the result table (or, for a summary, the folders'
/// totals), sorted when asked; files that could not be read are told. False when a list could
/// not be read a second time.
bool ReadTable(const ExtractOptions& options, ReportListModel& results,
               ExtractParts::Unread& unread);

/// JSON Lines or CSV, each row written as soon as it and the rows before it are read, so memory
/// stays flat however many files there are. The exit status.
int StreamRows(const ExtractOptions& options, ExtractParts::Unread& unread);

}  // namespace ExtractStream
