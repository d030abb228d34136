#include "export/ClipboardCopy.h"

#include <optional>
#include <vector>

#include "core/ErrorTrap.h"
#include "core/Locations.h"
#include "export/ResultTable.h"
#include "export/TextLines.h"
#include "platform/Clipboard.h"
#include "platform/EventLoop.h"
#include "platform/ReportListModel.h"
#include "platform/StepFailure.h"
#include "platform/Ui.h"

namespace Main {

namespace {

constexpr int kAttempts = 1000;

}  // namespace

std::optional<QString> ClipboardText(const ReportListModel& list, EventLoop& events,
                                     qsizetype limit) {
  // A copy, since "Clear Results" or a new run may take the rows away during a yield.
  const ResultTable table = ResultTable::Of(list);
  const int columns = table.ColumnCount();
  const int rows = table.RowCount();

  std::vector<int> widths;
  widths.reserve(size_t(columns));
  for (int c = 1; c <= columns; ++c) {
    int w = 0;
    for (int r = 1; r <= rows; ++r) {
      if (events.Yield()) return std::nullopt;
      const qsizetype length = table.Cell(r, c).size();
      if (length > w) w = static_cast<int>(length);
    }
    widths.push_back(w);
  }

  // Checked before anything is built, so a huge table fails at once instead of running out of
  // memory half-way.
  qsizetype checked = 0;
  for (const ResultTable::Row& row : table.rows) checked += row.checked ? 1 : 0;
  const qsizetype bound = TextLines::ClipboardLineBound(widths);
  if (checked > 0 && bound > limit / checked) {
    const double mib = double(bound) * double(checked) * 2 / (1 << 20);
    throw StepFailure(QStringLiteral("The results are too large for the clipboard: the text would "
                                     "take up to %1 MiB, more than the %2 MiB allowed. Save them "
                                     "as a text file instead.")
                          .arg(mib, 0, 'f', 0)
                          .arg(double(limit) * 2 / (1 << 20), 0, 'f', 0)
                          .toStdString());
  }

  QString text;
  text.reserve(bound * checked);
  for (int r = 1; r <= rows; ++r) {
    if (events.Yield()) return std::nullopt;
    const ResultTable::Row& row = table.rows[size_t(r - 1)];
    if (!row.checked) continue;
    for (int c = 1; c <= columns; ++c) {
      if (events.Yield()) return std::nullopt;
    }
    text += TextLines::ClipboardLine(row.Cells(columns), widths);
  }
  return text;
}

bool ClearClipboardRetrying(Clipboard& clipboard) noexcept {
  bool done = false;
  for (int attempt = 0; !done && attempt < kAttempts; ++attempt) {
    try {
      done = clipboard.Clear();
    } catch (...) {
      done = false;
    }
  }
  return done;
}

bool SetClipboardTextRetrying(Clipboard& clipboard, const QString& text, int format) noexcept {
  if (format != 0) return false;
  bool done = false;
  for (int attempt = 0; !done && attempt < kAttempts; ++attempt) {
    try {
      done = clipboard.SetText(text);
    } catch (...) {
      done = false;
    }
  }
  return done;
}

bool CopyListviewToClipboard(const ReportListModel& list, Clipboard& clipboard, EventLoop& events) {
  if (list.RowCount() == 0) return true;
  const std::optional<QString> text = ClipboardText(list, events);
  if (!text) return false;
  ClearClipboardRetrying(clipboard);
  if (!SetClipboardTextRetrying(clipboard, *text, 0))
    throw StepFailure(
        "The clipboard is held by another program; the results were not copied. Try again.");
  return true;
}

}  // namespace Main

void ClipboardCopy::Run() {
  ErrorTrap trap(loc::kPushButton6Click, errors_);
  bool copied = false;
  trap.Step(100, [&] { copied = Main::CopyListviewToClipboard(results_, clipboard_, events_); });
  // After a reported failure the confirmation would claim a copy that never happened.
  if (!copied) return;
  trap.Step(102, [&] {
    ui_.Message(
        QStringLiteral("Results have been copied to the clipboard.\r\r"
                       "Click a text area where you normally type and press Ctrl+V to "
                       "paste the clipboard."));
  });
}
