#pragma once

#include <vector>

#include "batch/Audit.h"
#include "tools/cli/extract/ExtractParts.h"

// Where `audit` gets its rows: the one place that reads files for the report.
namespace AuditRows {

struct Wants {
  bool deep = false;        // walk every audio frame
  bool audio_hash = false;  // hash the audio between the tags
  QStringList extra;        // required fields beyond the report's columns
};

/// The rows of the paths given (folders walked as `extract` walks them), in list order. Files
/// and folders that cannot be read are told through `unread`; such a file keeps its row, whose
/// Status says why. False when a list could not be read a second time (the reason is said).
bool Read(const ExtractOptions& options, const Wants& wants, ExtractParts::Unread& unread,
          std::vector<Audit::Row>& rows);

}  // namespace AuditRows
