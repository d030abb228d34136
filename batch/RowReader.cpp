#include "batch/RowReader.h"

#include <cerrno>
#include <cstring>
#include <new>
#include <utility>

#include "batch/AddFolder.h"
#include "batch/AuditFacts.h"
#include "batch/CellText.h"
#include "batch/FolderScan.h"
#include "batch/OtherFormats.h"
#include "batch/ReadAhead.h"
#include "core/Main.h"
#include "platform/EventLoop.h"
#include "platform/FileNames.h"
#include "platform/FileSystem.h"
#include "platform/StepFailure.h"
#include "readindex/ReadIndex.h"
#include "tag/LegacyText.h"
#include "tag/clsID3.h"

namespace {

using Status = ReadDiagnosis::Status;

// A path to read: given (a folder among them is walked) or found by a walk. Only its bytes
// pass to the reading threads: no text is shared between threads, even by reference count.
struct Entry {
  std::string path;
  bool given = true;
};

// What a reading thread keeps from one file to the next, so a row costs few allocations.
struct Reading {
  std::unique_ptr<clsID3> tag;
  QString path;              // the file's path as text, in room kept from row to row
  CellText made;             // the cells a column makes, one after another
  std::vector<size_t> ends;  // where each column's cell ends in `made`
  std::vector<QStringView> cells;
  RowReader::Room room;
};

// The walk of a folder asks the event loop whether to stop; nothing here stops it.
class NoEvents : public EventLoop {
 public:
  bool Yield() override { return false; }
};

std::string Bytes(const QString& text) { return FileNames::ToStdBytes(text); }

std::string FolderText(const QString& folder, const std::string& why) {
  QString shown = folder;
  if (shown.size() > 1 && shown.endsWith(u'/')) shown.chop(1);
  return "cannot read the folder '" + Bytes(shown) + "': " + why;
}

std::size_t Weight(const RowReader::Row& row) {
  return row.path.size() + row.line.size() + row.cells.BlockBytes() + sizeof row;
}

// The folders at and beneath `path` as the folder scan walks them, each ending with the
// separator; folders it leaves out or cannot read are told. Their files are listed only when
// their turn comes, so a tree's files are not all held before its first row.
QStringList WalkFolder(const QString& path, const FileSystem& files, RowReader::Teller& teller) {
  QString root = path;
  while (root.size() > 1 && root.endsWith(u'/')) root.chop(1);
  QStringList folders{root == u"/" ? root : root + u'/'};
  NoEvents events;
  const AddFolder::Walk walk{
      files, events,
      [&](std::u16string_view, int, const QString& what) { teller.NotRead(Bytes(what)); },
      [&](const QString& folder, int error, const QString& why) {
        if (error != 0) {
          teller.NotRead(FolderText(folder, std::strerror(error)));
        } else {
          teller.LeftOut("left out the folder '" + Bytes(folder) + "': " + Bytes(why));
        }
      }};
  AddFolder::GetSubDirectories2016(folders, true, walk);
  return folders;
}

// Runs `list`, the listing of one walked folder; a folder that cannot be listed is told and
// gives none.
template <class Listing, class List>
Listing FolderFiles(const QString& folder, RowReader::Teller& teller, List&& list) {
  try {
    return list();
  } catch (const FolderNotListable& e) {
    teller.NotRead(FolderText(folder, e.Error() != 0 ? std::strerror(e.Error()) : e.what()));
  } catch (const std::bad_alloc&) {
    teller.NotRead(FolderText(folder, std::strerror(ENOMEM)));
  } catch (const std::exception& e) {
    teller.NotRead(e.what());
  }
  return {};
}

}  // namespace

std::string RowReader::Row::WhyNotRead() const {
  if (status == Status::kNotRegularFile && error == 0) return "not a regular file";
  return std::strerror(error != 0 ? error : EIO);
}

RowReader::ReadStep RowReader::EngineRead(ReadIndex* index,
                                          std::shared_ptr<const OtherFormatReader> other) {
  if (!index && !other) return {};
  return [index, other = std::move(other)](clsID3& tag, const std::string& path, ReadyRow* ready) {
    if (!other) {
      index->Read(tag, path, ready);
      return;
    }
    // Each reading thread reuses its own room for another format's read.
    thread_local OtherFormatRead scratch;
    const OtherFormatReader::ContainerTest test = other->Containers();
    if (index || !test) {
      // The index keeps only the engine's reads: the reader looks at the file first.
      if (OtherFormats::ReadOther(*other, scratch, tag, path)) return;
      if (index) {
        index->Read(tag, path, ready);
        if (ready && ready->taken) return;
      } else {
        tag.SetFileName(path);
      }
      OtherFormats::Complete(scratch, tag);
      return;
    }
    // The engine's read sees the file's first and last bytes anyway: it leaves a file of
    // another format at once, before its search for MPEG frames would walk the whole file, and
    // the reader of other formats opens an MPEG file only when an APEv2 footer is there.
    tag.SetOtherContainerTest(test);
    tag.SetFileName(path);
    tag.SetOtherContainerTest(nullptr);
    if (tag.OtherContainer()) {
      if (OtherFormats::ReadOther(*other, scratch, tag, path, true)) return;
      // The reader thinks otherwise (the file changed under the run): the engine reads it all.
      tag.SetFileName(path);
    } else if (tag.ApeFooterSeen()) {
      other->ReadApe(path, scratch);
    } else {
      scratch.Clear();
    }
    OtherFormats::Complete(scratch, tag);
  };
}

