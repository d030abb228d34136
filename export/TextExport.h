#pragma once

#include <QString>
#include <functional>
#include <memory>

#include "tag/TagFileSystem.h"

class ErrorReport;
class EventLoop;
class ProgressBarModel;
class TextOutput;
class ReportListModel;
class Ui;
class WindowPointer;

namespace TextExport {

/// What the text export needs besides the list: the event loop it yields to, the report that
/// shows its failures, and the file layer (the real one unless a test passes another). `open`,
/// when set, gives the output for a path instead of a file that replaces its namesake.
struct TextExportServices {
  EventLoop& events;
  ErrorReport& errors;
  std::shared_ptr<TagFileSystem> files = nullptr;
  std::function<std::unique_ptr<TextOutput>(const QString& path)> open = nullptr;
};

/// Writes the list as aligned text to path: a header line, then one line per checked row, each
/// field padded to its column's width over all rows and closed by a tab, CR LF after every line,
/// UTF-8 without a byte-order mark. The new file replaces an old one only once it is complete.
/// Reports its own failures and never throws; progress may be null.
void SaveListviewProperlySpaced(const ReportListModel& list, const QString& path,
                                ProgressBarModel* progress, const TextExportServices& services);

}  // namespace TextExport

/// "Save Results As Text File": asks for a path, then writes the result table there.
class TextFileExport {
 public:
  TextFileExport(const ReportListModel& results, ProgressBarModel& progress, WindowPointer& pointer,
                 Ui& ui, const TextExport::TextExportServices& services)
      : results_(results), progress_(progress), pointer_(pointer), ui_(ui), services_(services) {}

  void Run();

 private:
  const ReportListModel& results_;
  ProgressBarModel& progress_;
  WindowPointer& pointer_;
  Ui& ui_;
  TextExport::TextExportServices services_;
};
