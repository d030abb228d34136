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

namespace TableClipboard {

namespace {

constexpr int kAttempts = 1000;

}  // namespace

std::optional<QString> ClipboardText(const ReportListModel& list, EventLoop& events,
                                     qsizetype limit) {
  // A copy, since "Clear Results" or a new run may take the rows away during a yield.
  return ClipboardTextOf(ResultTable::Of(list), events, limit);
}

QString ClipboardHtml(const ResultTable& table) {
  const auto cell = [](const char* tag, const QString& text) {
    QString escaped = text.toHtmlEscaped();
    escaped.replace(QStringLiteral("\r\n"), QStringLiteral("<br>"));
    escaped.replace(u'\r', QStringLiteral("<br>"));
    escaped.replace(u'\n', QStringLiteral("<br>"));
    return QStringLiteral("<%1>%2</%1>").arg(QLatin1String(tag), escaped);
  };
  QString html = QStringLiteral("<html><body><table>\n<tr>");
  for (const QString& header : table.headers) html += cell("th", header);
  html += QStringLiteral("</tr>\n");
  for (const ResultTable::Row& row : table.rows) {
    if (!row.checked) continue;
    html += QStringLiteral("<tr>");
    for (const QString& text : row.Cells(table.ColumnCount())) html += cell("td", text);
    html += QStringLiteral("</tr>\n");
  }
  return html + QStringLiteral("</table></body></html>\n");
}

std::optional<QString> ClipboardTextOf(const ResultTable& table, EventLoop& events,
                                       qsizetype limit) {
  const int columns = table.ColumnCount();
  const int rows = table.RowCount();

  std::vector<int> widths;
  widths.reserve(size_t(columns));
  for (int c = 1; c <= columns; ++c) {
    int w = 0;
    for (int r = 1; r <= rows; ++r) {
      if (events.Yield()) return std::nullopt;
      const qsizetype length = table.CellLength(r, c);
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
  return SetClipboardTextRetrying(clipboard, text, QString());
}

bool SetClipboardTextRetrying(Clipboard& clipboard, const QString& text,
                              const QString& html) noexcept {
  bool done = false;
  for (int attempt = 0; !done && attempt < kAttempts; ++attempt) {
    try {
      done = html.isEmpty() ? clipboard.SetText(text) : clipboard.SetTextAndHtml(text, html);
    } catch (...) {
      done = false;
    }
  }
  return done;
}

bool CopyListviewToClipboard(const ReportListModel& list, Clipboard& clipboard, EventLoop& events) {
  if (list.RowCount() == 0) return true;
  const ResultTable table = ResultTable::Of(list);
  const std::optional<QString> text = ClipboardTextOf(table, events);
  if (!text) return false;
  // The table goes along as HTML when it is of a size a paste can take; the text is the same
  // either way.
  const QString html = text->size() <= kClipboardHtmlLimit ? ClipboardHtml(table) : QString();
  ClearClipboardRetrying(clipboard);
  if (!SetClipboardTextRetrying(clipboard, *text, html))
    throw StepFailure(
        "The clipboard is held by another program; the results were not copied. Try again.");
  return true;
}

}  // namespace TableClipboard

void ClipboardCopy::Run() {
  ErrorTrap trap(loc::kPushButton6Click, errors_);
  bool copied = false;
  trap.Step(100, [&] {
    copied = TableClipboard::CopyListviewToClipboard(results_, clipboard_, events_);
  });
  // After a reported failure the confirmation would claim a copy that never happened.
  if (!copied) return;
  trap.Step(102, [&] {
    ui_.Message(
        QStringLiteral("Results have been copied to the clipboard.\r\r"
                       "Click a text area where you normally type and press Ctrl+V to "
                       "paste the clipboard."));
  });
}

std::optional<QString> SummaryCopy::Text(const ResultTable& summary, EventLoop& events) {
  // The header goes in as a first row, so the columns are padded to it as well.
  ResultTable with_header;
  with_header.headers = summary.headers;
  std::vector<std::string> packed(size_t(summary.headers.size()));
  std::vector<std::string_view> views;
  for (qsizetype c = 0; c < summary.headers.size(); ++c)
    PackedText::PackInto(packed[size_t(c)], summary.headers[c], false);
  views.assign(packed.begin(), packed.end());
  with_header.rows.push_back({RowCells::Of(views.data(), int(views.size())), true});
  with_header.rows.insert(with_header.rows.end(), summary.rows.begin(), summary.rows.end());
  return TableClipboard::ClipboardTextOf(with_header, events);
}

void SummaryCopy::Run() {
  ErrorTrap trap(loc::kPushButton6Click, errors_);
  bool copied = false;
  trap.Step(100, [&] {
    if (summary_.RowCount() == 0) return;
    const ResultTable table = ResultTable::Of(summary_);
    const std::optional<QString> text = Text(table, events_);
    if (!text) return;
    TableClipboard::ClearClipboardRetrying(clipboard_);
    if (!TableClipboard::SetClipboardTextRetrying(clipboard_, *text,
                                                  TableClipboard::ClipboardHtml(table)))
      throw StepFailure(
          "The clipboard is held by another program; the summary was not copied. Try again.");
    copied = true;
  });
  if (!copied) return;
  trap.Step(102, [&] {
    ui_.Message(
        QStringLiteral("The folder summary has been copied to the clipboard: a header line, a "
                       "line per folder and the total.\r\rPaste it with Ctrl+V."));
  });
}