std::string RowReader::NotReadText(const Row& row) {
  return "cannot read '" + row.path + "': " + row.WhyNotRead() + "; its row stays empty";
}

int RowReader::JobsFor(int jobs) { return jobs > 0 ? jobs : ReadAhead<int, int>::DefaultJobs(); }

void RowReader::PackedShape::Make(std::span<const QStringView> cells, Row& row, Room& room) const {
  const bool compress = compress_.load(std::memory_order_relaxed);
  room.packed.resize(cells.size());
  for (size_t c = 0; c < cells.size(); ++c) {
    PackedText::PackInto(room.packed[c], cells[c], compress);
    if (spill_)
      spill_->Spill(room.packed[c],
                    c < spill_from_.size() ? spill_from_[c] : CellSpill::kSpillFrom);
  }
  room.views.assign(room.packed.begin(), room.packed.end());
  row.cells = RowCells::Of(room.views.data(), static_cast<int>(room.views.size()));
}

void RowReader::EachFolderFiles(const QString& path, const QString& pattern,
                                const FileSystem& files, Teller& teller,
                                const std::function<void(const QStringList&)>& take) {
  for (const QString& folder : WalkFolder(path, files, teller))
    take(FolderFiles<QStringList>(
        folder, teller, [&] { return FolderScan::QueueableFiles(files, folder, pattern); }));
}

struct RowReader::Impl {
  using Ahead = ReadAhead<Entry, Row, Reading>;

  Impl(Options options, Source source, const Shape& shape, const FileSystem& files, Teller& teller)
      : options_(std::move(options)),
        given_(std::move(source)),
        shape_(shape),
        files_(files),
        teller_(teller),
        jobs_(JobsFor(options_.jobs)) {
    for (const QString& header : options_.columns) {
      const ColumnCatalogue::Column* column = ColumnCatalogue::Find(header);
      if (column) (column->view ? viewed_ : made_).push_back(chosen_.size());
      chosen_.push_back(column);
    }
    pictures_ = options_.totals || ColumnCatalogue::NeedPictureCount(chosen_);
    // A row kept whole stands for the line alone: not for totals or what `inspect` looks at.
    if (options_.read && !options_.totals && !options_.inspect) {
      const std::string key = shape_.ReadyKey();
      if (!key.empty()) ready_seed_ = ReadIndex::ShapeSeed(key);
    }
    outer_.emplace(
        jobs_, [this](Entry& entry) { return given_(entry.path); }, Work(), 0, Weight);
  }

  Ahead::Work Work() {
    return [this](const Entry& entry, Reading& reading) {
      try {
        return Read(reading, entry);
      } catch (const std::bad_alloc&) {
        // Out of memory even for the failure's row: a row with the reason and no more.
        Row row;
        row.status = Status::kUnreadable;
        row.error = ENOMEM;
        try {
          row.path = entry.path;
        } catch (const std::bad_alloc&) {
        }
        return row;
      }
    };
  }

  std::optional<Row> Next() {
    for (;;) {
      if (inner_) {
        if (std::optional<Row> row = inner_->Next()) return row;
        inner_.reset();
      }
      std::optional<Row> row = outer_->Next();
      if (!row || !row->folder) return row;
      try {
        if (options_.walking) options_.walking(row->path);
        StartFolder(FileNames::ToText(row->path));
      } catch (const std::bad_alloc&) {
        inner_.reset();
        teller_.NotRead(FolderText(FileNames::ToText(row->path), std::strerror(ENOMEM)));
      }
    }
  }

