#pragma once

#include <memory>
#include <string>

#include "export/TextOutput.h"
#include "platform/StepFailure.h"

// Where `extract -o` writes. A file is written beside its final place and renamed over it once
// complete (ReplacingFile); standard output, a character device (/dev/null, a terminal) and a
// pipe are written straight into, as they cannot be replaced.
namespace Outputs {

enum class Kind {
  kStandardOutput,  ///< no -o, or a name of standard output (/dev/stdout, /dev/fd/1)
  kDescriptor,      ///< another open descriptor by name (/dev/stderr, /dev/fd/N)
  kStream,          ///< an existing character device or FIFO
  kFile,            ///< anything else: replaced once complete, or refused by ReplacingFile
};

Kind KindOf(const std::string& path);

/// Thrown by a write whose reader has gone (EPIPE, where SIGPIPE is ignored): nothing more can
/// arrive, so the run stops rather than read on for no one.
class ReaderGone : public StepFailure {
 public:
  using StepFailure::StepFailure;
};

/// The output for the path's bytes (empty: standard output). Throws StepFailure naming the
/// path when it cannot be opened.
std::unique_ptr<TextOutput> Open(const std::string& path);

}  // namespace Outputs
