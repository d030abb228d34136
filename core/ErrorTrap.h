#pragma once

#include <QString>
#include <QStringView>
#include <exception>
#include <set>
#include <string_view>
#include <utility>

#include "core/ErrorReport.h"
#include "platform/StepFailure.h"

/// The error trap of one call of a trapped procedure. Lines are numbered 100, 102, ...; a step
/// that throws is reported with the number of its line, then the procedure goes on with the
/// next step. A step that fails again in a later pass of a loop is reported only the first
/// time, so a run over many files cannot bury the user under identical boxes.
class ErrorTrap {
 public:
  ErrorTrap(std::u16string_view location, ErrorReport& reporter)
      : location_(location), reporter_(reporter) {}

  /// Runs one numbered step; a failure inside it is reported and swallowed.
  template <typename Action>
  void Step(int line, Action&& action) {
    line_ = line;
    try {
      std::forward<Action>(action)();
    } catch (const SetupFailure& e) {
      if (reported_.insert(line_).second) reporter_.ShowSetupProblem(QString::fromUtf8(e.what()));
    } catch (const std::exception& e) {
      Report(QString::fromUtf8(e.what()));
    } catch (...) {
      Report(QStringLiteral("Unknown error"));
    }
  }

  /// A numbered line whose statements cannot fail.
  void Line(int line) { line_ = line; }
  /// The number of the last numbered line reached.
  int CurrentLine() const { return line_; }

 private:
  void Report(const QString& description) {
    if (!reported_.insert(line_).second) return;
    reporter_.ShowErrorReport(QStringView(location_), line_, description);
  }

  std::u16string_view location_;
  ErrorReport& reporter_;
  int line_ = 0;
  std::set<int> reported_;
};

/// The object held in x, or a StepFailure when there is none (an object never created).
template <typename Holder>
auto& Require(Holder& x) {
  if (!x) throw StepFailure("Object variable or With block variable not set");
  return *x;
}
