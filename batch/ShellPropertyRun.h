#pragma once

#include <QChar>
#include <QString>
#include <array>
#include <string_view>

#include "core/ErrorReport.h"
#include "core/Main.h"
#include "platform/EventLoop.h"
#include "platform/ProgressBarModel.h"
#include "platform/ReportListModel.h"
#include "platform/ShellProperties.h"
#include "platform/Ui.h"
#include "platform/WindowPointer.h"

/// "Old" (hidden): fills the result table from the shell's detail columns instead of the tag
/// engine. For each queued file it opens the file's folder in the shell, finds the item of the
/// same name and copies the details whose column names it knows into the file's row.
class ShellPropertyRun {
 public:
  /// A shell column name and the result sub-item it fills; `line` is the statement number of
  /// the name's test, the write that follows it has `line + 2`.
  struct Mapping {
    std::u16string_view column_name;
    int sub_item;
    int line;
  };

  /// Tested in this order. "Genre", "Duration" and "Bit Rate" have no column of their own in
  /// the result table and go under "Year", "Comments" and "Lyrics".
  static constexpr std::array<Mapping, 8> kMappings = {{
      {u"Title", 1, 148},
      {u"Authors", 2, 152},
      {u"Album Title", 3, 156},
      {u"Track Number", 4, 160},
      {u"Composers", 8, 164},
      {u"Genre", 5, 168},
      {u"Duration", 6, 172},
      {u"Bit Rate", 7, 176},
  }};

  ShellPropertyRun(ReportListModel& file_list, ReportListModel& results, ProgressBarModel& progress,
                   WindowPointer& pointer, Ui& ui, EventLoop& events, ShellProperties& shell,
                   ErrorReport& errors)
      : file_list_(file_list),
        results_(results),
        progress_(progress),
        pointer_(pointer),
        ui_(ui),
        events_(events),
        shell_(shell),
        errors_(errors) {}

  /// The click of "Old".
  void Start();

  /// A flag the window raises to stop the run at its next file; the run lowers it as it starts.
  void SetStopFlag(bool* stop) { stop_ = stop; }

  /// How many threads read the next files' details ahead (0: one per core, 1: none).
  void SetJobs(int jobs) { jobs_ = jobs; }

  /// Every part of path between separators except the last, each followed by the separator:
  /// "C:\a\b.mp3" gives "C:\a\"; a path without a separator gives empty text.
  static QString FolderOfPath(const QString& path, QChar separator = Main::kSeparator);

  /// The mapping of an exact (case-sensitive) column name, or nullptr.
  static const Mapping* MappingOf(const QString& column_name);

  /// i / rows * 100 unrounded; a list emptied meanwhile shows the bar full rather than
  /// dividing by zero.
  static double ProgressValue(int i, int rows);

 private:
  ReportListModel& file_list_;
  ReportListModel& results_;
  ProgressBarModel& progress_;
  WindowPointer& pointer_;
  Ui& ui_;
  EventLoop& events_;
  ShellProperties& shell_;
  ErrorReport& errors_;
  bool* stop_ = nullptr;
  int jobs_ = 0;
};
