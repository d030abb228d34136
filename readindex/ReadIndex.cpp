#include "readindex/ReadIndex.h"

#include <fcntl.h>
#include <lz4.h>
#include <sqlite3.h>
#include <sys/statfs.h>
#include <time.h>
#include <unistd.h>
#include <xxhash.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>
#include <unordered_map>

#include "tag/clsID3.h"

namespace {

// "TLIX": the mark that tells our index from any other SQLite file, which is never touched.
constexpr int kApplicationId = 0x544C4958;
// Reads are kept in batches: one transaction each, short enough for another run to get in.
constexpr size_t kBatchFiles = 256;
constexpr size_t kBatchBytes = 8u << 20;
// Another run sharing the index holds it this long at most.
constexpr int kBusyMilliseconds = 30000;
// Look-ups share one read transaction; it ends after this many, letting the log be folded in.
constexpr int kLookupsARead = 512;
// Long enough for the coarsest clock of a file system that keeps a change time.
constexpr int64_t kStillFor = 2'000'000'000;

struct Key {
  int64_t dev = 0, ino = 0, size = 0, mtime = 0, ctime = 0;
  bool operator==(const Key&) const = default;
};

int64_t Nanoseconds(const timespec& t) {
  return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

Key KeyOf(const struct stat& st) {
  return {static_cast<int64_t>(st.st_dev), static_cast<int64_t>(st.st_ino),
          static_cast<int64_t>(st.st_size), Nanoseconds(st.st_mtim), Nanoseconds(st.st_ctim)};
}

// File systems whose change time is not theirs but made up from the modification time, so a
// rewrite with the time put back passes unseen.
const char* WithoutChangeTime(const std::string& path) {
  struct statfs fs {};
  if (::statfs(path.c_str(), &fs) != 0) return nullptr;
  switch (static_cast<unsigned long>(fs.f_type)) {
    case 0x4d44:
      return "FAT";
    case 0x2011BAB0:
      return "exFAT";
    case 0x65735546:
      return "FUSE (exFAT or NTFS)";
    case 0x4244:
      return "HFS";
    default:
      return nullptr;
  }
}

// The byte string just past every path beneath `folder`, which ends with the separator.
std::string PastFolder(std::string folder) {
  folder.back() = static_cast<char>('/' + 1);
  return folder;
}

uint64_t Sum(std::string_view bytes) { return XXH3_64bits(bytes.data(), bytes.size()); }

// Kept reads and rows are packed, and unpacked at memory speed. `size` is what `packed` unpacks
// to, 0 when it was kept as it is.
struct Packed {
  std::string bytes;
  int64_t size = 0;
};

Packed Pack(std::string_view plain) {
  Packed packed;
  const int bound = LZ4_compressBound(static_cast<int>(plain.size()));
  if (bound > 0 && plain.size() >= 64) {
    packed.bytes.resize(static_cast<size_t>(bound));
    const int made = LZ4_compress_fast(plain.data(), packed.bytes.data(),
                                       static_cast<int>(plain.size()), bound, 1);
    if (made > 0 && static_cast<size_t>(made) < plain.size()) {
      packed.bytes.resize(static_cast<size_t>(made));
      packed.size = static_cast<int64_t>(plain.size());
      return packed;
    }
  }
  packed.bytes.assign(plain);
  return packed;
}

bool Unpack(std::string_view packed, int64_t size, std::string& plain) {
  if (size == 0) {
    plain.assign(packed);
    return true;
  }
  if (size < 0 || size > (int64_t{1} << 30)) return false;
  plain.resize(static_cast<size_t>(size));
  return LZ4_decompress_safe(packed.data(), plain.data(), static_cast<int>(packed.size()),
                             static_cast<int>(size)) == size;
}

// One file's read on its way to the index: packed, with the row made from it when there is one.
struct Pending {
  std::string path;
  Key key;
  Packed record;
  int32_t pictures = 0;
  bool recent = false;
  uint64_t shape = 0;
  Packed line;
  uint8_t status = 0;
};

}  // namespace

struct ReadyRow::Held {
  ReadIndex::Store* store = nullptr;
  Pending pending;
};

class ReadIndex::Store {
 public:
  Store(std::string path, Say say) : path_(std::move(path)), say_(std::move(say)) {
    std::string cwd(4096, '\0');
    while (!::getcwd(cwd.data(), cwd.size()) && errno == ERANGE) cwd.resize(cwd.size() * 2);
    cwd_ = cwd.c_str();
  }
  ~Store() {
    {
      std::lock_guard lock(mutex_);
      FlushLocked();
    }
    Close();
  }

