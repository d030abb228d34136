#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Helpers for tests that need files on disk. Qt-free, so every area can use them.
namespace TestFiles {

/// A fresh folder under the system's temporary directory, removed with everything in it when
/// the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& Path() const { return path_; }

  /// Writes the bytes to `name` inside the folder (sub-folders are made) and returns its path.
  std::string Write(std::string_view name, std::string_view bytes) const;

  /// The path `name` would have inside the folder; nothing is created.
  std::string PathOf(std::string_view name) const;

 private:
  std::filesystem::path path_;
};

/// The whole file, or nothing when it cannot be read.
std::optional<std::string> ReadBytes(const std::filesystem::path& path);

/// The folder an environment variable names, when it is set and the folder exists.
std::optional<std::filesystem::path> FolderFromEnv(const char* variable);

/// The folders CTest hands to every test (the bundled samples, the peers' corpus, the programs),
/// or this build's own when the environment does not name them.
std::optional<std::filesystem::path> SamplesDir();  // TAGLOOM_SAMPLES
std::optional<std::filesystem::path> PeersDir();    // TAGLOOM_PEERS
std::optional<std::filesystem::path> BinDir();      // TAGLOOM_BIN

/// A program running beside the test: the one place tests start programs (Run waits for one
/// through the shell). Its standard output goes to /dev/null, its standard error to `err` when
/// named (else /dev/null); it inherits the descriptors not marked close-on-exec, and the signals
/// a user sends act on it as they would, whatever the test runner ignores. A program without a
/// '/' in its name is looked for on PATH. Still running when the object goes, it is sent SIGTERM
/// and waited for.
class Started {
 public:
  Started(const std::string& program, const std::vector<std::string>& args,
          const std::string& err = "");
  ~Started();
  Started(const Started&) = delete;
  Started& operator=(const Started&) = delete;

  /// 0 when it started, otherwise the error number of the start.
  int StartError() const { return error_; }
  int Pid() const { return pid_; }
  /// Whether it still runs; false once it ended (then Wait returns at once).
  bool Running();
  /// Its exit status, or 128 + the signal that ended it; -1 when it never started.
  int Wait();
  /// Whether a signal ended it (after Wait).
  bool Signaled() const { return signaled_; }

 private:
  int pid_ = -1;
  int error_ = 0;
  bool ended_ = false;
  bool signaled_ = false;
  int status_ = -1;
};

/// Whether a program of that name is on PATH.
bool HasProgram(const std::string& name);

/// What a program printed and how it ended.
struct RunResult {
  int status = -1;  // the exit status; -1 when it did not exit normally
  std::string out, err;
};

/// Runs a program with the arguments and the standard input given, through the shell with
/// every argument quoted; both output streams are kept whole, whatever bytes they hold.
RunResult Run(const std::string& program, const std::vector<std::string>& args,
              std::string_view input = "");

/// How Run sets a program up: the folder it starts in, shell words put before it (a limit, a
/// change of user; quote what needs it with ShellQuote), and a file its standard output goes to
/// instead of being kept. Empty fields change nothing.
struct RunSetup {
  std::string folder = {};
  std::string prefix = {};
  std::string output = {};
};
RunResult Run(const RunSetup& setup, const std::string& program,
              const std::vector<std::string>& args, std::string_view input = "");

/// The text as one shell word.
std::string ShellQuote(const std::string& text);

/// A shell prefix that caps a program's memory, so a program that would grow without bound fails
/// fast instead of filling the machine. Empty under the sanitizers, which reserve more address
/// space at start than any such cap allows; the programs' own limits still hold there.
#ifdef TAGLOOM_TEST_SANITIZED
inline constexpr const char* kMemoryCap = "";
#else
inline constexpr const char* kMemoryCap = "ulimit -v 1000000;";
#endif

/// Joins with the given separator, adding one only when `folder` does not already end in it; the
/// path routines under test take the separator as a parameter, so both forms need building.
std::string JoinPath(std::string_view folder, std::string_view name, char separator);

}  // namespace TestFiles
