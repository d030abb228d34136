#pragma once

#include <QString>
#include <QStringList>
#include <atomic>
#include <map>
#include <memory>

#include "platform/ShellProperties.h"

/// The shell's file properties, read with TagLib: a folder answers with the detail columns a
/// file manager shows (name, size, type, dates, and the music columns "Title", "Authors",
/// "Album Title", "Track Number", "Genre", "Duration", "Bit Rate", "Composers" and more), its
/// files and folders by name, and each one's detail texts.
///
/// A file is read when one of its details is first asked for. Between BeginRun and the last
/// EndRun a folder's listing and every file's details are kept, so a run over many files of one
/// folder lists it once and reads each file once.
class TagLibShellProperties : public ShellProperties {
 public:
  /// Column numbers of the details that tests and callers look up by meaning.
  enum Column : int {
    kName = 0,
    kSize = 1,
    kItemType = 2,
    kDateModified = 3,
    kDateCreated = 4,
    kDateAccessed = 5,
    kAttributes = 6,
    kOwner = 7,
    kAuthors = 8,
    kTitle = 9,
    kSubject = 10,
    kComments = 11,
    kCopyright = 12,
    kAlbumTitle = 13,
    kYear = 14,
    kTrackNumber = 15,
    kGenre = 16,
    kDuration = 17,
    kBitRate = 18,
    kProtected = 19,
    kComposers = 20,
    kConductors = 21,
    kAlbumArtist = 22,
    kPublisher = 23,
    kPartOfSet = 24,
    kBeatsPerMinute = 25,
    kEncodedBy = 26,
    kSampleRate = 27,
    kChannels = 28,
    kFolderName = 30,
    kFolderPath = 31,
    kPath = 32,
    kFileExtension = 33,
    kPerceivedType = 34,
  };

  TagLibShellProperties();
  ~TagLibShellProperties() override;
  TagLibShellProperties(const TagLibShellProperties&) = delete;
  TagLibShellProperties& operator=(const TagLibShellProperties&) = delete;

  /// Throws StepFailure when path is not a folder that can be listed.
  std::unique_ptr<ShellFolder> Namespace(const QString& path) override;
  void BeginRun() noexcept override;
  void EndRun() noexcept override;
  std::shared_ptr<const ShellDetails> ReadDetails(const QString& path) const override;
  void Offer(const QString& path, std::shared_ptr<const ShellDetails> details) override;

  /// The name of detail column 0 to 41; empty for the columns this shell leaves unnamed.
  static QString ColumnName(int column);

  /// "0 bytes", "999 bytes", "1.50 KB", "12.3 KB", "123 KB", "1.00 MB", ... (three figures,
  /// cut rather than rounded, as file managers show sizes).
  static QString FormatSize(qint64 bytes);
  /// "00:03:25"; hours go past 99 rather than wrap.
  static QString FormatDuration(qint64 seconds);
  /// "128kbps".
  static QString FormatBitRate(int kbps);

  /// How many folders have been listed and files read with TagLib so far.
  int FoldersListed() const { return counters_->folders_listed; }
  int FilesRead() const { return counters_->files_read; }

  struct Counters {
    int folders_listed = 0;
    std::atomic<int> files_read = 0;  // read ahead on other threads too
  };
  struct Listing;
  using Offered = std::map<QString, std::shared_ptr<const ShellDetails>>;

 private:
  std::shared_ptr<Listing> List(const QString& path);

  std::shared_ptr<Counters> counters_;
  std::shared_ptr<Offered> offered_;
  int runs_ = 0;
  std::map<QString, std::shared_ptr<Listing>> kept_;
};
