#pragma once

#include <string_view>

/// Where an export's bytes go: a file that replaces its namesake once complete, or a stream the
/// command line writes to. Failures throw StepFailure naming the place.
class TextOutput {
 public:
  virtual ~TextOutput() = default;
  virtual void Write(std::string_view bytes) = 0;
  /// Everything written is in its place.
  virtual void Commit() = 0;
};
