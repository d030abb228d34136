#include "platform/qt/QtEventLoop.h"

#include <QCoreApplication>

QtEventLoop::QtEventLoop(QObject* parent) : QObject(parent) {
  if (QCoreApplication* app = QCoreApplication::instance())
    connect(app, &QCoreApplication::aboutToQuit, this, [this] { closing_ = true; });
  since_last_.start();
}

bool QtEventLoop::Yield() {
  if (closing_) return true;
  if (since_last_.elapsed() >= kSliceMs && QCoreApplication::instance() != nullptr) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    since_last_.restart();
  }
  return closing_;
}
