#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>
#include <any>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "batch/ColumnCatalogue.h"
#include "batch/FolderTotals.h"
#include "platform/CellSpill.h"
#include "platform/PackedCells.h"
#include "tag/ReadDiagnosis.h"

class FileSystem;
class LegacyTextDecoder;
class OtherFormatReader;
class ReadIndex;
class clsID3;
struct ReadyRow;

/// Reads a list of files into rows of the chosen columns, on worker threads, and gives the rows
/// strictly in list order: the one road from paths to rows for the window's run and for every
/// format of `extract`. Paths come and go as bytes. Each reading thread keeps its own tag object
/// and buffers from file to file; the legacy-text decoder is shared, and safe to share.
///
/// Two steps can be replaced: `Options::read`, which reads one path into the thread's tag object
/// (the engine's read unless set: a cache of earlier reads or a reader of other formats goes
/// there), and the `Shape`, which turns one row's cells into what the consumer keeps (packed
/// cells for a table, a CSV or JSON line), on the reading thread.
class RowReader {
 public:
  /// One file's row, made on the reading thread.
  struct Row {
    std::string path;  ///< the file's path, as the system knows it
    RowCells cells;    ///< the cells, when the shape packs them for a table
    std::string line;  ///< or the row as the shape wrote it
    ReadDiagnosis::Status status = ReadDiagnosis::Status::kRead;
    int error = 0;  ///< the system's reason, when the file could not be read
    std::optional<FolderTotals::Folder> totals;  ///< the file's share, when the run totals
    bool folder = false;  ///< a given path that turned out to be a folder (read no further)
    std::any extra;       ///< what `Options::inspect` kept of the read

    bool NotRead() const { return status < ReadDiagnosis::Status::kEmpty; }
    /// Why the file could not be read, in the system's words, as the read found it.
    std::string WhyNotRead() const;
  };

  /// What a reading thread keeps for its shape from row to row.
  struct Room {
    std::vector<std::string> packed;
    std::vector<std::string_view> views;
    std::size_t line_size = 0;  ///< the last row's line: the next is likely as long
  };

  /// Turns the cells of one row into what the consumer keeps; called on the reading threads,
  /// several at once, each with its own room.
  class Shape {
   public:
    virtual ~Shape() = default;
    virtual void Make(std::span<const QStringView> cells, Row& row, Room& room) const = 0;
    /// Everything a row's bytes depend on beside its file and its path as given; set, a read
    /// step that keeps reads may keep the rows too, and give them back whole. Empty: not kept.
    virtual std::string ReadyKey() const { return {}; }
  };

  /// The cells packed for the result table; long ones compressed once SetCompress says so, and
  /// kept in `spill`'s file, out of memory, when one is given: cell c from `spill_from[c]`
  /// bytes (CellSpill::kSpillFrom past the end).
  class PackedShape : public Shape {
   public:
    explicit PackedShape(bool compress = false, const CellSpill* spill = nullptr,
                         std::vector<size_t> spill_from = {})
        : compress_(compress), spill_(spill), spill_from_(std::move(spill_from)) {}
    void SetCompress(bool compress) { compress_.store(compress, std::memory_order_relaxed); }
    void Make(std::span<const QStringView> cells, Row& row, Room& room) const override;

   private:
    std::atomic<bool> compress_;
    const CellSpill* spill_;
    std::vector<size_t> spill_from_;
  };

  /// Reads one path into the thread's tag object; when `ready` is given, may give the row the
  /// shape made before in its place (ready->taken), leaving the tag as it was.
  using ReadStep = std::function<void(clsID3& tag, const std::string& path, ReadyRow* ready)>;
  /// The engine's read, taken from `index` where it holds the file unchanged, and completed by
  /// `other` for files of other audio formats; unset when neither is given.
  static ReadStep EngineRead(ReadIndex* index, std::shared_ptr<const OtherFormatReader> other);

  /// Where the folders that cannot be read, or are left out, are told, as they are met.
  class Teller {
   public:
    virtual ~Teller() = default;
    /// Something that could not be read: a folder, or a step of the walk.
    virtual void NotRead(const std::string& text) = 0;
    /// A folder the walk leaves out by its rules.
    virtual void LeftOut(const std::string& text) = 0;
  };

  struct Options {
    QStringList columns = ColumnCatalogue::DefaultHeaders();
    std::shared_ptr<LegacyTextDecoder> decoder;
    int jobs = 0;  ///< 0: one per core
    bool totals = false;
    /// Set: a given path that is a folder is walked, and its files matching the pattern are
    /// read in its place; empty: a folder is a file that cannot be read.
    QString folder_pattern;
    ReadStep read;  ///< unset: the engine's read
    /// The pictures' bytes read too (the library report measures covers); by default only
    /// counted, and only when a column or the totals show the count.
    bool pictures = false;
    /// Set: looks at each file's read on the reading thread, before its cells are made, and may
    /// keep what it needs in the row's `extra` (the library report's facts).
    std::function<void(const clsID3& tag, Row& row)> inspect;
    /// Told of each folder given before its files are read (a cache forgets the files gone).
    std::function<void(const std::string& folder)> walking;
  };

  /// The next given path's bytes; false at the end.
  using Source = std::function<bool(std::string& path)>;

  RowReader(Options options, Source source, const Shape& shape, const FileSystem& files,
            Teller& teller);
  ~RowReader();
  RowReader(const RowReader&) = delete;
  RowReader& operator=(const RowReader&) = delete;

  /// The next row in list order; none at the end.
  std::optional<Row> Next();

  /// The threads a run of `jobs` (0: one per core) reads with while files come quickly.
  static int JobsFor(int jobs);

  /// The files a folder given holds, as the reader walks it: the files matching `pattern` of
  /// each folder at and beneath it, handed to `take` a folder at a time.
  static void EachFolderFiles(const QString& path, const QString& pattern, const FileSystem& files,
                              Teller& teller, const std::function<void(const QStringList&)>& take);

  /// "cannot read 'PATH': WHY; its row stays empty".
  static std::string NotReadText(const Row& row);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};
