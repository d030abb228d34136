#include "tests/support/TestFiles.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "BuiltPaths.h"

extern char** environ;

namespace fs = std::filesystem;

namespace TestFiles {

TempDir::TempDir() {
  static std::atomic<unsigned> counter{0};
  std::random_device random;
  const fs::path base = fs::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const fs::path candidate =
        base / ("tagloom-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) +
                "-" + std::to_string(random() % 1000000));
    std::error_code error;
    if (fs::create_directory(candidate, error)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder under " + base.string());
}

TempDir::~TempDir() {
  std::error_code ignored;
  // Tests may leave read-only files behind; removal must still succeed.
  for (auto it = fs::recursive_directory_iterator(path_, ignored);
       it != fs::recursive_directory_iterator(); it.increment(ignored)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  }
  fs::remove_all(path_, ignored);
}

std::string TempDir::Write(std::string_view name, std::string_view bytes) const {
  const fs::path target = path_ / fs::path(std::string(name));
  fs::create_directories(target.parent_path());
  std::ofstream out(target, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw std::runtime_error("cannot write " + target.string());
  return target.string();
}

std::string TempDir::PathOf(std::string_view name) const {
  return (path_ / fs::path(std::string(name))).string();
}

std::optional<std::string> ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return bytes.str();
}

std::optional<fs::path> FolderFromEnv(const char* variable) {
  const char* value = std::getenv(variable);
  if (value == nullptr || *value == '\0') return std::nullopt;
  std::error_code error;
  if (!fs::is_directory(value, error)) return std::nullopt;
  return fs::path(value);
}

namespace {

// The environment wins; the folders of the build that compiled the tests stand in when a test
// runs without it (straight from a shell, or when CTest's environment did not come through).
std::optional<fs::path> FolderFromEnvOr(const char* variable, const char* built_in) {
  if (auto folder = FolderFromEnv(variable)) return folder;
  std::error_code error;
  if (*built_in != '\0' && fs::is_directory(built_in, error)) return fs::path(built_in);
  return std::nullopt;
}

}  // namespace

std::optional<fs::path> SamplesDir() {
  return FolderFromEnvOr("TAGLOOM_SAMPLES", TAGLOOM_BUILT_SAMPLES_DIR);
}
std::optional<fs::path> PeersDir() {
  return FolderFromEnvOr("TAGLOOM_PEERS", TAGLOOM_BUILT_PEERS_DIR);
}
std::optional<fs::path> BinDir() { return FolderFromEnvOr("TAGLOOM_BIN", TAGLOOM_BUILT_BIN_DIR); }

std::string ShellQuote(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

Started::Started(const std::string& program, const std::vector<std::string>& args,
                 const std::string& err) {
  std::vector<std::string> all = {program};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, err.empty() ? "/dev/null" : err.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&defaults, signal);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
  pid_t pid = -1;
  const bool path = program.find('/') == std::string::npos;
  error_ = path ? ::posix_spawnp(&pid, program.c_str(), &actions, &attributes, argv.data(), environ)
                : ::posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (error_ == 0) pid_ = pid;
}

Started::~Started() {
  if (pid_ <= 0 || ended_) return;
  ::kill(pid_, SIGTERM);
  Wait();
}

bool Started::Running() {
  if (pid_ <= 0 || ended_) return false;
  int status = 0;
  const pid_t done = ::waitpid(pid_, &status, WNOHANG);
  if (done == 0) return true;
  ended_ = true;
  signaled_ = done == pid_ && WIFSIGNALED(status);
  status_ = done != pid_ ? -1 : WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return false;
}

int Started::Wait() {
  if (pid_ <= 0 || ended_) return status_;
  int status = 0;
  pid_t done;
  do {
    done = ::waitpid(pid_, &status, 0);
  } while (done < 0 && errno == EINTR);
  ended_ = true;
  signaled_ = done == pid_ && WIFSIGNALED(status);
  status_ = done != pid_ ? -1 : WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return status_;
}

bool HasProgram(const std::string& name) {
  return Run("/bin/sh", {"-c", "command -v " + ShellQuote(name)}).status == 0;
}

RunResult Run(const std::string& program, const std::vector<std::string>& args,
              std::string_view input) {
  return Run(RunSetup{}, program, args, input);
}

RunResult Run(const RunSetup& setup, const std::string& program,
              const std::vector<std::string>& args, std::string_view input) {
  TempDir io;
  const std::string in = io.Write("stdin", input);
  std::string command;
  if (!setup.folder.empty()) command += "cd " + ShellQuote(setup.folder) + " && ";
  if (!setup.prefix.empty()) command += setup.prefix + " ";
  command += ShellQuote(program);
  for (const auto& a : args) command += " " + ShellQuote(a);
  const std::string out = setup.output.empty() ? io.PathOf("stdout") : setup.output;
  command +=
      " <" + ShellQuote(in) + " >" + ShellQuote(out) + " 2>" + ShellQuote(io.PathOf("stderr"));
  RunResult result;
  Started shell("/bin/sh", {"-c", command});
  const int status = shell.Wait();
  result.status = shell.Signaled() ? -1 : status;
  if (setup.output.empty()) result.out = ReadBytes(io.PathOf("stdout")).value_or("");
  result.err = ReadBytes(io.PathOf("stderr")).value_or("");
  return result;
}

std::string JoinPath(std::string_view folder, std::string_view name, char separator) {
  std::string out(folder);
  if (out.empty() || out.back() != separator) out += separator;
  return out + std::string(name);
}

}  // namespace TestFiles
