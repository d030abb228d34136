#include "batch/FolderScan.h"

#include <QElapsedTimer>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "batch/AddFolder.h"
#include "batch/Counts.h"
#include "batch/OtherFormats.h"
#include "core/ErrorTrap.h"
#include "core/Locations.h"
#include "core/Main.h"
#include "platform/EventLoop.h"
#include "platform/FileNames.h"
#include "platform/FileSystem.h"
#include "platform/ProgressBarModel.h"
#include "platform/ReportListModel.h"
#include "platform/SettingsStore.h"
#include "platform/Ui.h"
#include "platform/WindowPointer.h"

namespace {

const QString kPrompt = QStringLiteral(
    "Enter file extension to load:\r\r(* for all files, txt for all txt files, doc for all doc "
    "files, etc.)");

// Hidden files other than these (read-only ones, links) are queued like any other.
constexpr int kArchiveHidden = FileAttribute::kArchive | FileAttribute::kHidden;

const QString kDoubleSeparator = QString(2, Main::kSeparator);

// The event loop as the walk sees it: a raised stop flag ends the walk at its next yield, and
// the bar shows the count so far a few times a second.
class StoppableEvents : public EventLoop {
 public:
  StoppableEvents(EventLoop& inner, const bool* stop, std::function<void()> progress)
      : inner_(inner), stop_(stop), progress_(std::move(progress)) {
    shown_.start();
  }
  bool Yield() override {
    if (progress_ && shown_.elapsed() >= 100) {
      progress_();
      shown_.restart();
    }
    closing_ = closing_ || inner_.Yield();
    return closing_ || (stop_ && *stop_);
  }
  bool Closing() const { return closing_; }

 private:
  EventLoop& inner_;
  const bool* stop_;
  std::function<void()> progress_;
  QElapsedTimer shown_;
  bool closing_ = false;
};

constexpr int kFoldersNamed = 10;

}  // namespace

namespace {

// Names starting with "~" and files that are exactly archive and hidden stay out.
bool Queueable(std::string_view name, int attributes) {
  return !name.starts_with('~') && attributes != kArchiveHidden;
}

// Names hold no separator: a doubled one can only stand in the folder's part of the paths.
bool Doubled(const QString& folder) {
  return folder.contains(kDoubleSeparator) || folder.endsWith(Main::kSeparator);
}

QString FolderOf(const QString& entry) { return entry.chopped(entry.isEmpty() ? 0 : 1); }

// The paths to queue of one folder's listing, each handed to `take` as its folder (without the
// separator) and its name.
template <class Take>
void PathsOf(const QString& entry, const FileListing& files, Take&& take) {
  const QString folder = FolderOf(entry);
  const bool doubled = Doubled(folder);
  for (std::size_t i = 0; i < files.Size(); ++i) {
    // The listing has just found the file present and read its attributes; asking the file
    // system again would double the cost of a scan.
    if (!Queueable(files.Name(i), files.Attributes(i))) continue;
    const QString name = FileNames::ToText(files.Name(i));
    if (doubled) {
      take(Main::CollapseBackslashes(folder + Main::kSeparator + name), QString());
    } else {
      take(folder, name);
    }
  }
}

QStringList PathsOf(const QString& entry, const FileListing& files) {
  QStringList paths;
  paths.reserve(static_cast<qsizetype>(files.Size()));
  PathsOf(entry, files, [&](const QString& folder, const QString& name) {
    paths.append(name.isNull() ? folder : folder + Main::kSeparator + name);
  });
  return paths;
}

// The listing of one folder: what the walk kept of it, or a new one.
FileListing EntriesOf(const FileSystem& files, const QString& entry, const QString& pattern,
                      AddFolder::ListedFiles* listed) {
  if (listed) {
    const auto found = listed->find(entry);
    if (found != listed->end()) {
      FileListing entries = std::move(found->second);
      listed->erase(found);
      return entries;
    }
  }
  return AddFolder::ListFileNamesInFolder(files, FolderOf(entry), pattern);
}

}  // namespace

FolderScan::Paths::Paths(const QString& entry, FileListing files)
    : folder_(FolderOf(entry)),
      folder_bytes_(FileNames::ToStdBytes(folder_ + Main::kSeparator)),
      doubled_(Doubled(folder_)),
      files_(std::move(files)) {}

