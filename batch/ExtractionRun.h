#pragma once

#include <QString>

#include "core/ErrorReport.h"
#include "platform/EventLoop.h"
#include "platform/ProgressBarModel.h"
#include "platform/ReportListModel.h"
#include "platform/Ui.h"
#include "platform/WindowPointer.h"

/// "Start Extracting Tags": reads every queued file with one tag object and appends one row
/// per file to the result table, yielding to the event loop before each file.
class ExtractionRun {
 public:
  /// `running` is the window's ExtractionRunning flag; the run sets and clears it.
  ExtractionRun(ReportListModel& file_list, ReportListModel& results, ProgressBarModel& progress,
                WindowPointer& pointer, bool& running, Ui& ui, EventLoop& events,
                ErrorReport& errors)
      : file_list_(file_list),
        results_(results),
        progress_(progress),
        pointer_(pointer),
        running_(running),
        ui_(ui),
        events_(events),
        errors_(errors) {}

  /// The click of "Start Extracting Tags".
  void Start();

  /// The progress value shown for file i of a list of `rows` rows: floor(i / rows * 100); a
  /// list emptied meanwhile shows the bar full instead of dividing by zero.
  static double ProgressValue(int i, int rows);

 private:
  ReportListModel& file_list_;
  ReportListModel& results_;
  ProgressBarModel& progress_;
  WindowPointer& pointer_;
  bool& running_;
  Ui& ui_;
  EventLoop& events_;
  ErrorReport& errors_;
};
