#pragma once

#include "tools/cli/ExtractParts.h"

namespace ExtractStream {

/// JSON Lines or CSV, each row written as soon as it and the rows before it are read, so memory
/// stays flat however many files there are. The exit status.
int StreamRows(const ExtractOptions& options, ExtractParts::Unread& unread);

}  // namespace ExtractStream
