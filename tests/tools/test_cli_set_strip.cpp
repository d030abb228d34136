// tagloom-cli set and strip as a user runs them: exit status, messages and the file afterwards.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include "tag/clsID3.h"
#include "tests/support/TestFiles.h"
#include "tools/samples/SampleBuilder.h"

namespace {

using namespace SampleBuilder;

class CliWrite : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto bin = TestFiles::BinDir();
    program_ = ((bin ? *bin : std::filesystem::path(".")) / "tagloom-cli").string();
    if (!std::filesystem::exists(program_)) GTEST_SKIP() << "no tagloom-cli at " << program_;
    std::string name = (std::filesystem::temp_directory_path() / "tagloom-cli-XXXXXX").string();
    folder_ = ::mkdtemp(name.data());
  }
  void TearDown() override {
    if (!folder_.empty()) std::filesystem::remove_all(folder_);
  }

  std::string Write(const std::string& name, std::string_view bytes) {
    const std::string path = (folder_ / name).string();
    std::ofstream(path, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
  }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  // Runs tagloom-cli with the arguments; returns the exit status and keeps standard error (and
  // standard output). `prefix` goes before the program: a folder change, a limit.
  int Run(const std::vector<std::string>& args, const std::string& prefix = "") {
    const TestFiles::RunResult run = TestFiles::Run({.prefix = prefix}, program_, args);
    stderr_ = run.err;
    stdout_ = run.out;
    return run.status;
  }
  static std::unique_ptr<clsID3> Tags(const std::string& path) {
    auto tag = std::make_unique<clsID3>();
    tag->SetFileName(path);
    return tag;
  }

  std::string program_;
  std::filesystem::path folder_;
  std::string stderr_;
  std::string stdout_;
};

TEST_F(CliWrite, UsageErrorsExitWithTwoAndTouchNothing) {
  const Bytes audio = SilentFrames(kMpeg1, 10);
  const std::string file = Write("a.mp3", audio);
  const std::vector<std::vector<std::string>> bad = {
      {"set"},
      {"set", file, "--bogus", "x"},
      {"set", file, "--title"},
      {"set", file, file, "--title", "x"},
      {"set", file, "--genre-id", "2147483648"},
      {"set", file, "--genre-id", "12x"},
      {"set", file, "--genre-id", ""},
      {"set", file, "--title", "\xC3\x28"},  // not UTF-8
      {"strip"},
  };
  for (const auto& args : bad) {
    EXPECT_EQ(Run(args), 2) << args.size();
    EXPECT_FALSE(stderr_.empty());
  }
  EXPECT_TRUE(Read(file) == audio);
}

TEST_F(CliWrite, FilesThatCannotBeReadOrWrittenExitWithOne) {
  EXPECT_EQ(Run({"set", (folder_ / "missing.mp3").string(), "--title", "x"}), 1);
  EXPECT_NE(stderr_.find("missing.mp3"), std::string::npos);
  EXPECT_EQ(Run({"set", folder_.string(), "--title", "x"}), 1);
  EXPECT_EQ(Run({"set", Write("b.mp3", "x"), "--lyrics-file", (folder_ / "none.txt").string()}), 1);

  // A write the engine refuses: the file is named, said to be unchanged, and is unchanged.
  const Bytes tagged = Id3v2Tag(3, Frame(3, "TIT2", Bytes("\0old", 4))) + SilentFrames(kMpeg1, 5);
  const std::string file = Write("c.mp3", tagged);
  const std::string twin = (folder_ / "twin.mp3").string();
  ASSERT_EQ(::link(file.c_str(), twin.c_str()), 0);
  EXPECT_EQ(Run({"set", file, "--title", "new"}), 1);
  EXPECT_NE(stderr_.find("not changed"), std::string::npos) << stderr_;
  EXPECT_EQ(Run({"strip", file}), 1);
  EXPECT_TRUE(Read(file) == tagged);

  // strip goes on past a bad file and still fails overall.
  const std::string good = Write("d.mp3", tagged);
  EXPECT_EQ(Run({"strip", (folder_ / "missing.mp3").string(), good}), 1);
  EXPECT_TRUE(Read(good) == SilentFrames(kMpeg1, 5));
}

