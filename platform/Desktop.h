#pragma once

#include <QString>
#include <QUrl>

/// Hands folders and web addresses to the desktop; never through a shell command line.
class Desktop {
 public:
  virtual ~Desktop() = default;
  /// Shows the folder in the file browser; throws StepFailure when the desktop refuses.
  virtual void OpenFolder(const QString& path) = 0;
  /// Opens the address in the web browser; throws StepFailure when the desktop refuses.
  virtual void OpenWebAddress(const QString& address) = 0;
  /// Opens the file in the desktop's application for its kind (a player for music); throws
  /// StepFailure when the desktop refuses.
  virtual void OpenFile(const QString& path) {
    OpenWebAddress(QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded));
  }
  /// Shows the file in the file browser, selected where the desktop can; at least its folder.
  virtual void ShowInFolder(const QString& path) {
    if (SelectInFileManager(QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded))) return;
    OpenFolder(path.left(path.lastIndexOf(u'/') + 1));
  }
  /// Asks the file manager to show the file (a file: URI) selected in its folder; false when
  /// the desktop offers no such request or the file manager refused it.
  virtual bool SelectInFileManager(const QString& /*uri*/) { return false; }
};
