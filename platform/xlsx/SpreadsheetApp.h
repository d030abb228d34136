#pragma once

#include <QString>

#include "platform/DefaultApplication.h"

/// The desktop's application for .xlsx files.
class SpreadsheetApp {
 public:
  virtual ~SpreadsheetApp() = default;
  /// True when the desktop has an application registered for .xlsx files. Never throws.
  virtual bool Registered() noexcept = 0;
  /// Opens the workbook in that application; throws StepFailure when the desktop refuses.
  virtual void Open(const QString& path) = 0;
};

/// The freedesktop way: xdg-mime names the registered application, xdg-open starts it. Both run
/// as programs with their arguments, never through a shell. The desktop is asked once, from the
/// start, so a click never waits for it.
class XdgSpreadsheetApp : public SpreadsheetApp {
 public:
  static constexpr char16_t kMimeType[] =
      u"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet";

  /// `mime_query` stands in for xdg-mime (tests).
  explicit XdgSpreadsheetApp(const QString& mime_query = QStringLiteral("xdg-mime"))
      : registered_(QString::fromUtf16(kMimeType), mime_query) {}

  bool Registered() noexcept override { return registered_.Found(); }
  void Open(const QString& path) override;

 private:
  DefaultApplication registered_;
};
