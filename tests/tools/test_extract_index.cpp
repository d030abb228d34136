// `extract --index` and `dump --index` against the same runs without it: every output byte for
// byte the same, on the first run and the next, whatever happened to the files or the index in
// between; and `changes`, which lists what a run would read again.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/TestFiles.h"
#include "tools/samples/SampleBuilder.h"

namespace {

namespace fs = std::filesystem;
namespace sb = SampleBuilder;

std::string Cli() { return (*TestFiles::BinDir() / "tagloom-cli").string(); }

TestFiles::RunResult Tool(const std::vector<std::string>& args) {
  return TestFiles::Run(Cli(), args);
}

std::vector<std::string> With(std::vector<std::string> args, std::vector<std::string> more) {
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

// The lines on standard error that speak of the index.
int IndexLines(const std::string& err) {
  int lines = 0;
  for (size_t at = 0; (at = err.find("index '", at)) != std::string::npos; ++at) ++lines;
  return lines;
}

// Files made for these tests: legacy bytes for --legacy-text, pictures, lyrics, a truncated one.
void MakeFiles(const std::string& folder) {
  fs::create_directories(folder + "/sub");
  const std::string audio = sb::Silence(sb::kMpeg1, 2.0);
  const auto write = [&](const std::string& name, const std::string& bytes) {
    std::ofstream(folder + "/" + name, std::ios::binary) << bytes;
  };
  sb::Id3v1Fields v1;
  v1.title = "\xcf\xf0\xe8\xe2\xe5\xf2 \xec\xe8\xf0";  // cp1251
  v1.artist = "\xe1\xe5\xeb\xfb\xe9";
  v1.track = 3;
  v1.genre = 17;
  write("cyrillic.mp3", audio + sb::Id3v1(v1));
  const std::string frames =
      sb::Frame(3, "TIT2", sb::TextBody(sb::Encoding::Utf16, u"T\u00eftle")) +
      sb::Frame(3, "TPE1", sb::TextBody(sb::Encoding::Latin1, u"Art\u00e9")) +
      sb::Frame(3, "APIC",
                sb::PictureBody(3, sb::Encoding::Latin1, "image/png", 3, u"front", "PNGDATA")) +
      sb::Frame(3, "APIC",
                sb::PictureBody(3, sb::Encoding::Latin1, "image/jpeg", 4, u"back", "JPGDATA"));
  write("sub/pictures.mp3", sb::Id3v2Tag(3, frames) + audio);
  write("sub/lyrics.mp3",
        audio + sb::Lyrics3v2({{"LYR", std::string(3000, 'l')}, {"ETT", "Lyrics title"}}) +
            sb::Id3v1({"v1 title", "v1 artist", "", "1999", "", 1, 3}));
  write("sub/cut.mp3", sb::Id3v2Tag(3, frames).substr(0, 40));
  write("empty.mp3", "");
}

class ExtractIndexTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!TestFiles::BinDir()) GTEST_SKIP() << "TAGLOOM_BIN names the program";
    made = dir.PathOf("made");
    MakeFiles(made);
    index = dir.PathOf("index.db");
    // Still long enough that a run keeps them for the next to take.
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));
  }

  // The run without the index, then twice with it: the same output, status and messages.
  void ExpectSame(const std::vector<std::string>& args, const std::string& what) {
    const TestFiles::RunResult plain = Tool(args);
    for (int round = 0; round < 2; ++round) {
      std::vector<std::string> indexed = {args.front(), "--index", index};
      indexed.insert(indexed.end(), args.begin() + 1, args.end());
      const TestFiles::RunResult got = Tool(indexed);
      EXPECT_EQ(got.status, plain.status) << what << " round " << round;
      EXPECT_TRUE(got.out == plain.out) << what << " round " << round;
      EXPECT_EQ(got.err, plain.err) << what << " round " << round;
    }
  }

  TestFiles::TempDir dir;
  std::string made;
  std::string index;
};

// Every column the catalogue has, as --columns takes them.
std::string EveryColumn() {
  const TestFiles::RunResult listed = Tool({"extract", "--list-columns"});
  std::string columns;
  std::istringstream lines(listed.out);
  for (std::string line; std::getline(lines, line);)
    if (line.rfind("  ", 0) == 0) (columns += columns.empty() ? "" : ",") += line.substr(2);
  return columns;
}

