#pragma once

#include <climits>
#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace CliArgs {

/// The longest path a list line may hold, in bytes: the platform's limit less the closing NUL.
inline constexpr size_t kLongestPath = PATH_MAX - 1;

/// Paths from a list file, one per line ("-" reads standard input); a trailing CR is dropped and
/// empty lines are passed over. False, with the reason for people in `why`, when the list cannot
/// be read or a line is no path: longer than kLongestPath, or holding a NUL, which would cut it
/// short. Reading stops at the first such line, so an endless input cannot fill the memory.
bool ReadPathList(const std::string& list, std::vector<std::string>& paths, std::string& why);

/// The lines of a list, one path at a time, under the rules of ReadPathList.
class LineReader {
 public:
  explicit LineReader(int fd) : fd_(fd) {}
  /// The next path; false at the end, or on a line that is no path or a failed read, which
  /// Failed then tells, with the reason in `why`.
  bool Next(std::string& path, std::string& why);
  bool Failed() const { return failed_; }

 private:
  bool Finish(std::string& path, std::string& why);

  int fd_;
  char buffer_[65536];
  size_t at_ = 0;
  size_t end_ = 0;
  size_t number_ = 1;
  std::string line_;
  bool done_ = false;
  bool failed_ = false;
};

/// A list read twice, so that however long it is, it never sits in memory: once to check every
/// line before anything runs, then again to hand the paths out. A list that cannot be read a
/// second time (standard input, a pipe) waits in a temporary file meanwhile.
class PathList {
 public:
  PathList() = default;
  PathList(const PathList&) = delete;
  PathList& operator=(const PathList&) = delete;
  ~PathList();

  /// Reads the list through; false, with the reason in `why`, as ReadPathList.
  bool Check(const std::string& list, std::string& why);
  /// How many paths Check found.
  size_t Count() const { return count_; }
  const std::string& Name() const { return name_; }
  /// The next path, from the first on; false at the end, or on a failure (Failed, `why`).
  bool Next(std::string& path, std::string& why);
  bool Failed() const { return failed_; }

 private:
  std::string name_;
  size_t count_ = 0;
  std::FILE* spool_ = nullptr;
  int fd_ = -1;
  std::unique_ptr<LineReader> reader_;
  bool failed_ = false;
};

/// True for "--help" and "-h".
bool IsHelp(const std::string& arg);

/// True for an argument that looks like an option: "-" followed by anything ("-" alone is a
/// path, by custom standard input's name).
bool IsOption(const std::string& arg);

/// Text for one message line on a terminal: control characters (a CR or LF in a file name, say)
/// are written as \r, \n, \t or \xHH, so nothing breaks the line or writes over it.
std::string OneLine(std::string_view text);

}  // namespace CliArgs
