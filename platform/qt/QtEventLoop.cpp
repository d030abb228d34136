#include "platform/qt/QtEventLoop.h"

#include <QCoreApplication>
#include <algorithm>

QtEventLoop::QtEventLoop(QObject* parent) : QObject(parent) {
  if (QCoreApplication* app = QCoreApplication::instance())
    connect(app, &QCoreApplication::aboutToQuit, this, [this] { closing_ = true; });
  since_last_.start();
}

bool QtEventLoop::Yield() {
  if (closing_) return true;
  if (since_last_.elapsed() >= slice_ms_ && QCoreApplication::instance() != nullptr) {
    QElapsedTimer turn;
    turn.start();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    slice_ms_ = std::clamp<qint64>(4 * turn.elapsed(), kSliceMs, kLongestSliceMs);
    since_last_.restart();
  }
  return closing_;
}
