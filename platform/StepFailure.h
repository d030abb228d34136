#pragma once

#include <stdexcept>

/// Thrown by service operations and list accessors when a step cannot be done; what() is the
/// description the error report shows.
class StepFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
