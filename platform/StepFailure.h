#pragma once

#include <stdexcept>

/// Thrown by service operations and list accessors when a step cannot be done; what() is the
/// description the error report shows.
class StepFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// A step the user's own setup refused (no file manager, a folder that cannot be made): no
/// fault of the program, so it is said plainly, with the system's reason, and never as an
/// error report to send in.
class SetupFailure : public StepFailure {
 public:
  using StepFailure::StepFailure;
};
