#pragma once

#include <QString>
#include <QUrl>
#include <functional>

#include "platform/StepFailure.h"

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
  /// Never waits for the file manager: where it refuses or does not answer, the folder is
  /// opened later, on the caller's thread, and a failure then goes to `failed`. Throws
  /// StepFailure when the folder, opened at once, cannot be.
  virtual void ShowInFolder(const QString& path, std::function<void(const StepFailure&)> failed) {
    const QString folder = path.left(path.lastIndexOf(u'/') + 1);
    const auto open_folder = [this, folder, failed = std::move(failed)] {
      try {
        OpenFolder(folder);
      } catch (const StepFailure& e) {
        if (failed) failed(e);
      }
    };
    if (SelectInFileManager(QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded), open_folder))
      return;
    OpenFolder(folder);
  }
  /// Asks the file manager to show the file (a file: URI) selected in its folder and returns
  /// at once; false when the desktop offers no such request. Once asked, `refused` runs later,
  /// on the caller's thread, if the file manager refuses or does not answer in time.
  virtual bool SelectInFileManager(const QString& /*uri*/, std::function<void()> /*refused*/) {
    return false;
  }
};
