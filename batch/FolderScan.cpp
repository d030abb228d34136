#include "batch/FolderScan.h"

#include "batch/AddFolder.h"
#include "core/ErrorTrap.h"
#include "core/Locations.h"
#include "core/Main.h"
#include "platform/EventLoop.h"
#include "platform/FileSystem.h"
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

// The event loop as the walk sees it: a raised stop flag ends the walk at its next yield.
class StoppableEvents : public EventLoop {
 public:
  StoppableEvents(EventLoop& inner, const bool* stop) : inner_(inner), stop_(stop) {}
  bool Yield() override { return inner_.Yield() || (stop_ && *stop_); }

 private:
  EventLoop& inner_;
  const bool* stop_;
};

}  // namespace

QStringList FolderScan::QueueableFiles(const FileSystem& files, const QString& entry,
                                       const QString& pattern) {
  const QString folder = entry.chopped(entry.isEmpty() ? 0 : 1);
  QStringList paths;
  for (const DirectoryEntry& entry : AddFolder::ListFileEntriesInFolder(files, folder, pattern)) {
    if (entry.name.startsWith(u'~')) continue;
    const QString path = folder + Main::kSeparator + entry.name;
    // The listing has just found the file present and read its attributes; asking the file
    // system again would double the cost of a scan.
    if (entry.attributes == kArchiveHidden) continue;
    // Most paths hold no doubled separator, and collapsing one of those changes nothing.
    paths.append(path.contains(kDoubleSeparator) ? Main::CollapseBackslashes(path) : path);
  }
  return paths;
}

QString FolderScan::TypedExtension(const QString& answer) {
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
    answer = TypedExtension(
        ui_.InputBox(kPrompt, QString(), settings.Read(extension_key, QStringLiteral("mp3"))));
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
  trap.Step(116, [&] { folders.append(chosen + Main::kSeparator); });
  // A stop ends the walk as the window's closing does: nothing more is queued.
  if (stop_) *stop_ = false;
  StoppableEvents events(events_, stop_);
  trap.Step(118, [&] {
    const AddFolder::Walk walk{
        files_, events, [this](std::u16string_view location, int step, const QString& description) {
          reporter_.ShowErrorReport(QStringView(location.data(), location.size()), step,
                                    description);
        }};
    open = AddFolder::GetSubDirectories2016(folders, true, walk);
  });

  const QString pattern = QStringLiteral("*.") + answer;
  for (qsizetype f = 0; open && f < folders.size(); ++f) {
    trap.Line(120);
    // One insertion per folder keeps a scan of many thousands of files from redrawing per row.
    trap.Step(124, [&] { file_list_.AppendRows(QueueableFiles(files_, folders[f], pattern)); });
  }
  trap.Step(138, [&] { pointer_.EndLongAction(); });
}