TEST_F(CliWrite, EachMessageIsOneLineWhateverTheFileNameHolds) {
  const std::string odd = (folder_ / "a\r\nb\x1B.mp3").string();
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"strip", odd}, {"set", odd, "--title", "x"}, {"bogus\r"}}) {
    EXPECT_NE(Run(args), 0);
    EXPECT_EQ(stderr_.find('\r'), std::string::npos) << args[0];
    EXPECT_EQ(stderr_.find('\x1B'), std::string::npos) << args[0];
  }
  EXPECT_EQ(Run({"strip", odd}), 1);
  EXPECT_EQ(stderr_, "tagloom-cli strip: cannot read '" + folder_.string() +
                         "/a\\r\\nb\\x1B.mp3': No such file or directory\n");
}

TEST_F(CliWrite, SetWritesTheGivenFieldsAndEmptyTextRemovesOne) {
  const std::string file = Write("a.mp3", SilentFrames(kMpeg1, 10));
  const std::string lyrics = Write("lyrics.txt", "\xEF\xBB\xBFone\r\ntwo\nthree\r");
  ASSERT_EQ(Run({"set",           file,       "--title",         "Grüße ☃",
                 "--artist",      "A",        "--album",         "B",
                 "--track",       "4",        "--tracks",        "10",
                 "--year",        "1999",     "--comment",       "C",
                 "--composer",    "D",        "--band",          "E",
                 "--conductor",   "F",        "--copyright",     "G",
                 "--genre",       "Chiptune", "--genre-id",      "-5",
                 "--lyrics-file", lyrics,     "--publisher-url", "http://x/"}),
            0)
      << stderr_;
  auto tag = Tags(file);
  EXPECT_EQ(tag->Title(), u"Grüße ☃");
  EXPECT_EQ(tag->Artist(), u"A");
  EXPECT_EQ(tag->TrackNumber(), u"4");
  EXPECT_EQ(tag->TracksTotal(), u"10");
  EXPECT_EQ(tag->Year(), u"1999");
  EXPECT_EQ(tag->Comments(), u"C");
  EXPECT_EQ(tag->Composer(), u"D");
  EXPECT_EQ(tag->Conductor(), u"F");
  EXPECT_EQ(tag->Lyrics(), u"one\r\ntwo\nthree\r");
  EXPECT_EQ(tag->GenreID(), -5);
  EXPECT_EQ(tag->Genre(), u"Chiptune");
  EXPECT_EQ(tag->PublisherURL(), u"http://x/");

  ASSERT_EQ(Run({"set", file, "--artist", "", "--genre-id", "2147483647"}), 0) << stderr_;
  const std::string bytes = Read(file);
  EXPECT_EQ(bytes.find("TPE1"), std::string::npos);
  tag = Tags(file);
  EXPECT_EQ(tag->Artist(), u"");
  EXPECT_EQ(tag->Title(), u"Grüße ☃");
  EXPECT_EQ(tag->GenreID(), 2147483647);

  ASSERT_EQ(Run({"strip", file}), 0) << stderr_;
  EXPECT_TRUE(Read(file) == SilentFrames(kMpeg1, 10));
}

TEST_F(CliWrite, LyricsFilesAreReadOnlyAsFarAsTheLargestFrame) {
  const Bytes audio = SilentFrames(kMpeg1, 10);
  const std::string file = Write("a.mp3", audio);
  // A device that never ends is cut off at the limit, well inside a memory limit of 1 GB.
  EXPECT_EQ(Run({"set", file, "--lyrics-file", "/dev/zero"}, TestFiles::kMemoryCap), 1);
  EXPECT_NE(stderr_.find("largest frame a tag can carry (268435435 bytes)"), std::string::npos)
      << stderr_;
  EXPECT_TRUE(Read(file) == audio);
}

