// tagloom-cli set and strip under pressure: writers at once, signals half-way, extended
// attributes, and memory that grows with the largest frame only.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <thread>

#include "tag/clsID3.h"
#include "tests/support/TestFiles.h"
#include "tools/samples/SampleBuilder.h"

namespace {

using namespace SampleBuilder;

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class CliWrites : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto bin = TestFiles::BinDir();
    program_ = ((bin ? *bin : std::filesystem::path(".")) / "tagloom-cli").string();
    if (!std::filesystem::exists(program_)) GTEST_SKIP() << "no tagloom-cli at " << program_;
  }

  // Starts tagloom-cli with the arguments, standard error into `err` (when not empty).
  std::unique_ptr<TestFiles::Started> Start(const std::vector<std::string>& args,
                                            const std::string& err = "") {
    auto started = std::make_unique<TestFiles::Started>(program_, args, err);
    EXPECT_EQ(started->StartError(), 0);
    return started;
  }

  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.Path()))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  std::string program_;
  TestFiles::TempDir dir_;
};

struct Field {
  const char* option;
  const std::u16string& (clsID3::*get)() const noexcept;
};

// Many writers on one small file at once, each changing a field of its own: every one that says
// it succeeded finds its change in the file at the end.
TEST_F(CliWrites, WritersAtOnceLoseNoChange) {
  const Field fields[] = {{"--title", &clsID3::Title},
                          {"--artist", &clsID3::Artist},
                          {"--album", &clsID3::Album},
                          {"--composer", &clsID3::Composer},
                          {"--band", &clsID3::Band},
                          {"--conductor", &clsID3::Conductor},
                          {"--copyright", &clsID3::Copyright},
                          {"--lyricist", &clsID3::Lyricist},
                          {"--publisher", &clsID3::Publisher},
                          {"--isrc", &clsID3::ISRC},
                          {"--encoded-by", &clsID3::EncodedBy},
                          {"--original-album", &clsID3::OriginalAlbum}};
  const std::string file = dir_.Write(
      "song.mp3", Id3v2Tag(3, Frame(3, "TIT2", Bytes("\0t", 2))) + SilentFrames(kMpeg1, 4));
  int succeeded = 0;
  for (int round = 0; round < 6; ++round) {
    std::vector<std::unique_ptr<TestFiles::Started>> writers;
    for (size_t i = 0; i < std::size(fields); ++i) {
      const std::string value = "r" + std::to_string(round) + "-" + std::to_string(i);
      writers.push_back(
          Start({"set", file, fields[i].option, value}, dir_.PathOf("err" + std::to_string(i))));
    }
    std::vector<int> status;
    for (const auto& writer : writers) status.push_back(writer->Wait());
    clsID3 tag;
    tag.SetFileName(file);
    for (size_t i = 0; i < std::size(fields); ++i) {
      SCOPED_TRACE(fields[i].option);
      const std::string err = ReadFile(dir_.PathOf("err" + std::to_string(i)));
      if (status[i] != 0) {
        EXPECT_NE(err.find("not changed"), std::string::npos) << err;
        continue;
      }
      ++succeeded;
      const std::string value = "r" + std::to_string(round) + "-" + std::to_string(i);
      EXPECT_EQ((tag.*fields[i].get)(), std::u16string(value.begin(), value.end()));
    }
  }
  EXPECT_GT(succeeded, 0);
  for (const std::string& name : Names())
    EXPECT_TRUE(name == "song.mp3" || name.rfind("err", 0) == 0) << name;
}

// A writer stopped by a signal while it writes the new file leaves the original whole and no
// file beside it, whatever the signal.
TEST_F(CliWrites, AWriterStoppedHalfWayLeavesNothing) {
  const Bytes original = Id3v2Tag(3, Frame(3, "TIT2", Bytes("\0old", 4))) +
                         SilentFrames(kMpeg1, 160000);  // about 64 MB
  const std::string file = dir_.Write("big.mp3", original);
  const std::string folder = dir_.Path().string() + "/";
  for (const int signal : {SIGTERM, SIGINT, SIGKILL}) {
    SCOPED_TRACE(signal);
    bool caught = false;
    for (int attempt = 0; attempt < 5 && !caught; ++attempt) {
      const auto writer = Start({"set", file, "--title", "new"});
      // Until the new file is open: a descriptor on something in the folder besides the original.
      const std::string fds = "/proc/" + std::to_string(writer->Pid()) + "/fd";
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
      while (!caught && std::chrono::steady_clock::now() < deadline) {
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(fds, ec)) {
          const auto target = std::filesystem::read_symlink(entry.path(), ec).string();
          if (!ec && target.rfind(folder, 0) == 0 && target != file) caught = true;
        }
        if (ec && !writer->Running()) break;  // finished: try again
      }
      if (caught) {
        ::kill(writer->Pid(), signal);
        EXPECT_EQ(writer->Wait(), 128 + signal);
      } else {
        writer->Wait();
        dir_.Write("big.mp3", original);  // finished before it was seen: start again
      }
    }
    ASSERT_TRUE(caught) << "never caught the writer half-way";
    const std::string after = ReadFile(file);
    EXPECT_TRUE(after == original);
    EXPECT_EQ(Names(), std::vector<std::string>{"big.mp3"});
  }
}