  // False when the run must go without the index; the user was told why.
  bool Open() {
    // Runs that start together may find the index half made, or being made, by one another.
    Opened opened = OpenDb();
    for (int tries = 0; opened == Opened::kBusy && tries < 500; ++tries) {
      ::usleep(10000);
      opened = OpenDb();
    }
    switch (opened) {
      case Opened::kBusy:
        Refuse("another run holds it");
        return false;
      case Opened::kYes:
        return true;
      case Opened::kRefused:
        return false;
      case Opened::kDamaged:
        MoveAside();
        return OpenDb() == Opened::kYes;
    }
    return false;
  }

  void Read(clsID3& tag, const std::string& path, ReadyRow* ready) {
    if (ready) {
      ready->taken = false;
      ready->held.reset();
      if (run_shape_.load(std::memory_order_relaxed) != ready->seed) run_shape_ = ready->seed;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
      tag.SetFileName(path);
      ++read_;
      return;
    }
    const Key key = KeyOf(st);
    const bool trusted = OwnChangeTime(st.st_dev, path);
    const std::string kept = Absolute(path);
    if (trusted) {
      Row row;
      switch (Take(tag, path, kept, key, ready, row)) {
        case Taken::kRow:
          ++taken_;
          return;
        case Taken::kRead:
          ++taken_;
          // The row is made anew for another shape, and kept with the read it came from once
          // that shape is the last run's too: runs changing their shape back and forth would
          // otherwise write every file each time.
          if (ready && writable_ && ready->seed == last_shape_)
            Hold(*ready, {kept,
                          key,
                          {std::move(row.record), row.record_size},
                          row.pictures,
                          false,
                          0,
                          {},
                          0});
          return;
        case Taken::kNo:
          break;
      }
    }
    tag.SetFileName(path);
    ++read_;
    if (!trusted || !writable_ || tag.Diagnosis().NotRead()) return;
    // A file changed while it was read is kept for no one: its status no longer says which read.
    struct stat after {};
    if (::stat(path.c_str(), &after) != 0 || !(KeyOf(after) == key)) return;
    const std::string record = tag.SavedRead();
    if (record.empty()) return;
    // A read that passed over the pictures uncounted serves only runs that do not count them.
    const int32_t pictures =
        tag.PicturesWanted() || tag.PictureCountWanted() ? tag.PictureCount() : -1;
    // A file changed within the clock's step of its read may change again without its times
    // moving: kept, but read again until it has been still for a while.
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const bool recent = Nanoseconds(now) - std::max(key.ctime, key.mtime) < still_for_;
    Pending pending{kept, key, Pack(record), pictures, recent, 0, {}, 0};
    if (ready) {
      Hold(*ready, std::move(pending));
    } else {
      Push(std::move(pending));
    }
  }

  void Push(Pending pending) {
    std::lock_guard lock(mutex_);
    pending_bytes_ += pending.record.bytes.size() + pending.line.bytes.size() + pending.path.size();
    pending_.push_back(std::move(pending));
    if (pending_.size() >= kBatchFiles || pending_bytes_ >= kBatchBytes) FlushLocked();
  }

  void Hold(ReadyRow& ready, Pending pending) {
    if (!ready.held) ready.held = std::make_shared<ReadyRow::Held>();
    ready.held->store = this;
    ready.held->pending = std::move(pending);
    ready.held->pending.shape = ready.shape;
  }

  void Walked(std::string_view folder, bool listed) {
    if (folder.empty()) return;
    std::string root = Absolute(folder);
    if (root.back() != '/') root.push_back('/');
    std::lock_guard lock(mutex_);
    if (!db_ || (listed && listed_.count(root))) return;
    if (!tracking_ &&
        Exec("CREATE TEMP TABLE IF NOT EXISTS seen(path BLOB PRIMARY KEY)") != SQLITE_OK)
      return;
    tracking_ = true;
    if (listed) {
      listed_.insert(std::move(root));
    } else {
      walked_.push_back(std::move(root));
    }
  }

