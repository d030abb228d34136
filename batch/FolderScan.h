#pragma once

#include <QString>
#include <QStringList>
#include <cstddef>
#include <string>

#include "batch/AddFolder.h"
#include "platform/FileListing.h"

class ErrorReport;
class ProgressBarModel;
class FileSystem;
class ReportListModel;
class SettingsStore;
class Ui;
class WindowPointer;
class EventLoop;

/// The folder scan behind "Add All MP3 File(s) In Folder".
class FolderScan {
 public:
  FolderScan(Ui& ui, SettingsStore& settings, const FileSystem& files, EventLoop& events,
             ReportListModel& file_list, WindowPointer& pointer, ErrorReport& reporter)
      : ui_(ui),
        settings_(settings),
        files_(files),
        events_(events),
        file_list_(file_list),
        pointer_(pointer),
        reporter_(reporter) {}

  /// Asks for the extension and the folder, remembers both, walks the tree and queues every
  /// matching file.
  void QueueFolder();

  /// A flag the window raises to stop the walk at its next folder; the scan lowers it as it
  /// starts walking.
  void SetStopFlag(bool* stop) { stop_ = stop; }
  /// Whether the prompt offers every audio format's extensions where it offered "mp3".
  void SetEveryFormat(bool on) { every_format_ = on; }

  /// The bar that shows how far the walk has got ("Scanning: 12 000 folders, 3 400 files") and
  /// what it came to; none shows nothing.
  void SetProgress(ProgressBarModel* progress) { progress_ = progress; }

  /// The folders the last scan could not read, each with the system's reason.
  const QStringList& UnreadFolders() const { return unread_folders_; }

  /// The caption of a scan's progress, and of one the user stopped.
  static QString ScanningCaption(qsizetype folders, qsizetype files);
  static QString StoppedCaption(qsizetype files);
  /// What a scan says of the folders it could not read: "1 folder could not be read:" and the
  /// first of them, one a line, with the system's reason.
  static QString UnreadFoldersText(const QStringList& folders);

  /// The paths to queue from one folder of a walked collection (the entry ends with the
  /// separator): its files matching pattern, except names starting with "~" and files that are
  /// exactly archive and hidden. Throws StepFailure when the folder cannot be listed.
  static QStringList QueueableFiles(const FileSystem& files, const QString& entry,
                                    const QString& pattern);
  /// The same from the files a walk kept (AddFolder::Walk::listed) when it listed the folder;
  /// a folder it did not list is listed now.
  static QStringList QueueableFiles(const FileSystem& files, const QString& entry,
                                    const QString& pattern, AddFolder::ListedFiles* listed);

  /// One folder's paths to queue as QueueableFiles gives them, one at a time and as bytes: the
  /// folder is held as its compact listing, never as a list of paths.
  class Paths {
   public:
    Paths() = default;
    Paths(const QString& entry, FileListing files);
    /// The next path; false after the last.
    bool Next(std::string& path);

   private:
    QString folder_;
    std::string folder_bytes_;  // with the separator
    bool doubled_ = false;
    FileListing files_;
    std::size_t next_ = 0;
  };
  /// Lists one folder for Paths. Throws as QueueableFiles.
  static Paths QueueablePaths(const FileSystem& files, const QString& entry,
                              const QString& pattern);

  /// Appends to the list the paths QueueableFiles gives, packed as they are made.
  static void QueueFiles(ReportListModel& list, const FileSystem& files, const QString& entry,
                         const QString& pattern, AddFolder::ListedFiles* listed);

  /// Walks the tree at `folders` breadth first as "Add All MP3 File(s) In Folder" does and keeps
  /// each folder's files for the pattern, read in the same pass. False when the walk was told
  /// to stop.
  static bool WalkForFiles(QStringList& folders, const QString& pattern, AddFolder::Walk walk,
                           AddFolder::ListedFiles& listed);

  /// The extension as the user meant it: one leading dot (".mp3") or star and dot ("*.mp3"),
  /// typed out of habit, is dropped when an extension follows it.
  static QString TypedExtension(const QString& answer);

  static constexpr char16_t kExtensionKey[] = u"Extension";
  static constexpr char16_t kLastFolderKey[] = u"LastFolder";

 private:
  Ui& ui_;
  SettingsStore& settings_;
  const FileSystem& files_;
  EventLoop& events_;
  ReportListModel& file_list_;
  WindowPointer& pointer_;
  ErrorReport& reporter_;
  bool* stop_ = nullptr;
  ProgressBarModel* progress_ = nullptr;
  QStringList unread_folders_;
  bool every_format_ = false;
};
