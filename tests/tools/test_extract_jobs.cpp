// `tagloom-cli extract --jobs N` over the peers' corpus: however many threads read ahead, every
// format comes out byte for byte as the one-thread run writes it, with the same messages and
// the same exit status.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/TestFiles.h"

namespace {

TestFiles::RunResult Extract(const std::vector<std::string>& args) {
  std::vector<std::string> all = {"extract"};
  all.insert(all.end(), args.begin(), args.end());
  return TestFiles::Run((*TestFiles::BinDir() / "tagloom-cli").string(), all);
}

class ExtractJobsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!TestFiles::BinDir() || !TestFiles::PeersDir())
      GTEST_SKIP() << "TAGLOOM_BIN and TAGLOOM_PEERS name the program and the peers' corpus";
    peers = TestFiles::PeersDir()->string();
  }
  std::string peers;
};

TEST_F(ExtractJobsTest, EveryFormatIsTheSameForEveryNumberOfJobs) {
  const std::vector<std::vector<std::string>> runs = {
      {"--format", "json"},
      {"--format", "csv"},
      {"--format", "text"},
      {"--format", "clipboard"},
      {"--format", "csv", "--columns", "Full path,Status,Duration,Bit rate,Pictures,Modified"},
      {"--format", "json", "--sort", "Title:desc"},
      // Every thread detects and decodes with the run's one decoder; totals add up in list order.
      {"--format", "json", "--legacy-text", "detect", "--columns", "Filename,Title,Decoded as"},
      {"--format", "text", "--legacy-text", "koi8-r", "--columns", "Title,Artist,Sources"},
      {"--format", "csv", "--summary"},
      // TagLib reads on each thread with objects of its own.
      {"--format", "json", "--shell-properties"},
  };
  for (const std::vector<std::string>& options : runs) {
    std::vector<std::string> one = options;
    one.insert(one.end(), {"--jobs", "1", peers});
    const TestFiles::RunResult expected = Extract(one);
    ASSERT_GT(expected.out.size(), 1000u) << options[1];
    for (const char* jobs : {"2", "3", "8"}) {
      std::vector<std::string> many = options;
      many.insert(many.end(), {"--jobs", jobs, peers});
      const TestFiles::RunResult got = Extract(many);
      EXPECT_EQ(got.status, expected.status) << options[1] << " --jobs " << jobs;
      EXPECT_TRUE(got.out == expected.out) << options[1] << " --jobs " << jobs;
      EXPECT_EQ(got.err, expected.err) << options[1] << " --jobs " << jobs;
    }
  }
}

// Lines of `text` holding `what`.
size_t Lines(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

TestFiles::RunResult Limited(const std::string& limit, const std::vector<std::string>& args) {
  std::vector<std::string> all = {"extract"};
  all.insert(all.end(), args.begin(), args.end());
  return TestFiles::Run(TestFiles::RunSetup{{}, limit},
                        (*TestFiles::BinDir() / "tagloom-cli").string(), all);
}

// Threads that run out of file descriptors (loading code pages takes some) leave rows empty:
// each such file is named with the reason its own read met, and the run says not all was read.
TEST_F(ExtractJobsTest, FilesLeftUnreadForLackOfDescriptorsAreNamed) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  // UBSan checks a virtual call's object by testing its memory through a pipe: with no
  // descriptor left it cannot, and reports live objects (the run's own teller, its shape) as
  // "invalid vptr". The plain tree runs this; the sanitizer trees leave it out.
  GTEST_SKIP() << "the sanitizers' own checks need descriptors this run takes away";
#endif
  // How many rows run short depends on the threads' timing: a few limits make some likely. The
  // program inherits the descriptors open here (a test runner may hold some), so the limits
  // count from those.
  size_t open = 0;
  for ([[maybe_unused]] const auto& fd : std::filesystem::directory_iterator("/proc/self/fd"))
    ++open;
  for (const size_t more : {1, 2, 3}) {
    const std::string limit = std::to_string(open + more);
    const TestFiles::RunResult r = Limited("prlimit --nofile=" + limit + " --",
                                           {"--format", "csv", "--jobs", "8", "--legacy-text",
                                            "detect", "--columns", "Filename,Status", peers});
    const size_t empty = Lines(r.out, "unreadable: Too many open files");
    EXPECT_EQ(Lines(r.err, "': Too many open files; its row stays empty"), empty) << limit;
    // A folder listed while the threads hold the descriptors may fail too, and is told.
    EXPECT_EQ(r.status, r.err.empty() ? 0 : 3) << limit;
  }
}

// Under a cap on memory, threads that cannot start leave the reading to fewer, and a file whose
// row cannot be made is that file's failure: every file keeps its row, and nothing aborts.
TEST_F(ExtractJobsTest, AMemoryCapCostsThreadsAndFilesNeverTheRun) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "a sanitizer reserves more address space than the cap allows";
#endif
  const std::vector<std::string> args = {"--format",        "csv", "--jobs", "8", "--columns",
                                         "Filename,Status", peers};
  const TestFiles::RunResult whole = Extract(args);
  for (const char* cap : {"120000", "150000", "180000"}) {
    const TestFiles::RunResult r = Limited(std::string("prlimit --as=") + cap + "000 --", args);
    // Out of memory for its own work, the program may end with a message; it never aborts, a
    // run that ends well has every file's row, and one that lost a file's row names the file.
    EXPECT_NE(r.status, -1) << cap;
    if (r.status == 0) {
      EXPECT_EQ(Lines(r.out, "\n"), Lines(whole.out, "\n")) << cap;
    } else if (r.status == 3) {
      EXPECT_GT(Lines(r.err, "its row stays empty"), 0u) << cap << r.err;
    }
  }
}

TEST_F(ExtractJobsTest, JobsMustBeAPositiveCount) {
  for (const char* bad : {"0", "-1", "two", "", "1025", "99999999999"}) {
    const TestFiles::RunResult r = Extract({"--jobs", bad, peers});
    EXPECT_EQ(r.status, 2) << bad;
    EXPECT_NE(r.err.find("--jobs takes a number from 1 to 1024"), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());
  }
}

}  // namespace
