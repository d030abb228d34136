#pragma once

#include <string>

#include "batch/Audit.h"

/// The report written out: text for people, CSV and JSON Lines for scripts, and one
/// self-contained HTML page with charts. Every writer gives UTF-8.
namespace AuditReport {

std::string Text(const Audit::Report& report);
/// rule,severity,album,path,detail with a header line (RFC 4180).
std::string Csv(const Audit::Report& report);
/// One finding per line (rule, severity, album, path, detail), then the statistics as lines
/// whose rule is "stat".
std::string JsonLines(const Audit::Report& report);
/// A page that fetches nothing: styles, charts (inline SVG) and its filter script inside it,
/// allowed by its Content-Security-Policy through their hashes and nothing else.
std::string Html(const Audit::Report& report);

/// Tag text made safe for HTML text and attribute values.
std::string Escaped(const QString& text);

}  // namespace AuditReport
