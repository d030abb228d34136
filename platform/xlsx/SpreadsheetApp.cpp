#include "platform/xlsx/SpreadsheetApp.h"

#include <QProcess>

#include "platform/StepFailure.h"

void XdgSpreadsheetApp::Open(const QString& path) {
  if (!QProcess::startDetached(QStringLiteral("xdg-open"), {path}))
    throw StepFailure("The spreadsheet application could not be started.");
}
