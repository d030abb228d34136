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

  void Clear();
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
  std::vector<Folder> folders_;
  QHash<QString, size_t> index_;
  size_t last_ = 0;  // the folder counted last
};