std::vector<std::vector<std::string>> Runs(const std::string& every) {
  return {
      {"--format", "json"},
      {"--format", "csv"},
      {"--format", "text"},
      {"--format", "clipboard"},
      {"--format", "json", "--columns", every},
      {"--format", "csv", "--columns", every, "--jobs", "3"},
      {"--format", "json", "--columns", every, "--legacy-text", "detect"},
      {"--format", "text", "--columns", "Title,Artist,Sources,Decoded as", "--legacy-text",
       "windows-1251"},
      {"--format", "csv", "--columns", "Title,Conflicts,Pictures", "--legacy-text", "koi8-r"},
      {"--format", "json", "--sort", "Title:desc", "--jobs", "1"},
      {"--format", "text", "--columns", every, "--sort", "Duration (exact)"},
      {"--format", "csv", "--summary", "--jobs", "2"},
      {"--format", "text", "--summary", "--legacy-text", "detect"},
  };
}

TEST_F(ExtractIndexTest, OutputIsTheSameWithAndWithoutTheIndex) {
  const std::string every = EveryColumn();
  ASSERT_GT(every.size(), 200u);
  std::vector<std::string> folders = {made};
  if (TestFiles::SamplesDir()) folders.push_back(TestFiles::SamplesDir()->string());
  // One index serves all the runs, as it would a user changing options between them.
  for (const std::vector<std::string>& options : Runs(every)) {
    std::vector<std::string> args = With({"extract"}, options);
    args.insert(args.end(), folders.begin(), folders.end());
    ExpectSame(args, options[1] + " " + (options.size() > 2 ? options[2] : ""));
  }
  std::vector<std::string> dumped = {"dump"};
  for (const auto& entry : fs::recursive_directory_iterator(made))
    if (entry.is_regular_file()) dumped.push_back(entry.path().string());
  ExpectSame(dumped, "dump");
  struct stat st {};
  ASSERT_EQ(::stat(index.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(ExtractIndexTest, OutputIsTheSameOverThePeersCorpus) {
  if (!TestFiles::PeersDir()) GTEST_SKIP() << "TAGLOOM_PEERS names the peers' corpus";
  const std::string peers = TestFiles::PeersDir()->string();
  const std::string every = EveryColumn();
  for (const std::vector<std::string>& options : Runs(every))
    ExpectSame(With(With({"extract"}, options), {peers}), options[1]);
  std::vector<std::string> dumped = {"dump"};
  for (const auto& entry : fs::recursive_directory_iterator(peers))
    if (entry.is_regular_file() && entry.path().extension() == ".mp3")
      dumped.push_back(entry.path().string());
  ExpectSame(dumped, "dump");
}

// Rows kept whole follow everything a line shows: the format and columns, the code page of
// legacy text, the path as given, the time zone of the times shown, and the file itself.
TEST_F(ExtractIndexTest, KeptRowsFollowEverythingALineShows) {
  const std::string every = EveryColumn();
  const auto same = [&](const TestFiles::RunSetup& setup, std::vector<std::string> options,
                        const std::string& path, const std::string& what) {
    options.push_back(path);
    const TestFiles::RunResult plain = TestFiles::Run(setup, Cli(), With({"extract"}, options));
    const TestFiles::RunResult got =
        TestFiles::Run(setup, Cli(), With({"extract", "--index", index}, options));
    EXPECT_EQ(got.status, plain.status) << what;
    EXPECT_TRUE(got.out == plain.out) << what << "\n" << got.out << "\n" << plain.out;
    EXPECT_EQ(got.err, plain.err) << what;
  };
  const std::vector<std::string> json = {"--format", "json", "--columns", every};
  const std::vector<std::string> csv = {"--format", "csv", "--columns", every};
  // Each shape in turn takes the place of the other's rows, made from the reads kept beside them.
  for (int round = 0; round < 2; ++round) {
    same({}, json, made, "json");
    same({}, csv, made, "csv");
    same({}, With(csv, {"--csv-safe"}), made, "csv-safe");
  }
  same({}, With(json, {"--legacy-text", "windows-1251"}), made, "windows-1251");
  same({}, With(json, {"--legacy-text", "windows-1251"}), made, "windows-1251 again");
  same({}, With(json, {"--legacy-text", "koi8-r"}), made, "koi8-r");
  same({}, {"--format", "json", "--columns", "Title,Full path"}, made, "two columns");
  same({}, {"--format", "json", "--columns", "Full path,Title"}, made, "in another order");
  same({.folder = made}, json, ".", "relative");
  same({.folder = made + "/sub"}, json, "..", "relative from below");
  same({.folder = made + "/sub"}, json, "../", "relative with a separator");
  const std::vector<std::string> times = {"--format", "csv", "--columns", "Filename,Modified"};
  same({.prefix = "TZ=UTC0"}, times, made, "UTC");
  same({.prefix = "TZ=JST-9"}, times, made, "nine hours east");
  same({.prefix = "TZ=JST-9"}, times, made, "nine hours east again");
  ASSERT_EQ(Tool({"set", made + "/cyrillic.mp3", "--title", "Set title"}).status, 0);
  same({}, json, made, "a file changed");
  same({}, json, made, "a file changed, again");
}

// Each way a file changes shows in the next run; `changes` names it before that run.
TEST_F(ExtractIndexTest, EveryChangeIsSeen) {
  const std::vector<std::string> run = {
      "extract", "--format", "json", "--columns", "Full path,Title,Artist,Size,Status", made};
  const auto changes = [&] { return Tool({"changes", "--index", index, made}).out; };
  const auto expect_same = [&](const char* what) {
    // Files changed in the last two seconds are read again by every run: past that, only the
    // status can tell the index that they changed.
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));
    const TestFiles::RunResult plain = Tool(run);
    const TestFiles::RunResult got =
        Tool(With({"extract", "--index", index}, {run.begin() + 1, run.end()}));
    EXPECT_TRUE(got.out == plain.out) << what << "\n" << got.out << "\n" << plain.out;
    EXPECT_EQ(got.status, plain.status) << what;
    EXPECT_EQ(changes(), "") << what;
  };
  expect_same("first run");
  const std::string lyrics = made + "/sub/lyrics.mp3";
  const std::string pictures = made + "/sub/pictures.mp3";
  const std::string cyrillic = made + "/cyrillic.mp3";

  // set keeps the modification time.
  ASSERT_EQ(Tool({"set", lyrics, "--title", "Set title"}).status, 0);
  EXPECT_EQ(changes(), "changed\t" + lyrics + "\n");
  expect_same("set");

  // The same size, the time put back as touch -r does.
  struct stat before {};
  ASSERT_EQ(::stat(cyrillic.c_str(), &before), 0);
  std::string bytes = *TestFiles::ReadBytes(cyrillic);
  bytes[bytes.size() - 125] = 'Z';
  std::ofstream(cyrillic, std::ios::binary | std::ios::trunc) << bytes;
  const timespec times[2] = {before.st_atim, before.st_mtim};
  ASSERT_EQ(::utimensat(AT_FDCWD, cyrillic.c_str(), times, 0), 0);
  EXPECT_EQ(changes(), "changed\t" + cyrillic + "\n");
  expect_same("same size, time put back");

  // Replaced by rename, with the same size and time.
  ASSERT_EQ(::stat(pictures.c_str(), &before), 0);
  bytes = *TestFiles::ReadBytes(pictures);
  bytes[20] ^= 1;
  const std::string beside = made + "/sub/.new";
  std::ofstream(beside, std::ios::binary) << bytes;
  const timespec same[2] = {before.st_atim, before.st_mtim};
  ASSERT_EQ(::utimensat(AT_FDCWD, beside.c_str(), same, 0), 0);
  ASSERT_EQ(::rename(beside.c_str(), pictures.c_str()), 0);
  EXPECT_EQ(changes(), "changed\t" + pictures + "\n");
  expect_same("replaced by rename");

  // Deleted, and new.
  ASSERT_EQ(::unlink(lyrics.c_str()), 0);
  std::ofstream(made + "/new.mp3", std::ios::binary) << sb::Silence(sb::kMpeg2, 1.0);
  EXPECT_EQ(changes(), "new\t" + made + "/new.mp3\ngone\t" + lyrics + "\n");
  EXPECT_EQ(Tool({"changes", "--index", index, "--format", "csv", made}).out,
            "State,Path\r\nnew," + made + "/new.mp3\r\ngone," + lyrics + "\r\n");
  EXPECT_EQ(Tool({"changes", "--index", index, "--format", "json", made + "/new.mp3"}).out,
            "{\"State\":\"new\",\"Path\":\"" + made + "/new.mp3\"}\n");
  expect_same("deleted and new");
}

// What may become of a cache: the run goes on, says so once, and writes what it would without.
TEST_F(ExtractIndexTest, AnIndexInTroubleNeverChangesTheOutput) {
  const std::vector<std::string> run = {
      "extract", "--format", "csv", "--columns", "Full path,Title,Sources,Pictures", made};
  const TestFiles::RunResult plain = Tool(run);
  const auto indexed = [&](const std::string& file, const std::string& prefix = "") {
    return TestFiles::Run({"", prefix, ""}, Cli(),
                          With({"extract", "--index", file}, {run.begin() + 1, run.end()}));
  };
  const auto expect = [&](const TestFiles::RunResult& got, int lines, const char* what) {
    EXPECT_TRUE(got.out == plain.out) << what;
    EXPECT_EQ(got.status, plain.status) << what;
    EXPECT_EQ(IndexLines(got.err), lines) << what << ": " << got.err;
  };
  expect(indexed(index), 0, "made");

  // Not SQLite at all: moved aside and made anew.
  std::ofstream(index, std::ios::trunc) << std::string(5000, 'x');
  expect(indexed(index), 1, "not SQLite");
  EXPECT_TRUE(fs::exists(index + ".damaged"));
  expect(indexed(index), 0, "made anew");

  // Bytes overwritten in the middle, or the file cut: never a wrong row.
  const auto size = fs::file_size(index);
  {
    std::fstream f(index, std::ios::binary | std::ios::in | std::ios::out);
    f.seekp(static_cast<std::streamoff>(size / 2));
    f << std::string(size / 4, '\x55');
  }
  const TestFiles::RunResult overwritten = indexed(index);
  expect(overwritten, IndexLines(overwritten.err) > 1 ? 1 : IndexLines(overwritten.err),
         "overwritten");
  fs::resize_file(index, fs::file_size(index) / 2);
  const TestFiles::RunResult cut = indexed(index);
  expect(cut, IndexLines(cut.err) > 1 ? 1 : IndexLines(cut.err), "cut");
  expect(indexed(index), 0, "after the damage");

  // Written by a newer Tagloom: refused and left as it is.
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(index.c_str(), &db), SQLITE_OK);
  sqlite3_exec(db, "PRAGMA user_version=99", nullptr, nullptr, nullptr);
  sqlite3_close(db);
  const std::string newer = *TestFiles::ReadBytes(index);
  const TestFiles::RunResult refused = indexed(index);
  expect(refused, 1, "newer");
  EXPECT_NE(refused.err.find("newer Tagloom"), std::string::npos) << refused.err;
  EXPECT_TRUE(*TestFiles::ReadBytes(index) == newer);

  // A place that cannot hold it, and one that fills up (a file size limit, its signal ignored).
  expect(indexed("/proc/tagloom-index"), 1, "read-only place");
  expect(indexed(dir.PathOf("full.db"), "trap '' XFSZ; ulimit -f 4;"), 1, "full");
}