  // The files the index holds in the folders listed, unseen by the run and gone from them.
  int DropGoneLocked() {
    sqlite3_stmt* unseen = Prepare(
        "SELECT path FROM files WHERE path >= ?1 AND path < ?2 AND instr(substr(path, ?3), "
        "x'2f') = 0 AND path NOT IN (SELECT path FROM temp.seen)");
    sqlite3_stmt* drop = Prepare("DELETE FROM files WHERE path = ?1");
    int rc = unseen && drop ? SQLITE_OK : sqlite3_errcode(db_);
    for (const std::string& root : listed_) {
      if (rc != SQLITE_OK) break;
      const std::string past = PastFolder(root);
      sqlite3_bind_blob(unseen, 1, root.data(), static_cast<int>(root.size()), SQLITE_STATIC);
      sqlite3_bind_blob(unseen, 2, past.data(), static_cast<int>(past.size()), SQLITE_STATIC);
      sqlite3_bind_int64(unseen, 3, static_cast<int64_t>(root.size()) + 1);
      std::vector<std::string> gone;
      while ((rc = sqlite3_step(unseen)) == SQLITE_ROW) {
        std::string path(static_cast<const char*>(sqlite3_column_blob(unseen, 0)),
                         static_cast<size_t>(sqlite3_column_bytes(unseen, 0)));
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR))
          gone.push_back(std::move(path));
      }
      rc = rc == SQLITE_DONE ? SQLITE_OK : rc;
      sqlite3_reset(unseen);
      for (const std::string& path : gone) {
        if (rc != SQLITE_OK) break;
        sqlite3_bind_blob(drop, 1, path.data(), static_cast<int>(path.size()), SQLITE_STATIC);
        rc = sqlite3_step(drop);
        rc = rc == SQLITE_DONE ? SQLITE_OK : rc;
        sqlite3_reset(drop);
      }
    }
    sqlite3_finalize(unseen);
    sqlite3_finalize(drop);
    return rc;
  }

  void Finish() {
    std::lock_guard lock(mutex_);
    FlushLocked();
    EndRead();
    // Another run sharing the index may have finished since this one began.
    const uint64_t shape = run_shape_;
    int64_t last = 0;
    if (db_ && writable_ && shape != 0 && Begin() == SQLITE_OK) {
      int rc = Single("SELECT last_shape FROM runs", last);
      if (rc == SQLITE_OK && static_cast<uint64_t>(last) != shape)
        rc = Exec("DELETE FROM runs; INSERT INTO runs VALUES (" +
                  std::to_string(static_cast<int64_t>(shape)) + ")");
      if (rc == SQLITE_OK) rc = Exec("COMMIT");
      if (rc != SQLITE_OK) {
        Exec("ROLLBACK");
        Failed(rc);
      }
    }
    if (!db_ || !writable_ || !tracking_) return;
    if (Begin() != SQLITE_OK) return;
    sqlite3_stmt* drop = Prepare(
        "DELETE FROM files WHERE path >= ?1 AND path < ?2 AND path NOT IN (SELECT path FROM "
        "temp.seen)");
    int rc = drop ? SQLITE_OK : sqlite3_errcode(db_);
    for (const std::string& root : walked_) {
      if (rc != SQLITE_OK) break;
      const std::string past = PastFolder(root);
      sqlite3_bind_blob(drop, 1, root.data(), static_cast<int>(root.size()), SQLITE_STATIC);
      sqlite3_bind_blob(drop, 2, past.data(), static_cast<int>(past.size()), SQLITE_STATIC);
      rc = sqlite3_step(drop);
      rc = rc == SQLITE_DONE ? SQLITE_OK : rc;
      sqlite3_reset(drop);
    }
    sqlite3_finalize(drop);
    if (rc == SQLITE_OK) rc = DropGoneLocked();
    if (rc == SQLITE_OK) rc = Exec("COMMIT");
    if (rc != SQLITE_OK) {
      Exec("ROLLBACK");
      Failed(rc);
    }
    walked_.clear();
    listed_.clear();
    // The next run (the window's, on the same index) marks its own.
    Exec("DELETE FROM temp.seen");
    tracking_ = false;
  }

  State StateOf(const std::string& path, const struct stat& status) {
    std::lock_guard lock(mutex_);
    if (!db_) return State::kNew;
    Row row;
    if (!FindLocked(Absolute(path), row, 0)) return State::kNew;
    return row.key == KeyOf(status) ? State::kSame : State::kChanged;
  }

  std::vector<std::string> PathsUnder(std::string_view folder) {
    std::vector<std::string> paths;
    std::lock_guard lock(mutex_);
    if (!db_ || folder.empty()) return paths;
    std::string file = Absolute(folder);
    while (file.size() > 1 && file.back() == '/') file.pop_back();
    const std::string root = file == "/" ? file : file + '/';
    const std::string past = PastFolder(root);
    EndRead();
    sqlite3_stmt* under = Prepare(
        "SELECT path FROM files WHERE path = ?3 OR (path >= ?1 AND path < ?2) ORDER BY path");
    if (!under) return paths;
    sqlite3_bind_blob(under, 1, root.data(), static_cast<int>(root.size()), SQLITE_STATIC);
    sqlite3_bind_blob(under, 2, past.data(), static_cast<int>(past.size()), SQLITE_STATIC);
    sqlite3_bind_blob(under, 3, file.data(), static_cast<int>(file.size()), SQLITE_STATIC);
    int rc;
    while ((rc = sqlite3_step(under)) == SQLITE_ROW)
      paths.emplace_back(static_cast<const char*>(sqlite3_column_blob(under, 0)),
                         static_cast<size_t>(sqlite3_column_bytes(under, 0)));
    sqlite3_finalize(under);
    if (rc != SQLITE_DONE) Failed(rc);
    return paths;
  }

  void SetProbe(ChangeTimeProbe probe) {
    std::lock_guard lock(mutex_);
    probe_ = std::move(probe);
    own_change_time_.clear();
  }

  Counts Tally() const { return {taken_.load(), read_.load()}; }
  void SetStillFor(int64_t nanoseconds) { still_for_ = nanoseconds; }

 private:
  enum class Opened : uint8_t { kYes, kRefused, kDamaged, kBusy };
  struct Row {
    Key key;
    uint64_t sum = 0;
    int32_t pictures = 0;
    bool recent = false;
    std::string record;
    int64_t record_size = 0;
    bool has_line = false;  // the row of the shape asked for, in `line`
    std::string line;
    int64_t line_size = 0;
    uint64_t line_sum = 0;
    uint8_t status = 0;
  };
  enum class Taken : uint8_t { kNo, kRead, kRow };

  Opened OpenDb() {
    // Made here, not by SQLite, so that it is never readable by others: it holds the paths.
    const int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return Refuse(std::strerror(errno));
    struct stat st {};
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ::close(fd);
    if (!regular) return Refuse("not a regular file");
    if (sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
      const std::string why = db_ ? sqlite3_errmsg(db_) : "out of memory";
      Close();
      return Refuse(why);
    }
    sqlite3_busy_timeout(db_, kBusyMilliseconds);
    sqlite3_extended_result_codes(db_, 0);
    int64_t application = 0, version = 0, tables = 0;
    // Read as one snapshot: another run may be making the index between two of the reads.
    int rc = Exec("BEGIN");
    if (rc == SQLITE_OK) rc = Single("PRAGMA application_id", application);
    if (rc == SQLITE_OK) rc = Single("PRAGMA user_version", version);
    if (rc == SQLITE_OK) rc = Single("SELECT count(*) FROM sqlite_master", tables);
    Exec("COMMIT");
    if (rc == SQLITE_NOTADB || rc == SQLITE_CORRUPT) {
      why_damaged_ = rc == SQLITE_NOTADB ? "not an SQLite file" : "its structure is broken";
      Close();
      return Opened::kDamaged;
    }
    if (rc != SQLITE_OK) return Trouble(rc);
    if (version > kSchema) {
      Close();
      return Refuse("it was written by a newer Tagloom, and is left as it is");
    }
    if (application != kApplicationId && (application != 0 || tables > 0)) {
      Close();
      return Refuse("it is an SQLite file of another program, and is left as it is");
    }
    // The largest pages: a file's read and row are a few kilobytes, and a page then holds many,
    // with little room left over at its end. Taken only by a file that is still empty.
    if (tables == 0) Exec("PRAGMA page_size=65536");
    rc = Exec("PRAGMA journal_mode=WAL");
    // No waiting for the disk: a run killed leaves the log whole, and what a power cut might
    // leave behind is either found damaged or a read that still matches its file's status and
    // checksum. The index is a cache; nothing in it is the only copy.
    if (rc == SQLITE_OK) rc = Exec("PRAGMA synchronous=OFF");
    if (rc == SQLITE_OK && version < kSchema) rc = Create();
    if (rc == SQLITE_NOTADB || rc == SQLITE_CORRUPT) {
      why_damaged_ = "its structure is broken";
      Close();
      return Opened::kDamaged;
    }
    if (rc != SQLITE_OK) return Trouble(rc);
    find_ = Prepare(
        "SELECT dev, ino, size, mtime, ctime, recent, pictures, sum, record_size, shape, status, "
        "line_sum, line_size, line, record FROM files WHERE path = ?1");
    put_ = Prepare(
        "INSERT OR REPLACE INTO files(path, dev, ino, size, mtime, ctime, recent, pictures, sum, "
        "record_size, shape, status, line_sum, line_size, line, record) VALUES (?1, ?2, ?3, ?4, "
        "?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15, ?16)");
    if (!find_ || !put_) return Refuse(sqlite3_errmsg(db_));
    int64_t last = 0;
    if (Single("SELECT last_shape FROM runs", last) != SQLITE_OK)
      return Refuse(sqlite3_errmsg(db_));
    last_shape_ = static_cast<uint64_t>(last);
    writable_ = true;
    return Opened::kYes;
  }

  // The table, made once by whichever run comes first; an older layout's rows are dropped.
  int Create() {
    int rc = Begin();
    int64_t version = 0;
    if (rc == SQLITE_OK) rc = Single("PRAGMA user_version", version);
    if (rc == SQLITE_OK && version < kSchema) {
      rc = Exec("DROP TABLE IF EXISTS files");
      if (rc == SQLITE_OK)
        rc = Exec(
            // The row made last comes before the read, so that taking it reads no further.
            "CREATE TABLE files(path BLOB PRIMARY KEY, dev INTEGER NOT NULL, ino INTEGER NOT "
            "NULL, size INTEGER NOT NULL, mtime INTEGER NOT NULL, ctime INTEGER NOT NULL, "
            "recent INTEGER NOT NULL, pictures INTEGER NOT NULL, sum INTEGER NOT NULL, "
            "record_size INTEGER NOT NULL, shape INTEGER NOT NULL, status INTEGER NOT NULL, "
            "line_sum INTEGER NOT NULL, line_size INTEGER NOT NULL, line BLOB, "
            "record BLOB NOT NULL)");
      if (rc == SQLITE_OK) rc = Exec("DROP TABLE IF EXISTS runs");
      if (rc == SQLITE_OK) rc = Exec("CREATE TABLE runs(last_shape INTEGER NOT NULL)");
      if (rc == SQLITE_OK) rc = Exec("PRAGMA application_id=" + std::to_string(kApplicationId));
      if (rc == SQLITE_OK) rc = Exec("PRAGMA user_version=" + std::to_string(kSchema));
    }
    if (rc == SQLITE_OK) return Exec("COMMIT");
    Exec("ROLLBACK");
    return rc;
  }

  Opened Trouble(int rc) {
    if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) {
      Close();
      return Opened::kBusy;
    }
    return Refuse(sqlite3_errmsg(db_));
  }

  Opened Refuse(const std::string& why) {
    Close();
    say_("cannot use the index '" + path_ + "': " + why + "; this run goes without it");
    return Opened::kRefused;
  }

  Taken Take(clsID3& tag, const std::string& path, const std::string& kept, const Key& key,
             ReadyRow* ready, Row& row) {
    {
      std::lock_guard lock(mutex_);
      if (!db_ || !FindLocked(kept, row, ready ? ready->shape : 1) || !(row.key == key) ||
          row.recent)
        return Taken::kNo;
    }
    if (ready && row.has_line) {
      if (Sum(row.line) == row.line_sum && Unpack(row.line, row.line_size, ready->line)) {
        ready->status = row.status;
        ready->taken = true;
        return Taken::kRow;
      }
      std::lock_guard lock(mutex_);
      Damaged("a kept row does not match its checksum");
      return Taken::kNo;
    }
    if (tag.PicturesWanted() && row.pictures < 0) return Taken::kNo;
    if (tag.PictureCountWanted() && row.pictures < 0) return Taken::kNo;
    std::string& record = record_room_;
    if (Sum(row.record) != row.sum || !Unpack(row.record, row.record_size, record)) {
      std::lock_guard lock(mutex_);
      Damaged("a kept read does not match its checksum");
      return Taken::kNo;
    }
    // A read that wants picture bytes is served by no record; one content with their measure,
    // only by a record that kept it.
    if (tag.PicturesWanted() && row.pictures > 0 &&
        !(tag.MeasuresPictures() && clsID3::RecordMeasuresPictures(record)))
      return Taken::kNo;
    if (tag.RestoreRead(record, path)) return Taken::kRead;
    // A record of another layout is an older Tagloom's: read again and kept anew. One of this
    // layout that does not restore is damage the checksum missed.
    if (!record.empty() && static_cast<uint8_t>(record.front()) == clsID3::kReadRecordLayout) {
      std::lock_guard lock(mutex_);
      Damaged("a kept read cannot be restored");
    }
    return Taken::kNo;
  }

  // `shape`: 0 for the file's status alone; else the row of that shape when it is kept, or the
  // read when it is not.
  bool FindLocked(const std::string& path, Row& row, uint64_t shape) {
    // Look-ups go in read transactions of many, so that SQLite takes its locks once for them
    // rather than once each.
    if (!reading_ && Exec("BEGIN") == SQLITE_OK) {
      reading_ = true;
      lookups_ = 0;
    }
    if (++lookups_ >= kLookupsARead) EndRead();
    sqlite3_bind_blob(find_, 1, path.data(), static_cast<int>(path.size()), SQLITE_STATIC);
    const int rc = sqlite3_step(find_);
    const bool found = rc == SQLITE_ROW;
    if (found) {
      row.key = {sqlite3_column_int64(find_, 0), sqlite3_column_int64(find_, 1),
                 sqlite3_column_int64(find_, 2), sqlite3_column_int64(find_, 3),
                 sqlite3_column_int64(find_, 4)};
      row.recent = sqlite3_column_int(find_, 5) != 0;
      row.pictures = sqlite3_column_int(find_, 6);
      row.sum = static_cast<uint64_t>(sqlite3_column_int64(find_, 7));
      row.record_size = sqlite3_column_int64(find_, 8);
      row.status = static_cast<uint8_t>(sqlite3_column_int(find_, 10));
      row.line_sum = static_cast<uint64_t>(sqlite3_column_int64(find_, 11));
      row.line_size = sqlite3_column_int64(find_, 12);
      const auto blob = [&](int column, std::string& to) {
        const void* bytes = sqlite3_column_blob(find_, column);
        to.assign(static_cast<const char*>(bytes),
                  bytes ? static_cast<size_t>(sqlite3_column_bytes(find_, column)) : 0);
      };
      row.has_line = shape != 0 && static_cast<uint64_t>(sqlite3_column_int64(find_, 9)) == shape &&
                     sqlite3_column_type(find_, 13) == SQLITE_BLOB;
      if (row.has_line) {
        blob(13, row.line);
      } else if (shape != 0) {
        blob(14, row.record);
      }
    }
    sqlite3_reset(find_);
    if (!found && rc != SQLITE_DONE) Failed(rc);
    if (found && tracking_) Seen(path);
    return found;
  }

  void Seen(const std::string& path) {
    if (!seen_) seen_ = Prepare("INSERT OR IGNORE INTO temp.seen(path) VALUES (?1)");
    if (!seen_) return;
    sqlite3_bind_blob(seen_, 1, path.data(), static_cast<int>(path.size()), SQLITE_STATIC);
    sqlite3_step(seen_);
    sqlite3_reset(seen_);
  }

  void FlushLocked() {
    if (!db_ || !writable_ || pending_.empty()) return;
    EndRead();
    int rc = Begin();
    for (const Pending& p : pending_) {
      if (rc != SQLITE_OK) break;
      const auto bytes = [&](int at, const std::string& b) {
        sqlite3_bind_blob(put_, at, b.data(), static_cast<int>(b.size()), SQLITE_STATIC);
      };
      bytes(1, p.path);
      sqlite3_bind_int64(put_, 2, p.key.dev);
      sqlite3_bind_int64(put_, 3, p.key.ino);
      sqlite3_bind_int64(put_, 4, p.key.size);
      sqlite3_bind_int64(put_, 5, p.key.mtime);
      sqlite3_bind_int64(put_, 6, p.key.ctime);
      sqlite3_bind_int(put_, 7, p.recent ? 1 : 0);
      sqlite3_bind_int(put_, 8, p.pictures);
      sqlite3_bind_int64(put_, 9, static_cast<int64_t>(Sum(p.record.bytes)));
      sqlite3_bind_int64(put_, 10, p.record.size);
      const bool line = p.shape != 0;
      sqlite3_bind_int64(put_, 11, line ? static_cast<int64_t>(p.shape) : 0);
      sqlite3_bind_int(put_, 12, p.status);
      sqlite3_bind_int64(put_, 13, line ? static_cast<int64_t>(Sum(p.line.bytes)) : 0);
      sqlite3_bind_int64(put_, 14, p.line.size);
      if (line) {
        bytes(15, p.line.bytes);
      } else {
        sqlite3_bind_null(put_, 15);
      }
      bytes(16, p.record.bytes);
      rc = sqlite3_step(put_);
      rc = rc == SQLITE_DONE ? SQLITE_OK : rc;
      sqlite3_reset(put_);
      if (rc == SQLITE_OK && tracking_) Seen(p.path);
    }
    if (rc == SQLITE_OK) rc = Exec("COMMIT");
    if (rc == SQLITE_BUSY && pending_.size() < 4 * kBatchFiles) {
      // Another run holds the index longer than it should: the reads wait for the next batch.
      Exec("ROLLBACK");
      return;
    }
    pending_.clear();
    pending_bytes_ = 0;
    if (rc != SQLITE_OK) {
      Exec("ROLLBACK");
      Failed(rc);
    }
  }

  void Failed(int rc) {
    if (!db_) return;
    if (rc == SQLITE_CORRUPT || rc == SQLITE_NOTADB) {
      Damaged("its structure is broken");
      return;
    }
    if (!writable_) return;
    writable_ = false;
    say_("cannot write the index '" + path_ + "': " + sqlite3_errstr(rc) +
         "; this run goes on without keeping its reads");
  }

  // Told once; the index is rebuilt from this run's reads on, and the damaged file kept aside.
  void Damaged(const std::string& why) {
    if (!db_) return;
    why_damaged_ = why;
    Close();
    MoveAside();
    if (OpenDb() != Opened::kYes) Close();
  }

  void MoveAside() {
    const std::string aside = path_ + ".damaged";
    say_("the index '" + path_ + "' is damaged (" + why_damaged_ + "): moved aside to '" + aside +
         "' and made anew");
    std::rename(path_.c_str(), aside.c_str());
    ::unlink((path_ + "-wal").c_str());
    ::unlink((path_ + "-shm").c_str());
  }

  bool OwnChangeTime(dev_t dev, const std::string& path) {
    std::lock_guard lock(mutex_);
    const auto known = own_change_time_.find(dev);
    if (known != own_change_time_.end()) return known->second;
    bool own = true;
    const char* kind = nullptr;
    if (probe_) {
      own = probe_(path);
      kind = "this";
    } else {
      kind = WithoutChangeTime(path);
      own = kind == nullptr;
    }
    own_change_time_.emplace(dev, own);
    if (!own && !told_change_time_) {
      told_change_time_ = true;
      say_("files on " + std::string(kind) + " file system (first '" + path +
           "') are read every time: it keeps no change time the index '" + path_ + "' could trust");
    }
    return own;
  }

  // Paths are kept from the root, so that a run from another folder finds them.
 public:
  std::string Absolute(std::string_view path) const {
    std::string whole;
    if (path.empty() || path.front() != '/') {
      whole = cwd_;
      if (whole.empty() || whole.back() != '/') whole.push_back('/');
    }
    whole += path;
    // "./" and doubled separators name the same file; ".." may not, past a link.
    if (whole.find("//") == std::string::npos && whole.find("/./") == std::string::npos)
      return whole;
    std::string plain;
    for (size_t at = 0; at < whole.size();) {
      const size_t end = std::min(whole.find('/', at), whole.size());
      const std::string_view part(whole.data() + at, end - at);
      if (!part.empty() && part != ".") (plain += '/') += part;
      at = end + 1;
    }
    if (plain.empty() || (whole.back() == '/' && plain != "/")) plain += '/';
    return plain;
  }

 private:
  int Begin() { return Exec("BEGIN IMMEDIATE"); }

  void EndRead() {
    if (!reading_) return;
    reading_ = false;
    Exec("COMMIT");
  }

  int Exec(const std::string& sql) {
    return db_ ? sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) : SQLITE_MISUSE;
  }

  int Single(const char* sql, int64_t& value) {
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(db_, sql, -1, &stmt, nullptr);
    if (rc == SQLITE_OK) {
      rc = sqlite3_step(stmt);
      if (rc == SQLITE_ROW) value = sqlite3_column_int64(stmt, 0);
      rc = rc == SQLITE_ROW || rc == SQLITE_DONE ? SQLITE_OK : rc;
    }
    sqlite3_finalize(stmt);
    return rc;
  }

  sqlite3_stmt* Prepare(const char* sql) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db_, sql, -1, &stmt, nullptr) != SQLITE_OK) {
      sqlite3_finalize(stmt);
      return nullptr;
    }
    return stmt;
  }

  void Close() {
    if (db_) EndRead();
    for (sqlite3_stmt** stmt : {&find_, &put_, &seen_}) {
      sqlite3_finalize(*stmt);
      *stmt = nullptr;
    }
    if (db_) sqlite3_close_v2(db_);
    db_ = nullptr;
    writable_ = false;
    walked_.clear();
    listed_.clear();
    tracking_ = false;
  }

  const std::string path_;
  const Say say_;
  std::string cwd_;
  std::mutex mutex_;
  sqlite3* db_ = nullptr;
  sqlite3_stmt* find_ = nullptr;
  sqlite3_stmt* put_ = nullptr;
  sqlite3_stmt* seen_ = nullptr;
  std::atomic<bool> writable_{false};
  bool reading_ = false;  // a read transaction is open
  int lookups_ = 0;       // in it
  std::string why_damaged_;
  std::vector<Pending> pending_;
  static thread_local std::string record_room_;  // a reading thread's unpacked read
  size_t pending_bytes_ = 0;
  std::vector<std::string> walked_;     // folders the run walks whole
  std::set<std::string> listed_;        // and those it reads files of from a list
  bool tracking_ = false;               // the files met are marked in temp.seen
  uint64_t last_shape_ = 0;             // the rows' shape of the last run that finished
  std::atomic<uint64_t> run_shape_{0};  // and of this one
  ChangeTimeProbe probe_;
  std::unordered_map<dev_t, bool> own_change_time_;
  bool told_change_time_ = false;
  std::atomic<int64_t> still_for_{kStillFor};
  std::atomic<int64_t> taken_{0};
  std::atomic<int64_t> read_{0};
};

