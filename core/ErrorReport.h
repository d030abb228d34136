#pragma once

#include <QString>
#include <QStringView>

class Ui;

/// The title of every error report box.
inline constexpr char16_t kErrorReportTitle[] = u"Application Error";

/// The report's text: description, CR LF, location, "at line ", step, CR CR, e-mail request.
QString ComposeErrorReport(const QString& description, QStringView location, int step);

/// Shows error reports through the window's message boxes; the command line prints them.
class ErrorReport {
 public:
  explicit ErrorReport(Ui& ui) : ui_(&ui) {}
  virtual ~ErrorReport() = default;
  ErrorReport(const ErrorReport&) = delete;
  ErrorReport& operator=(const ErrorReport&) = delete;
  /// Shows the report for a failed step and returns when the user has closed it.
  virtual void ShowErrorReport(QStringView location, int step, const QString& description);
  /// Shows what the user's setup refused, plainly, under the program's title; without a window
  /// it goes where the reports go.
  virtual void ShowSetupProblem(const QString& text);

 protected:
  ErrorReport() = default;

 private:
  Ui* ui_ = nullptr;
};
