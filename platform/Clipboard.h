#pragma once

#include <QString>

/// The system clipboard. Another program may hold it, so each attempt can fail; callers retry.
class Clipboard {
 public:
  virtual ~Clipboard() = default;
  /// Empties the clipboard; false when the attempt failed.
  virtual bool Clear() = 0;
  /// Puts text on the clipboard; false when the attempt failed.
  virtual bool SetText(const QString& text) = 0;
  /// Puts the text and, beside it, the same content as HTML, which spreadsheets and word
  /// processors paste as a table; programs that take text still get exactly `text`.
  virtual bool SetTextAndHtml(const QString& text, const QString& html) {
    (void)html;
    return SetText(text);
  }
};
