#pragma once

namespace ExtractHelp {

/// What `extract --help` prints, and what follows a usage error.
extern const char* const kText;

}  // namespace ExtractHelp
