#pragma once

#include "platform/DefaultApplication.h"
#include "platform/Desktop.h"

/// Folders and web addresses handed to the desktop through QDesktopServices. Whether a file
/// manager is set up is asked once, from the start: the desktop hands a folder on without a
/// word of failure even when nothing is there to show it.
class QtDesktop : public Desktop {
 public:
  /// `mime_query` stands in for xdg-mime (tests).
  explicit QtDesktop(const QString& mime_query = QStringLiteral("xdg-mime"))
      : file_manager_(QStringLiteral("inode/directory"), mime_query) {}

  void OpenFolder(const QString& path) override;
  void OpenWebAddress(const QString& address) override;
  void OpenFile(const QString& path) override;

 private:
  DefaultApplication file_manager_;
};
