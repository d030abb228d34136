#pragma once

#include <QString>

/// The system clipboard, plain text only. Another program may hold it, so each attempt can
/// fail; callers retry.
class Clipboard {
 public:
  virtual ~Clipboard() = default;
  /// Empties the clipboard; false when the attempt failed.
  virtual bool Clear() = 0;
  /// Puts text on the clipboard; false when the attempt failed.
  virtual bool SetText(const QString& text) = 0;
};
