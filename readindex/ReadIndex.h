#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class clsID3;

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
  /// picture bytes is served from the index only for files without pictures, one that counts
  /// them only by a read that counted them.
  void Read(clsID3& tag, const std::string& path);

  /// A folder (path bytes) this run walks whole: files beneath it that the run does not read are
  /// dropped from the index at Finish.
  void Walked(std::string_view folder);
  /// Keeps what is waiting and drops the files gone from the folders walked; for a run that went
  /// through to its end.
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
  static constexpr int kSchema = 1;

 private:
  class Store;
  explicit ReadIndex(std::unique_ptr<Store> store);
  std::unique_ptr<Store> store_;
};