TEST_F(CliWrite, EveryCommandHonoursHelpAndTheEndOfOptions) {
  const Bytes tagged = Id3v2Tag(3, Frame(3, "TIT2", Bytes("\0old", 4))) + SilentFrames(kMpeg1, 5);
  const std::string plain = Write("plain.mp3", tagged);
  const std::string file = Write("-dash.mp3", tagged);
  const std::string in_folder = "cd " + TestFiles::ShellQuote(folder_.string()) + " &&";
  for (const std::vector<std::string>& args : {std::vector<std::string>{"set", plain, "--help"},
                                               {"set", "-h"},
                                               {"strip", "--help"},
                                               {"strip", plain, "-h"}}) {
    EXPECT_EQ(Run(args, in_folder), 0) << args[1];
    EXPECT_EQ(stdout_.rfind("usage: tagloom-cli " + args[0], 0), 0u) << stdout_;
    EXPECT_TRUE(stderr_.empty()) << stderr_;
  }
  EXPECT_TRUE(Read(plain) == tagged);
  // After "--" every argument is a file, whatever it looks like.
  EXPECT_EQ(Run({"set", "--title", "new", "--", "-dash.mp3"}, in_folder), 0) << stderr_;
  EXPECT_EQ(Tags(file)->Title(), u"new");
  EXPECT_EQ(Run({"strip", "--", "-dash.mp3"}, in_folder), 0) << stderr_;
  EXPECT_TRUE(stderr_.empty()) << stderr_;
  EXPECT_TRUE(Read(file) == SilentFrames(kMpeg1, 5));
  // Without it, such a name is an unknown option, and nothing is touched.
  EXPECT_EQ(Run({"strip", "-dash.mp3"}, in_folder), 2);
  EXPECT_EQ(Run({"set", "-dash.mp3", "--title", "x"}, in_folder), 2);
  EXPECT_TRUE(Read(file) == SilentFrames(kMpeg1, 5));
}

// A file that is neither tagged nor MPEG audio is no MP3 however it is named: a tag at its
// start would break it (a script would no longer run). Also through a link planted in its place.
TEST_F(CliWrite, SetLeavesFilesThatAreNoMp3Alone) {
  const std::string script_text = "#!/bin/sh\necho hello\n";
  const std::string script = Write("run.sh", script_text);
  ::chmod(script.c_str(), 0755);
  const std::string link = (folder_ / "song.mp3").string();
  ASSERT_EQ(::symlink(script.c_str(), link.c_str()), 0);
  for (const std::string& file : {script, link, Write("notes.mp3", "just some text\n")}) {
    EXPECT_EQ(Run({"set", file, "--title", "x"}), 1) << file;
    EXPECT_NE(stderr_.find("no tag and holds no MPEG audio"), std::string::npos) << stderr_;
    EXPECT_NE(stderr_.find("--any-file"), std::string::npos) << stderr_;
  }
  EXPECT_EQ(Read(script), script_text);
  EXPECT_EQ(Read((folder_ / "notes.mp3").string()), "just some text\n");
  // Tagged files and audio without tags are written as before; the option writes anything.
  const std::string audio = Write("bare.mp3", SilentFrames(kMpeg1, 5));
  EXPECT_EQ(Run({"set", audio, "--title", "x"}), 0) << stderr_;
  const std::string tagged = Write("tagged.bin", Id3v2Tag(3, Frame(3, "TIT2", Bytes("\0a", 2))));
  EXPECT_EQ(Run({"set", tagged, "--title", "x"}), 0) << stderr_;
  const std::string text = Write("text.mp3", "text");
  EXPECT_EQ(Run({"set", "--any-file", text, "--title", "x"}), 0) << stderr_;
  EXPECT_EQ(Tags(text)->Title(), u"x");
}

// chattr flags belong to the inode, which the write replaces: they are carried over.
TEST_F(CliWrite, SetKeepsTheFlagsChattrSet) {
  const std::string file = Write("flags.mp3", SilentFrames(kMpeg1, 5));
  const int fd = ::open(file.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  int flags = 0;
  const bool supported =
      ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
      (flags |= FS_NODUMP_FL | FS_NOATIME_FL, ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0);
  ::close(fd);
  if (!supported) GTEST_SKIP() << "the file system keeps no inode flags";
  ASSERT_EQ(Run({"set", file, "--title", "x"}), 0) << stderr_;
  const int after = ::open(file.c_str(), O_RDONLY);
  int kept = 0;
  ASSERT_EQ(::ioctl(after, FS_IOC_GETFLAGS, &kept), 0);
  ::close(after);
  EXPECT_EQ(kept & (FS_NODUMP_FL | FS_NOATIME_FL), FS_NODUMP_FL | FS_NOATIME_FL);
  EXPECT_EQ(Tags(file)->Title(), u"x");
}

}  // namespace
