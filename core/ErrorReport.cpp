#include "core/ErrorReport.h"

#include "core/Maker.h"
#include "platform/Ui.h"

QString ComposeErrorReport(const QString& description, QStringView location, int step) {
  QString text = description;
  text += QStringLiteral("\r\n");
  text += location;
  text += QStringLiteral("at line ");
  text += QString::number(step);
  text += QStringLiteral("\r\r");
  text += QStringLiteral("Please email screenshot of this message to ");
  text += QStringView(Maker::kSupportEmail);
  return text;
}

void ErrorReport::ShowSetupProblem(const QString& text) {
  if (ui_) {
    ui_->Exclamation(text, ui_->ApplicationTitle());
  } else {
    ShowErrorReport({}, 0, text);
  }
}

void ErrorReport::ShowErrorReport(QStringView location, int step, const QString& description) {
  if (ui_)
    ui_->Exclamation(ComposeErrorReport(description, location, step),
                     QString::fromUtf16(kErrorReportTitle));
}
