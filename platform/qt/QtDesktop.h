#pragma once

#include <QString>
#include <utility>

#include "platform/DefaultApplication.h"
#include "platform/Desktop.h"

/// Folders and web addresses handed to the desktop through QDesktopServices. Whether a file
/// manager is set up is asked once, from the start: the desktop hands a folder on without a
/// word of failure even when nothing is there to show it.
class QtDesktop : public Desktop {
 public:
  /// `mime_query` stands in for xdg-mime (tests).
  /// `bus_address` stands in for the session bus (tests); empty takes the session's own.
  explicit QtDesktop(const QString& mime_query = QStringLiteral("xdg-mime"),
                     QString bus_address = QString())
      : file_manager_(QStringLiteral("inode/directory"), mime_query),
        bus_address_(std::move(bus_address)) {}

  void OpenFolder(const QString& path) override;
  void OpenWebAddress(const QString& address) override;
  void OpenFile(const QString& path) override;
  /// Through the freedesktop FileManager1 interface (ShowItems), where the session bus has a
  /// file manager that offers it, running or to be started.
  bool SelectInFileManager(const QString& uri) override;

  static constexpr char16_t kFileManagerService[] = u"org.freedesktop.FileManager1";
  static constexpr char16_t kFileManagerPath[] = u"/org/freedesktop/FileManager1";

 private:
  DefaultApplication file_manager_;
  QString bus_address_;
};
