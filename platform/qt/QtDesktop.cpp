#include "platform/qt/QtDesktop.h"

#include <QDesktopServices>
#include <QDir>
#include <QUrl>

#include "platform/StepFailure.h"

void QtDesktop::OpenFolder(const QString& path) {
  const std::string shown = QDir::toNativeSeparators(path).toStdString();
  if (!file_manager_.Found())
    throw SetupFailure(
        "The folder could not be opened: no file manager is set up on this "
        "computer.\r\rThe folder is here: " +
        shown);
  if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
    throw SetupFailure(
        "The folder could not be opened: the desktop found no program to show "
        "it.\r\rThe folder is here: " +
        shown);
}

void QtDesktop::OpenFile(const QString& path) {
  if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
    throw StepFailure("The file could not be opened: " +
                      QDir::toNativeSeparators(path).toStdString());
}

void QtDesktop::OpenWebAddress(const QString& address) {
  const QUrl url(address, QUrl::StrictMode);
  // Only web addresses: a file or program URL must never reach the desktop from here.
  if (!url.isValid() || (url.scheme() != u"https" && url.scheme() != u"http"))
    throw StepFailure("Invalid web address: " + address.toStdString());
  if (!QDesktopServices::openUrl(url))
    throw StepFailure("The web address could not be opened: " + address.toStdString());
}
