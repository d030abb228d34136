#pragma once

#include <QElapsedTimer>
#include <QObject>

#include "platform/EventLoop.h"

/// Lets Qt handle pending events, at most once per time slice, so a loop can yield for every
/// cell of a large table without slowing down. A turn of the event loop that took long (a
/// table repainted while thousands of rows arrive) makes the next slice longer, so that the
/// window's events take at most about a fifth of the long action's thread; input still waits
/// no more than kLongestSliceMs.
class QtEventLoop : public QObject, public EventLoop {
  Q_OBJECT

 public:
  static constexpr int kSliceMs = 8;
  static constexpr int kLongestSliceMs = 40;

  explicit QtEventLoop(QObject* parent = nullptr);
  bool Yield() override;
  /// The main window is closing: every later Yield answers true.
  void SetClosing() { closing_ = true; }
  /// The time slice the next turn waits for.
  qint64 SliceMs() const { return slice_ms_; }

 private:
  QElapsedTimer since_last_;
  qint64 slice_ms_ = kSliceMs;
  bool closing_ = false;
};
