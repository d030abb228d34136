#include "batch/ShellPropertyRun.h"

#include <QSet>
#include <QStringList>
#include <memory>
#include <optional>
#include <utility>

#include "batch/ReadAhead.h"
#include "core/ErrorTrap.h"
#include "core/Locations.h"

namespace {

// Leading and trailing spaces only: a tab or a line break belongs to the folder's name.
QString TrimSpaces(const QString& text) {
  qsizetype begin = 0;
  qsizetype end = text.size();
  while (begin < end && text[begin] == u' ') ++begin;
  while (end > begin && text[end - 1] == u' ') --end;
  return text.mid(begin, end - begin);
}

/// Keeps the shell's readings for the length of one run, also when the run stops early.
class ShellRunScope {
 public:
  explicit ShellRunScope(ShellProperties& shell) : shell_(shell) { shell_.BeginRun(); }
  ~ShellRunScope() { shell_.EndRun(); }
  ShellRunScope(const ShellRunScope&) = delete;
  ShellRunScope& operator=(const ShellRunScope&) = delete;

 private:
  ShellProperties& shell_;
};

}  // namespace

QString ShellPropertyRun::FolderOfPath(const QString& path, QChar separator) {
  const QStringList parts = path.split(separator);
  QString folder;
  for (qsizetype j = 0; j + 1 < parts.size(); ++j) folder += parts[j] + separator;
  return folder;
}

const ShellPropertyRun::Mapping* ShellPropertyRun::MappingOf(const QString& column_name) {
  for (const Mapping& m : kMappings)
    if (QStringView(column_name) == QStringView(m.column_name)) return &m;
  return nullptr;
}

double ShellPropertyRun::ProgressValue(int i, int rows) {
  if (rows <= 0) return 100;
  return static_cast<double>(i) / rows * 100;
}

void ShellPropertyRun::Start() {
  ErrorTrap trap(loc::kPushButton2Click, errors_);
  bool empty = false;
  trap.Step(100, [&] { empty = file_list_.RowCount() == 0; });
  if (empty) {
    trap.Step(198, [&] { ui_.Message(QStringLiteral("No files added.")); });
    return;
  }
  trap.Step(102, [&] { pointer_.BeginLongAction(); });
  trap.Step(104, [&] { results_.Clear(); });

  std::optional<ShellRunScope> keep_readings(std::in_place, shell_);
  // The paths are taken once: a row dragged elsewhere during a yield must not be read twice
  // while another is skipped.
  QStringList paths;
  trap.Step(106, [&] { paths = file_list_.Texts(); });

  // Workers read the details of the next files while the rows are filled in list order; a
  // path queued twice is read once, as the shell's kept listing answers it the second time.
  QSet<QString> seen;
  int next = 0;
  using Ahead = ReadAhead<std::pair<int, bool>, std::shared_ptr<const ShellDetails>>;
  std::optional<Ahead> reads(
      std::in_place, jobs_ > 0 ? jobs_ : Ahead::DefaultJobs(),
      [&](std::pair<int, bool>& item) {
        if (next >= static_cast<int>(paths.size())) return false;
        const QString& path = std::as_const(paths)[next];
        const auto before = seen.size();
        seen.insert(path);
        item = {next++, seen.size() != before};
        return true;
      },
      [&](const std::pair<int, bool>& item, NoReadState&) -> std::shared_ptr<const ShellDetails> {
        if (!item.second) return nullptr;
        return shell_.ReadDetails(std::as_const(paths)[item.first]);
      });

  // The items of the folder listed last, lower-cased. A shell that keeps its listings for the
  // run hands out the same list again, so a folder's names are lowered once, not once per file.
  QStringList lowered_from;
  QStringList lowered;

  bool closing = false;
  bool stopped = false;
  int done = 0;
  if (stop_) *stop_ = false;
  for (int i = 1; i <= static_cast<int>(paths.size()); ++i) {
    QString path;
    trap.Step(108, [&] { path = std::as_const(paths)[i - 1]; });
    trap.Step(110, [&] { closing = events_.Yield(); });
    // The window is going away: stop before touching its lists again.
    if (closing) break;
    stopped = stop_ && *stop_;
    if (stopped) break;
    // A read ahead that failed leaves the file to be read as it always was, when asked.
    try {
      if (std::optional<std::shared_ptr<const ShellDetails>> details = reads->Next())
        shell_.Offer(path, std::move(*details));
    } catch (...) {
    }

    QString name;
    QString folder_path;
    trap.Step(112, [&] { name = Main::FileNameOfPath(path); });
    trap.Step(114, [&] { folder_path = FolderOfPath(path); });
    trap.Line(122);

    std::unique_ptr<ShellFolder> folder;
    trap.Line(124);
    trap.Step(126, [&] { folder = shell_.Namespace(TrimSpaces(folder_path)); });

    std::array<QString, ShellFolder::kColumnCount> column_names;
    trap.Line(128);
    for (int k = 0; k < ShellFolder::kColumnCount; ++k) {
      QString& column_name = column_names[static_cast<std::size_t>(k)];
      trap.Step(130, [&] { column_name = Require(folder).ColumnName(k); });
      trap.Line(132);
      if (column_name.isEmpty()) trap.Step(134, [&] { column_name = QStringLiteral("Others"); });
      trap.Line(136);
    }

    int row = 0;
    trap.Step(138, [&] { row = results_.AppendRow(name); });

    QStringList items;
    trap.Step(140, [&] { items = Require(folder).Items(); });
    if (!items.isSharedWith(lowered_from) || items.size() != lowered.size()) {
      lowered_from = items;
      lowered.clear();
      lowered.reserve(items.size());
      for (const QString& item : items) lowered.append(item.toLower());
    }
    const QString wanted = name.toLower();
    // Every item is looked at, also after a match: a later item of the same name overwrites.
    for (int item = 0; item < static_cast<int>(items.size()); ++item) {
      bool match = false;
      trap.Step(142, [&] { match = lowered[item] == wanted; });
      if (match) {
        trap.Line(144);
        for (int k = 0; k < ShellFolder::kColumnCount; ++k) {
          bool has_detail = false;
          trap.Step(146, [&] { has_detail = !Require(folder).DetailsOf(item, k).isEmpty(); });
          if (!has_detail) continue;
          const QString& column_name = column_names[static_cast<std::size_t>(k)];
          for (const Mapping& m : kMappings) {
            trap.Line(m.line);
            if (QStringView(column_name) != QStringView(m.column_name)) continue;
            trap.Step(m.line + 2, [&] {
              results_.SetSubItem(row, m.sub_item, Require(folder).DetailsOf(item, k));
            });
            break;
          }
        }
      }
      trap.Line(180);
    }

    trap.Step(182, [&] { progress_.SetValue(ProgressValue(i, file_list_.RowCount())); });
    trap.Line(184);
    done = i;
  }

  reads.reset();
  keep_readings.reset();

  if (closing) {
    trap.Step(190, [&] { pointer_.EndLongAction(); });
    return;
  }
  trap.Step(190, [&] { pointer_.EndLongAction(); });
  trap.Step(188, [&] { progress_.SetValue(0); });
  trap.Step(188, [&] {
    progress_.SetCaption(
        stopped ? QStringLiteral("Stopped after %1 of %2 files").arg(done).arg(paths.size())
                : QStringLiteral("Progress Bar"));
  });
  if (!stopped) trap.Step(186, [&] { ui_.Message(QStringLiteral("Done.")); });
  trap.Line(192);
  for (int r = 1; r <= results_.RowCount(); ++r)
    trap.Step(194, [&] { results_.SetChecked(r, true); });
  trap.Line(196);
}
