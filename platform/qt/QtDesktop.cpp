#include "platform/qt/QtDesktop.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusReply>
#include <QDesktopServices>
#include <QDir>
#include <QStringList>
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

bool QtDesktop::SelectInFileManager(const QString& uri, std::function<void()> refused) {
  QDBusConnection bus =
      bus_address_.isEmpty()
          ? QDBusConnection::sessionBus()
          : QDBusConnection::connectToBus(bus_address_, QStringLiteral("tagloom-") + bus_address_);
  QDBusConnectionInterface* daemon = bus.isConnected() ? bus.interface() : nullptr;
  if (!daemon) return false;
  const QString service = QString::fromUtf16(kFileManagerService);
  bool offered = daemon->isServiceRegistered(service).value();
  if (!offered) {
    // Most file managers are started by the bus on the first request.
    const QDBusReply<QStringList> startable = daemon->call(QStringLiteral("ListActivatableNames"));
    offered = startable.isValid() && startable.value().contains(service);
  }
  if (!offered) return false;
  QDBusMessage request = QDBusMessage::createMethodCall(
      service, QString::fromUtf16(kFileManagerPath), service, QStringLiteral("ShowItems"));
  request << QStringList{uri} << QString();  // no startup notification id
  // A file manager that hangs or starts slowly must not hold the window: the answer is taken
  // when it comes, and an error, or none in time, opens the folder instead.
  auto* answer = new QDBusPendingCallWatcher(bus.asyncCall(request, answer_ms_), waiting_.get());
  QObject::connect(answer, &QDBusPendingCallWatcher::finished, answer,
                   [refused = std::move(refused)](QDBusPendingCallWatcher* call) {
                     call->deleteLater();
                     if (call->isError() && refused) refused();
                   });
  return true;
}