thread_local std::string ReadIndex::Store::record_room_;

std::unique_ptr<ReadIndex> ReadIndex::Open(const std::string& path, Say say) {
  auto store = std::make_unique<Store>(path, std::move(say));
  if (!store->Open()) return nullptr;
  return std::unique_ptr<ReadIndex>(new ReadIndex(std::move(store)));
}

ReadIndex::ReadIndex(std::unique_ptr<Store> store) : store_(std::move(store)) {}
ReadIndex::~ReadIndex() = default;

void ReadIndex::Read(clsID3& tag, const std::string& path) { store_->Read(tag, path, nullptr); }
void ReadIndex::Read(clsID3& tag, const std::string& path, ReadyRow* ready) {
  store_->Read(tag, path, ready);
}

uint64_t ReadIndex::ShapeSeed(std::string_view shape) { return Sum(shape) | 1; }
uint64_t ReadIndex::ShapeOf(uint64_t seed, std::string_view path) {
  // Never 0, which stands for no row.
  return XXH3_64bits_withSeed(path.data(), path.size(), seed) | 1;
}

void ReadyRow::Keep(std::string_view made, uint8_t made_status) {
  if (!held || !held->store) return;
  Pending& pending = held->pending;
  // Kept as made, so that taking it is one copy, the whole of a re-run's work; the read beside
  // it, taken only when the shape changes, is packed.
  pending.line = {std::string(made), 0};
  pending.status = made_status;
  if (shape == 0) pending.shape = 0;
  held->store->Push(std::move(pending));
  held->store = nullptr;
}
void ReadIndex::Walked(std::string_view folder) { store_->Walked(folder, false); }
void ReadIndex::Listed(std::string_view folder) { store_->Walked(folder, true); }
void ReadIndex::Finish() { store_->Finish(); }
ReadIndex::State ReadIndex::StateOf(const std::string& path, const struct stat& status) {
  return store_->StateOf(path, status);
}
std::vector<std::string> ReadIndex::PathsUnder(std::string_view folder) {
  return store_->PathsUnder(folder);
}
std::string ReadIndex::KeptPath(std::string_view path) const { return store_->Absolute(path); }
void ReadIndex::SetChangeTimeProbe(ChangeTimeProbe probe) { store_->SetProbe(std::move(probe)); }
void ReadIndex::SetStillFor(int64_t nanoseconds) { store_->SetStillFor(nanoseconds); }
ReadIndex::Counts ReadIndex::Tally() const { return store_->Tally(); }
