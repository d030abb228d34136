#include "platform/xlsx/SpreadsheetApp.h"

#include <QProcess>

#include "platform/StepFailure.h"

bool XdgSpreadsheetApp::Registered() noexcept {
  try {
    QProcess query;
    query.start(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"),
                                             QString::fromUtf16(kMimeType)});
    if (!query.waitForFinished(5000)) {
      query.kill();
      query.waitForFinished(1000);
      return false;
    }
    return query.exitStatus() == QProcess::NormalExit && query.exitCode() == 0 &&
           !query.readAllStandardOutput().trimmed().isEmpty();
  } catch (...) {
    return false;
  }
}

void XdgSpreadsheetApp::Open(const QString& path) {
  if (!QProcess::startDetached(QStringLiteral("xdg-open"), {path}))
    throw StepFailure("The workbook was saved as '" + path.toStdString() +
                      "' but the spreadsheet application could not be started.");
}