  // Reads one file on a worker. A given path the engine could not open as a file may be a
  // folder, which is walked in its place; the file system is asked only then.
  Row Read(Reading& reading, const Entry& entry) const {
    Row row;
    try {
      row.path = entry.path;
      std::unique_ptr<clsID3>& tag = reading.tag;
      if (!tag) {
        tag = std::make_unique<clsID3>();
        // No column shows a picture: their bytes, often most of a tag, stay unread. The
        // Pictures column and the totals count them all the same.
        tag->SetPicturesWanted(options_.pictures);
        // Pictures read are kept in an index by what the report measures of them.
        if (options_.pictures) tag->SetPictureMeasure(&AuditFacts::MeasurePictures);
        tag->SetPictureCountWanted(pictures_ || options_.pictures);
        tag->SetLegacyTextDecoder(options_.decoder);
      }
      ReadyRow ready;
      if (ready_seed_) {
        ready.seed = *ready_seed_;
        ready.shape = ReadIndex::ShapeOf(*ready_seed_, entry.path);
      }
      if (options_.read) {
        options_.read(*tag, entry.path, ready_seed_ ? &ready : nullptr);
        if (ready.taken) {
          row.line = std::move(ready.line);
          row.status = static_cast<Status>(ready.status);
          return row;
        }
      } else {
        tag->SetFileName(entry.path);
      }
      const ReadDiagnosis& d = tag->Diagnosis();
      row.status = d.status;
      row.error = d.error_number;
      if (d.status == Status::kNotRegularFile || (d.status == Status::kUnreadable && d.size < 0)) {
        const std::optional<int> attributes = files_.Attributes(Text(reading, entry));
        if (attributes && (*attributes & FileAttribute::kDirectory)) {
          if (entry.given && !options_.folder_pattern.isEmpty()) {
            row.folder = true;
            return row;
          }
          if (d.status == Status::kNotRegularFile) row.error = EISDIR;
        }
      }
      if (options_.totals) row.totals = FolderTotals::Of(*tag);
      if (options_.inspect) options_.inspect(*tag, row);
      MakeCells(reading, entry);
      shape_.Make(reading.cells, row, reading.room);
      if (ready_seed_) ready.Keep(row.line, static_cast<uint8_t>(row.status));
    } catch (const std::bad_alloc&) {
      // A file too large for the memory left is that file's failure, not the run's: it keeps
      // its row, every cell empty.
      row.line.clear();
      row.cells = RowCells();
      row.totals.reset();
      row.extra.reset();
      row.folder = false;
      row.status = Status::kUnreadable;
      row.error = ENOMEM;
      try {
        row.path = entry.path;
        reading.cells.assign(chosen_.size(), {});
        shape_.Make(reading.cells, row, reading.room);
      } catch (const std::bad_alloc&) {
        // Not even an empty row fits: the row reaches the consumer without its cells.
      }
    }
    return row;
  }

  // The path as text, made once for the columns and the file system.
  const QString& Text(Reading& reading, const Entry& entry) const {
    QString& path = reading.path;
    if (FileNames::IsAscii(entry.path)) {
      // Widened in place: most paths are ASCII, and a row then needs no allocation for it.
      path.resize(static_cast<qsizetype>(entry.path.size()));
      char16_t* to = reinterpret_cast<char16_t*>(path.data());
      for (const char c : entry.path) *to++ = static_cast<char16_t>(c);
    } else {
      path = FileNames::ToText(entry.path);
    }
    return path;
  }

  void MakeCells(Reading& reading, const Entry& entry) const {
    const ColumnCatalogue::Source source{*reading.tag, Text(reading, entry)};
    // A header the catalogue does not know stays empty.
    if (reading.cells.size() != chosen_.size()) reading.cells.assign(chosen_.size(), {});
    for (const size_t c : viewed_) reading.cells[c] = chosen_[c]->view(source);
    // The made cells are viewed once all are made: `made` may move while it grows.
    reading.made.clear();
    reading.ends.resize(made_.size());
    for (size_t m = 0; m < made_.size(); ++m) {
      chosen_[made_[m]]->append(source, reading.made);
      reading.ends[m] = reading.made.size();
    }
    for (size_t m = 0, from = 0; m < made_.size(); from = reading.ends[m++])
      reading.cells[made_[m]] = reading.made.View(from, reading.ends[m]);
  }

  // The files beneath a folder given, as "Add All MP3 File(s) In Folder" finds them, read in
  // its place, one folder's listing at a time as the workers ask for them.
  void StartFolder(const QString& path) {
    folders_ = WalkFolder(path, files_, teller_);
    folder_ = 0;
    queued_ = FolderScan::Paths();
    inner_.emplace(
        jobs_,
        [this](Entry& entry) {
          while (!queued_.Next(entry.path)) {
            if (folder_ >= folders_.size()) return false;
            const QString& folder = folders_[folder_++];
            // The one listing is let go before the next is made.
            queued_ = FolderScan::Paths();
            queued_ = FolderFiles<FolderScan::Paths>(folder, teller_, [&] {
              return FolderScan::QueueablePaths(files_, folder, options_.folder_pattern);
            });
          }
          entry.given = false;
          return true;
        },
        Work(), 0, Weight);
  }

  const Options options_;
  Source given_;
  const Shape& shape_;
  const FileSystem& files_;
  Teller& teller_;
  const int jobs_;
  std::vector<const ColumnCatalogue::Column*> chosen_;
  std::vector<size_t> viewed_;  // the chosen columns that view text the source holds
  std::vector<size_t> made_;    // and those that make their cells
  bool pictures_ = false;
  std::optional<uint64_t> ready_seed_;  // the shape's, when its rows are kept whole

  // The folder being read: its walk and the files of the folder at hand.
  QStringList folders_;
  qsizetype folder_ = 0;
  FolderScan::Paths queued_;

  // Last, so the workers stop before anything they use goes.
  std::optional<Ahead> inner_;
  std::optional<Ahead> outer_;
};

RowReader::RowReader(Options options, Source source, const Shape& shape, const FileSystem& files,
                     Teller& teller)
    : impl_(std::make_unique<Impl>(std::move(options), std::move(source), shape, files, teller)) {}

RowReader::~RowReader() = default;

std::optional<RowReader::Row> RowReader::Next() { return impl_->Next(); }
