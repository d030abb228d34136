#pragma once

#include <QString>

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
/// as programs with their arguments, never through a shell.
class XdgSpreadsheetApp : public SpreadsheetApp {
 public:
  static constexpr char16_t kMimeType[] =
      u"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet";

  bool Registered() noexcept override;
  void Open(const QString& path) override;
};
