#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

class clsID3;
class ReportListModel;

/// Totals per folder of the files a run read: what the "Summary" sheet and `extract --summary`
/// show. A run adds each file just after reading it; nothing is kept of the file but counts.
class FolderTotals {
 public:
  struct Folder {
    QString folder;  ///< as the paths spell it; "." for paths without one
    int files = 0;
    int not_read = 0;    ///< missing, not a regular file, or unreadable
    double seconds = 0;  ///< the exact durations added up
    int64_t bytes = 0;
    int cbr = 0;
    int vbr = 0;
    int least_kbits = 0;  ///< the bit-rate range over the files with audio; 0 for none
    int most_kbits = 0;
    // Files read without that field (genre: neither a name nor a number; picture: none).
    int no_title = 0, no_artist = 0, no_album = 0, no_genre = 0, no_picture = 0;

    void Add(const Folder& other);
  };

  /// Clears the totals, and the files kept.
  void Clear();
  /// Keeps each file added from now on (a few bytes each), so that the totals of some of them
  /// can be made again (Part). Each Add then counts one file.
  void KeepFiles(bool on) { keep_ = on; }
  /// Takes the place of a file the run could not count, so the files kept stay in the order
  /// of the rows.
  void AddNothing() {
    if (keep_) files_.push_back(File{});
  }
  /// The totals of the kept files whose flag is set (`kept[i]` for the i-th added), the folders
  /// in the order their first such file came. Keeps no files itself.
  FolderTotals Part(const std::vector<bool>& kept) const;
  /// How many files are kept.
  size_t FilesKept() const { return files_.size(); }
  /// Counts the file at `path`, which `tag` has just read.
  void Add(const QString& path, const clsID3& tag) { Add(path, Of(tag)); }
  /// The counts of the one file `tag` has just read (made where it was read, added in order).
  static Folder Of(const clsID3& tag);
  /// Counts a file made so.
  void Add(const QString& path, const Folder& file);
  /// The folders in the order their first file came.
  const std::vector<Folder>& Folders() const { return folders_; }
  /// Everything added, under the folder name "All folders".
  Folder Total() const;

  /// The table's headers, and a folder's cells in their order.
  static QStringList Headers();
  static QStringList Cells(const Folder& folder);
  /// "1:02:03.456"
  static QString Duration(double seconds);

  /// Replaces the table's columns and rows with the summary: a row per folder, then the total,
  /// every row checked so each export takes it.
  void FillTable(ReportListModel& table) const;

 private:
  // One file's counts, packed: a million files take a few megabytes.
  struct File {
    double seconds = 0;
    int64_t bytes = 0;
    uint32_t folder = UINT32_MAX;  // into folders_; none for AddNothing
    int32_t kbits = 0;
    uint8_t flags = 0;
  };
  enum : uint8_t {
    kNotRead = 1,
    kCbr = 2,
    kVbr = 4,
    kNoTitle = 8,
    kNoArtist = 16,
    kNoAlbum = 32,
    kNoGenre = 64,
    kNoPicture = 128,
  };
  static File Packed(const Folder& file, uint32_t folder);
  static Folder Unpacked(const File& file);
  void AddTo(size_t folder, const Folder& file);

  std::vector<Folder> folders_;
  bool keep_ = false;
  std::vector<File> files_;
  QHash<QString, size_t> index_;
  size_t last_ = 0;  // the folder counted last
};
