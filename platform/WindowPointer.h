#pragma once

#include <QObject>

/// The main window's pointer. Busy doubles as the program's busy flag; hover never replaces it.
enum class Pointer { Default, Busy, Hover };

/// Long actions call BeginLongAction/EndLongAction; the hourglass shows while any of them runs,
/// so one action ending does not clear the busy state of another that runs through a yield.
class WindowPointer : public QObject {
  Q_OBJECT

 public:
  explicit WindowPointer(QObject* parent = nullptr) : QObject(parent) {}

  Pointer Shape() const { return shape_; }
  bool IsBusy() const { return shape_ == Pointer::Busy; }
  int RunningActions() const { return running_; }

  /// A long action starts: the busy pointer shows.
  void BeginLongAction();
  /// A long action ends: the default pointer shows once no other long action runs.
  void EndLongAction();
  /// Pointer over a push button; leaves the busy pointer alone.
  void SetHover();
  /// Pointer over the background or a list; leaves the busy pointer alone.
  void SetDefault();

 signals:
  void ShapeChanged(Pointer shape);

 private:
  void Show(Pointer shape);

  Pointer shape_ = Pointer::Default;
  int running_ = 0;
};
