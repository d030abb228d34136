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
      // Each thread detects and decodes with a decoder of its own; totals add up in list order.
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

TEST_F(ExtractJobsTest, JobsMustBeAPositiveCount) {
  for (const char* bad : {"0", "-1", "two", "", "1025", "99999999999"}) {
    const TestFiles::RunResult r = Extract({"--jobs", bad, peers});
    EXPECT_EQ(r.status, 2) << bad;
    EXPECT_NE(r.err.find("--jobs takes a number from 1 to 1024"), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());
  }
}

}  // namespace
