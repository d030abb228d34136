#pragma once

#include <QString>

/// Hands folders and web addresses to the desktop; never through a shell command line.
class Desktop {
 public:
  virtual ~Desktop() = default;
  /// Shows the folder in the file browser; throws StepFailure when the desktop refuses.
  virtual void OpenFolder(const QString& path) = 0;
  /// Opens the address in the web browser; throws StepFailure when the desktop refuses.
  virtual void OpenWebAddress(const QString& address) = 0;
};
