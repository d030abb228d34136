// The bundled samples: the maker writes exactly the builder's bytes, and every file is real
// MPEG audio that a decoder plays as a few seconds of silence.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "tests/support/TestFiles.h"
#include "tools/samples/SampleBuilder.h"

namespace {

namespace fs = std::filesystem;

TEST(Samples, MakerWritesEveryBundledFileAndRejectsBadUsage) {
  const auto bin = TestFiles::BinDir();
  if (!bin) {
    GTEST_SKIP() << "no program folder (TAGLOOM_BIN)";
  }
  const std::string maker = (*bin / "tagloom-make-samples").string();
  TestFiles::TempDir dir;
  const fs::path out = dir.Path() / "new" / "Samples";
  const auto made = TestFiles::Run(maker, {out.string()});
  ASSERT_EQ(made.status, 0) << made.err;
  const auto samples = SampleBuilder::BundledSamples();
  EXPECT_GE(samples.size(), 10u);
  EXPECT_LE(samples.size(), 12u);
  size_t files = 0;
  for (const auto& entry : fs::directory_iterator(out)) {
    (void)entry;
    ++files;
  }
  EXPECT_EQ(files, samples.size());  // no temporary file left behind
  for (const auto& sample : samples) {
    EXPECT_EQ(TestFiles::ReadBytes(out / sample.name), sample.bytes) << sample.name;
    EXPECT_LT(sample.bytes.size(), 64u * 1024) << sample.name;
  }

  EXPECT_EQ(TestFiles::Run(maker, {}).status, 2);
  EXPECT_EQ(TestFiles::Run(maker, {"a", "b"}).status, 2);
  // A folder that cannot be made: a regular file stands in its way.
  const std::string blocker = dir.Write("blocker", "x");
  const auto blocked = TestFiles::Run(maker, {blocker + "/Samples"});
  EXPECT_EQ(blocked.status, 1);
  EXPECT_FALSE(blocked.err.empty());
}

TEST(Samples, DecodeAsSilenceWithMpg123) {
  const auto samples = TestFiles::SamplesDir();
  if (!samples) {
    GTEST_SKIP() << "no sample folder (TAGLOOM_SAMPLES)";
  }
  if (!TestFiles::HasProgram("mpg123")) {
    GTEST_SKIP() << "mpg123 is not installed (scripts/deps.sh installs it)";
  }
  size_t checked = 0;
  for (const auto& entry : fs::directory_iterator(*samples)) {
    if (entry.path().extension() != ".mp3") continue;
    ++checked;
    SCOPED_TRACE(entry.path().filename().string());
    // -s: raw 16-bit samples on standard output; -m: one channel, so the size gives the time.
    const auto run = TestFiles::Run("mpg123", {"-q", "-m", "-s", entry.path().string()});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(std::all_of(run.out.begin(), run.out.end(), [](char c) { return c == 0; }));
    const bool mpeg2 = entry.path().filename().string().find("MPEG-2") != std::string::npos;
    const double seconds = static_cast<double>(run.out.size()) / 2 / (mpeg2 ? 22050 : 44100);
    EXPECT_NEAR(seconds, 3.0, 0.1);
  }
  EXPECT_GE(checked, 10u);
}

}  // namespace
