#pragma once

#include <QString>
#include <optional>

class Clipboard;
class ErrorReport;
class EventLoop;
class ReportListModel;
class Ui;
struct ResultTable;

namespace TableClipboard {

/// The longest clipboard text, in code units (256 MiB as the program holds it). One long lyric
/// padded into every row could otherwise ask for gigabytes.
inline constexpr qsizetype kClipboardTextLimit = qsizetype{128} << 20;

/// The checked rows as the clipboard carries them: no header line, every column padded to its
/// widest cell over all rows, the last one bare, CR LF after every line. Throws StepFailure when
/// the text would exceed `limit`; none when the window closed meanwhile.
std::optional<QString> ClipboardText(const ReportListModel& list, EventLoop& events,
                                     qsizetype limit = kClipboardTextLimit);
std::optional<QString> ClipboardTextOf(const ResultTable& table, EventLoop& events,
                                       qsizetype limit = kClipboardTextLimit);

/// The largest clipboard text that also goes along as an HTML table.
inline constexpr qsizetype kClipboardHtmlLimit = qsizetype{16} << 20;

/// The checked rows as an HTML table with a header row of the shown columns, for programs that
/// paste tables.
QString ClipboardHtml(const ResultTable& table);

/// Puts the checked rows of the list on the clipboard as plain text; an empty list leaves the
/// clipboard alone. Throws StepFailure when the text is too large or the clipboard stays held by
/// another program, so the caller never confirms a copy that did not happen. False, with the
/// clipboard untouched, when the window closed meanwhile.
bool CopyListviewToClipboard(const ReportListModel& list, Clipboard& clipboard, EventLoop& events);

/// Clears the clipboard, trying up to 1000 times; true when the last attempt worked.
bool ClearClipboardRetrying(Clipboard& clipboard) noexcept;

/// Puts text on the clipboard, trying up to 1000 times; format 0 is plain text, the only one
/// there is. True when the last attempt worked.
bool SetClipboardTextRetrying(Clipboard& clipboard, const QString& text, int format) noexcept;
/// The same with the HTML beside the text (none when `html` is empty).
bool SetClipboardTextRetrying(Clipboard& clipboard, const QString& text,
                              const QString& html) noexcept;

}  // namespace TableClipboard

/// "Copy Results To Clipboard".
class ClipboardCopy {
 public:
  ClipboardCopy(const ReportListModel& results, Clipboard& clipboard, EventLoop& events, Ui& ui,
                ErrorReport& errors)
      : results_(results), clipboard_(clipboard), events_(events), ui_(ui), errors_(errors) {}

  void Run();

 private:
  const ReportListModel& results_;
  Clipboard& clipboard_;
  EventLoop& events_;
  Ui& ui_;
  ErrorReport& errors_;
};

/// "Copy Folder Summary": the folder totals with a header line first, padded as the results are,
/// and as an HTML table; its confirmation names what was copied.
class SummaryCopy {
 public:
  SummaryCopy(const ReportListModel& summary, Clipboard& clipboard, EventLoop& events, Ui& ui,
              ErrorReport& errors)
      : summary_(summary), clipboard_(clipboard), events_(events), ui_(ui), errors_(errors) {}

  void Run();

  /// The summary's plain text: the header line, then every row.
  static std::optional<QString> Text(const ResultTable& summary, EventLoop& events);

 private:
  const ReportListModel& summary_;
  Clipboard& clipboard_;
  EventLoop& events_;
  Ui& ui_;
  ErrorReport& errors_;
};