bool FolderScan::Paths::Next(std::string& path) {
  while (next_ < files_.Size()) {
    const std::size_t i = next_++;
    const std::string_view name = files_.Name(i);
    if (!Queueable(name, files_.Attributes(i))) continue;
    if (doubled_) {
      path = FileNames::ToStdBytes(
          Main::CollapseBackslashes(folder_ + Main::kSeparator + FileNames::ToText(name)));
    } else {
      path.assign(folder_bytes_).append(name);
    }
    return true;
  }
  return false;
}

FolderScan::Paths FolderScan::QueueablePaths(const FileSystem& files, const QString& entry,
                                             const QString& pattern) {
  return Paths(entry, EntriesOf(files, entry, pattern, nullptr));
}

QStringList FolderScan::QueueableFiles(const FileSystem& files, const QString& entry,
                                       const QString& pattern) {
  return QueueableFiles(files, entry, pattern, nullptr);
}

QStringList FolderScan::QueueableFiles(const FileSystem& files, const QString& entry,
                                       const QString& pattern, AddFolder::ListedFiles* listed) {
  return PathsOf(entry, EntriesOf(files, entry, pattern, listed));
}

void FolderScan::QueueFiles(ReportListModel& list, const FileSystem& files, const QString& entry,
                            const QString& pattern, AddFolder::ListedFiles* listed) {
  const FileListing entries = EntriesOf(files, entry, pattern, listed);
  std::vector<RowCells> rows;
  rows.reserve(entries.Size());
  PathsOf(entry, entries, [&](const QString& folder, const QString& name) {
    rows.push_back(name.isNull() ? RowCells::OfText(folder)
                                 : RowCells::OfPath(folder, Main::kSeparator, name));
  });
  list.AppendPackedRows(std::move(rows));
}

bool FolderScan::WalkForFiles(QStringList& folders, const QString& pattern, AddFolder::Walk walk,
                              AddFolder::ListedFiles& listed) {
  walk.wanted = [pattern](const QString& name) { return AddFolder::MatchesPattern(name, pattern); };
  walk.listed = &listed;
  return AddFolder::GetSubDirectories2016(folders, true, walk);
}

QString FolderScan::ScanningCaption(qsizetype folders, qsizetype files) {
  return QStringLiteral("Scanning: %1, %2")
      .arg(Counts::Of(folders, QStringLiteral("folder"), QStringLiteral("folders")),
           Counts::Of(files, QStringLiteral("file"), QStringLiteral("files")));
}

QString FolderScan::StoppedCaption(qsizetype files) {
  return QStringLiteral("Scan stopped: %1 added")
      .arg(Counts::Of(files, QStringLiteral("file"), QStringLiteral("files")));
}

QString FolderScan::UnreadFoldersText(const QStringList& folders) {
  QString text = Counts::Of(folders.size(), QStringLiteral("folder"), QStringLiteral("folders")) +
                 QStringLiteral(" could not be read:");
  for (qsizetype f = 0; f < folders.size() && f < kFoldersNamed; ++f) text += u'\n' + folders[f];
  if (folders.size() > kFoldersNamed)
    text += QStringLiteral("\n… and %1 more").arg(Counts::Grouped(folders.size() - kFoldersNamed));
  return text;
}

QString FolderScan::TypedExtension(const QString& answer) {
  // "*.mp3" is how file dialogs show an extension; as a pattern after "*." it would match none.
  if (answer.size() > 2 && answer.startsWith(QLatin1String("*."))) return answer.mid(2);
  return answer.size() > 1 && answer.startsWith(u'.') ? answer.mid(1) : answer;
}

