#pragma once

#include <QObject>
#include <QString>
#include <memory>
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
  /// `answer_ms` is how long the file manager has to answer.
  explicit QtDesktop(const QString& mime_query = QStringLiteral("xdg-mime"),
                     QString bus_address = QString(), int answer_ms = kFileManagerAnswerMs)
      : file_manager_(QStringLiteral("inode/directory"), mime_query),
        bus_address_(std::move(bus_address)),
        answer_ms_(answer_ms) {}

  void OpenFolder(const QString& path) override;
  void OpenWebAddress(const QString& address) override;
  void OpenFile(const QString& path) override;
  /// Through the freedesktop FileManager1 interface (ShowItems), where the session bus has a
  /// file manager that offers it, running or to be started.
  bool SelectInFileManager(const QString& uri, std::function<void()> refused) override;

  static constexpr char16_t kFileManagerService[] = u"org.freedesktop.FileManager1";
  static constexpr char16_t kFileManagerPath[] = u"/org/freedesktop/FileManager1";
  /// Long enough for a file manager to start.
  static constexpr int kFileManagerAnswerMs = 5000;

 private:
  DefaultApplication file_manager_;
  QString bus_address_;
  int answer_ms_;
  // Owns the requests still waiting for an answer: none is answered into a gone desktop.
  std::unique_ptr<QObject> waiting_ = std::make_unique<QObject>();
};