// A rating a file manager keeps in a user attribute outlives set and strip.
TEST_F(CliWrites, UserAttributesStay) {
  const std::string file = dir_.Write("a.mp3", SilentFrames(kMpeg1, 10));
  if (::setxattr(file.c_str(), "user.rating", "4", 1, 0) != 0)
    GTEST_SKIP() << "no user attributes in " << dir_.Path();
  auto rating = [&] {
    char value[16];
    const ssize_t size = ::getxattr(file.c_str(), "user.rating", value, sizeof value);
    return size < 0 ? std::string("(none)") : std::string(value, static_cast<size_t>(size));
  };
  EXPECT_EQ(Start({"set", file, "--title", "x"})->Wait(), 0);
  EXPECT_EQ(rating(), "4");
  EXPECT_EQ(Start({"strip", file})->Wait(), 0);
  EXPECT_EQ(rating(), "4");
}

// With the data limit a little above one picture, set and dump of a file holding it still work:
// neither holds more than one copy of it.
TEST_F(CliWrites, MemoryGrowsWithOnePictureOnly) {
#ifdef TAGLOOM_TEST_SANITIZED
  GTEST_SKIP() << "a sanitizer's shadow memory counts against the data limit";
#endif
  const size_t size = 48u << 20;
  Bytes picture = "\x89PNG" + Bytes(size - 4, '\0');
  for (size_t i = 0; i < picture.size(); i += 4093) picture[i] = static_cast<char>(i * 31);
  const Bytes body = Bytes("\0image/png\0\x03\0", 13) + picture;
  const std::string file =
      dir_.Write("pic.mp3", Id3v2Tag(3, Frame(3, "APIC", body)) + SilentFrames(kMpeg1, 10));
  const long limit_kb = static_cast<long>((size + (40u << 20)) >> 10);
  const TestFiles::RunSetup limited{.prefix = "ulimit -d " + std::to_string(limit_kb) + "; exec"};
  ASSERT_EQ(TestFiles::Run(limited, program_, {"set", file, "--title", "x"}).status, 0);
  const TestFiles::RunResult dump = TestFiles::Run(limited, program_, {"dump", file});
  ASSERT_EQ(dump.status, 0);
  clsID3 tag;
  tag.SetFileName(file);
  EXPECT_EQ(tag.Title(), u"x");
  ASSERT_EQ(tag.AttachedPictures()->Count(), 1);
  EXPECT_EQ(tag.AttachedPictures()->Item(1).size(), body.size() - 1);
  // The picture's base64 as the dump writes it, in full.
  const std::string& json = dump.out;
  const size_t start = json.find("\"AttachedPictures\":[\"");
  ASSERT_NE(start, std::string::npos);
  const size_t end = json.find('"', start + 21);
  EXPECT_EQ(end - (start + 21), (body.size() - 1 + 2) / 3 * 4);
  EXPECT_EQ(json.substr(start + 21, 16), "aW1hZ2UvcG5nAAMA");  // "image/png\0\x03\0"
}

}  // namespace

// A read that runs out of memory half-way keeps only part of the tag: set and strip must then
// leave the file alone, and dump must say the line is not whole. The picture is a hole in a
// sparse file, so it costs no disk.
TEST_F(CliWrites, HalfReadFileIsNeverWrittenBack) {
#ifdef TAGLOOM_TEST_SANITIZED
  GTEST_SKIP() << "a sanitizer's shadow memory counts against the data limit";
#endif
  const size_t picture = 48u << 20;
  const Bytes head = Frame(3, "TIT2", TextBody(Encoding::Latin1, u"Old")) + "APIC" +
                     BigEndian(picture, 4) + Bytes(2, '\0');
  const Bytes rest = Frame(3, "TPE1", TextBody(Encoding::Latin1, u"Artist"));
  const Bytes tag_header = "ID3" + Bytes("\x03\x00\x00", 3) +
                           SyncSafe(static_cast<uint32_t>(head.size() + picture + rest.size()));
  const std::string file = dir_.PathOf("big.mp3");
  {
    std::ofstream out(file, std::ios::binary);
    out << tag_header << head;
    out.seekp(static_cast<std::streamoff>(picture), std::ios::cur);
    out << rest << SilentFrames(kMpeg1, 10);
  }
  const auto size = std::filesystem::file_size(file);
  const TestFiles::RunSetup limited{.prefix = "ulimit -d " + std::to_string(40 << 10) + "; exec"};
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"set", file, "--title", "New"}, {"strip", file}}) {
    SCOPED_TRACE(args.front());
    const TestFiles::RunResult run = TestFiles::Run(limited, program_, args);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("was not changed"), std::string::npos) << run.err;
    EXPECT_EQ(std::filesystem::file_size(file), size);
  }
  const TestFiles::RunResult dump = TestFiles::Run(limited, program_, {"dump", file});
  EXPECT_EQ(dump.status, 3);
  EXPECT_NE(dump.err.find("big.mp3' whole: "), std::string::npos) << dump.err;
  clsID3 tag;
  tag.SetFileName(file);
  EXPECT_EQ(tag.Title(), u"Old");
  EXPECT_EQ(tag.Artist(), u"Artist");
  EXPECT_EQ(tag.AttachedPictures()->Count(), 1);
}
