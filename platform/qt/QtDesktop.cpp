#include "platform/qt/QtDesktop.h"

#include <QDesktopServices>
#include <QUrl>

#include "platform/StepFailure.h"

void QtDesktop::OpenFolder(const QString& path) {
  if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
    throw StepFailure("The folder could not be opened: " + path.toStdString());
}

void QtDesktop::OpenWebAddress(const QString& address) {
  const QUrl url(address, QUrl::StrictMode);
  // Only web addresses: a file or program URL must never reach the desktop from here.
  if (!url.isValid() || (url.scheme() != u"https" && url.scheme() != u"http"))
    throw StepFailure("Invalid web address: " + address.toStdString());
  if (!QDesktopServices::openUrl(url))
    throw StepFailure("The web address could not be opened: " + address.toStdString());
}