void FolderScan::QueueFolder() {
  ErrorTrap trap(loc::kPushButton3Click, reporter_);
  SettingsStore& settings = settings_;
  const QString extension_key = QString::fromUtf16(kExtensionKey);
  const QString last_folder_key = QString::fromUtf16(kLastFolderKey);

  QString answer;
  trap.Step(100, [&] {
    // Remembered without its dot too, so the next prompt offers it as the default reads.
    QString offered = settings.Read(extension_key, QStringLiteral("mp3"));
    // The audio extensions as one answer, "mp3/*.flac/*.ogg/...": the pattern "*." takes it whole.
    if (every_format_ && offered == u"mp3") offered = OtherFormats::Pattern().mid(2);
    answer = TypedExtension(ui_.InputBox(kPrompt, QString(), offered));
    if (!answer.isEmpty()) settings.Write(extension_key, answer);
  });
  trap.Line(102);
  if (answer.isEmpty()) return;
  trap.Step(104, [&] { settings.Write(extension_key, answer); });

  QString chosen;
  trap.Step(106, [&] {
    chosen = AddFolder::BrowseForFolder(ui_, QStringLiteral("Please select folder:"),
                                        settings.Read(last_folder_key, QString()));
  });
  trap.Line(108);
  if (chosen.isEmpty()) return;
  trap.Line(333);
  trap.Step(334, [&] { settings.Write(last_folder_key, chosen); });

  trap.Step(114, [&] { pointer_.BeginLongAction(); });
  QStringList folders;
  bool open = true;
  // The root already ends with its separator; a second one would double it in every path.
  trap.Step(116, [&] {
    folders.append(chosen.endsWith(Main::kSeparator) ? chosen : chosen + Main::kSeparator);
  });
  if (stop_) *stop_ = false;
  unread_folders_.clear();
  const QString caption_before = progress_ ? progress_->Caption() : QString();
  // Each folder is read once: the walk keeps the files it finds for the listing that follows.
  const QString pattern = QStringLiteral("*.") + answer;
  AddFolder::ListedFiles listed;
  qsizetype files_found = 0;
  StoppableEvents events(events_, stop_, [&] {
    if (progress_) progress_->SetCaption(ScanningCaption(qsizetype(listed.size()), files_found));
  });
  trap.Step(118, [&] {
    AddFolder::Walk walk{
        files_, events, [this](std::u16string_view location, int step, const QString& description) {
          reporter_.ShowErrorReport(QStringView(location.data(), location.size()), step,
                                    description);
        }};
    walk.dropped = [this](const QString& folder, int error, const QString& why) {
      // Folders a rule of the walk leaves out (system folders, odd names) were never meant to be
      // read; only those the system refused are named.
      if (error == 0) return;
      const QString shown =
          folder.size() > 1 && folder.endsWith(Main::kSeparator) ? folder.chopped(1) : folder;
      unread_folders_.append(shown + QStringLiteral(" (") + why + u')');
    };
    walk.wanted = [&](const QString& name) {
      const bool match = AddFolder::MatchesPattern(name, pattern);
      files_found += match ? 1 : 0;
      return match;
    };
    walk.listed = &listed;
    open = AddFolder::GetSubDirectories2016(folders, true, walk);
  });

  const int rows_before = file_list_.RowCount();
  for (qsizetype f = 0; open && f < folders.size(); ++f) {
    trap.Line(120);
    // One insertion per folder keeps a scan of many thousands of files from redrawing per row.
    trap.Step(124, [&] { QueueFiles(file_list_, files_, folders[f], pattern, &listed); });
  }
  // A stopped walk keeps what it found: the folders it listed, in the walk's order, then those
  // of the level it was in. None is listed anew.
  const bool stopped = !open && !events.Closing();
  if (stopped) {
    for (const QString& folder : std::as_const(folders))
      if (listed.count(folder))
        trap.Step(124, [&] { QueueFiles(file_list_, files_, folder, pattern, &listed); });
    while (!listed.empty()) {
      const QString folder = listed.begin()->first;
      trap.Step(124, [&] { QueueFiles(file_list_, files_, folder, pattern, &listed); });
    }
  }
  trap.Step(138, [&] { pointer_.EndLongAction(); });
  if (events.Closing()) return;
  const int added = file_list_.RowCount() - rows_before;
  if (progress_)
    progress_->SetCaption(
        stopped ? StoppedCaption(added)
        : unread_folders_.isEmpty()
            ? caption_before
            : QStringLiteral("%1 added, %2 not read")
                  .arg(Counts::Of(added, QStringLiteral("file"), QStringLiteral("files")),
                       Counts::Of(unread_folders_.size(), QStringLiteral("folder"),
                                  QStringLiteral("folders"))));
  if (!unread_folders_.isEmpty()) ui_.Message(UnreadFoldersText(unread_folders_));
}
