#pragma once

#include <QElapsedTimer>
#include <QObject>

#include "platform/EventLoop.h"

/// Lets Qt handle pending events, at most once per time slice, so a loop can yield for every
/// cell of a large table without slowing down.
class QtEventLoop : public QObject, public EventLoop {
  Q_OBJECT

 public:
  static constexpr int kSliceMs = 8;

  explicit QtEventLoop(QObject* parent = nullptr);
  bool Yield() override;
  /// The main window is closing: every later Yield answers true.
  void SetClosing() { closing_ = true; }

 private:
  QElapsedTimer since_last_;
  bool closing_ = false;
};