TEST_F(ExtractIndexTest, RunsSharingAnIndexOrKilledLeaveItTrusted) {
  const std::string peers =
      TestFiles::PeersDir() ? TestFiles::PeersDir()->string() : TestFiles::SamplesDir()->string();
  const std::vector<std::string> run = {
      "extract", "--format", "json", "--columns", "Full path,Title,Duration (exact),Sources",
      peers,     made};
  const TestFiles::RunResult plain = Tool(run);
  std::string args;
  for (size_t i = 1; i < run.size(); ++i) args += " " + TestFiles::ShellQuote(run[i]);
  const std::string cli =
      TestFiles::ShellQuote(Cli()) + " extract --index " + TestFiles::ShellQuote(index) + args;
  const std::string a = dir.PathOf("a.out"), b = dir.PathOf("b.out");
  // Two at once, twice: both fill it the first time, both take from it the second.
  for (int round = 0; round < 2; ++round) {
    const TestFiles::RunResult both =
        TestFiles::Run("/bin/sh", {"-c", cli + " >" + a + " & " + cli + " >" + b + " & wait"});
    EXPECT_TRUE(*TestFiles::ReadBytes(a) == plain.out) << round;
    EXPECT_TRUE(*TestFiles::ReadBytes(b) == plain.out) << round;
    EXPECT_EQ(IndexLines(both.err), 0) << both.err;
  }
  // Killed at several moments of a first run; the next run is as without the index.
  for (const char* delay : {"0.05", "0.2", "0.5"}) {
    fs::remove(index);
    TestFiles::Run("/bin/sh", {"-c", cli + " >/dev/null & p=$!; sleep " + std::string(delay) +
                                         "; kill -9 $p; wait"});
    const TestFiles::RunResult after =
        Tool(With({"extract", "--index", index}, {run.begin() + 1, run.end()}));
    EXPECT_TRUE(after.out == plain.out) << delay;
    EXPECT_EQ(IndexLines(after.err), 0) << after.err;
  }
}

}  // namespace
