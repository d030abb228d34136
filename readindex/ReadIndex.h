#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class clsID3;
class ReadIndex;

/// A row as a run's shape wrote it, kept beside the file's read so that a later run of the same
/// shape takes its bytes as they are, neither restoring the read nor making the row again.
struct ReadyRow {
  /// What the row's bytes depend on beside the file: the shape and the path as given (0: none).
  uint64_t shape = 0;
  /// The shape alone (ReadIndex::ShapeSeed), the same for every row of a run.
  uint64_t seed = 0;
  /// Set by the read: the row was taken, `line` and `status` hold it and the tag was not touched.
  bool taken = false;
  std::string line;
  uint8_t status = 0;

  /// The row made from the read just done, kept with it; nothing when the read is not kept.
  void Keep(std::string_view made, uint8_t made_status);

  /// What the index holds between the read and Keep.
  struct Held;
  std::shared_ptr<Held> held;
};

/// Every file's read kept in an SQLite file between runs, so a run reads again only the files
/// that changed. A file is taken from the index only while its device, inode, size, modification
/// and change time (to the nanosecond) are what they were at its read; anything else is read
/// from the file. Whatever goes wrong with the index costs speed, never a wrong row: a damaged
/// one is moved aside and made anew, one that cannot be written is left out after one warning.
/// Safe to use from several threads at once, and by several processes sharing one file.
class ReadIndex {
 public:
  /// One line for the user: a warning about the index, never about a file's tags.
  using Say = std::function<void(const std::string&)>;

  /// The index at `path`, made (mode 0600) when missing. Null when the run must go without it:
  /// written by a newer Tagloom, not an index of ours, or in a place that cannot hold it; `say`
  /// was told why.
  static std::unique_ptr<ReadIndex> Open(const std::string& path, Say say);
  ~ReadIndex();
  ReadIndex(const ReadIndex&) = delete;
  ReadIndex& operator=(const ReadIndex&) = delete;

  /// Reads the file at `path` into `tag` as tag.SetFileName would, from the index when the file
  /// is as it was, else from the file, keeping that read for the next run. A tag that keeps
  /// picture bytes is served from the index only for files without pictures, unless it is content
  /// with their measure (clsID3::SetPictureMeasure) and a read kept it; one that counts them
  /// only by a read that counted them.
  void Read(clsID3& tag, const std::string& path);
  /// The same, taking the row `ready` names when the index holds it for the file as it is; else
  /// `ready` keeps what ReadyRow::Keep needs to store the row made after the read.
  void Read(clsID3& tag, const std::string& path, ReadyRow* ready);

  /// The `ReadyRow::shape` of a row of the shape named by `seed` (ShapeSeed of the bytes every
  /// row of that shape depends on) for the path as given.
  static uint64_t ShapeSeed(std::string_view shape);
  static uint64_t ShapeOf(uint64_t seed, std::string_view path);

  /// A folder (path bytes) this run walks whole: files beneath it that the run does not read are
  /// dropped from the index at Finish.
  void Walked(std::string_view folder);
  /// A folder (path bytes) some of whose files this run reads from a list: files the index holds
  /// directly in it that the run does not read and that are gone are dropped at Finish.
  void Listed(std::string_view folder);
  /// Keeps what is waiting and drops the files gone from the folders walked or listed; for a run
  /// that went through to its end.
  void Finish();

  /// How a file stands against the index, judged by its status alone.
  enum class State : uint8_t { kSame, kNew, kChanged };
  State StateOf(const std::string& path, const struct stat& status);
  /// The paths the index holds beneath `folder` (bytes, with or without the final separator),
  /// or the path itself when it is a file the index holds, in byte order.
  std::vector<std::string> PathsUnder(std::string_view folder);

  /// The path as the index keeps it: from the root, the run's folder put before a relative one.
  std::string KeptPath(std::string_view path) const;

  /// Whether files on the file system holding `path` keep a change time of their own; a test
  /// replaces the answer of statfs.
  using ChangeTimeProbe = std::function<bool(const std::string& path)>;
  void SetChangeTimeProbe(ChangeTimeProbe probe);

  /// A file changed less than this long before its read is read again at the next run too, as
  /// it may change again within the step of its file system's clock; 2 s unless set.
  void SetStillFor(int64_t nanoseconds);

  /// Reads served from the index and from the files, for tests and benchmarks.
  struct Counts {
    int64_t taken = 0;
    int64_t read = 0;
  };
  Counts Tally() const;

  /// The format this build writes; an index of a higher one is never touched.
  static constexpr int kSchema = 2;

 private:
  friend struct ReadyRow;
  class Store;
  explicit ReadIndex(std::unique_ptr<Store> store);
  std::unique_ptr<Store> store_;
};
