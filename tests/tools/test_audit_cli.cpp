// tagloom-cli audit over a generated library of a few hundred files: every planted fault is
// found where it was planted and nowhere else, the exit status says what happened, and the
// HTML page renders in a real browser without running the hostile text it shows.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/JsonLine.h"
#include "tests/support/TestFiles.h"
#include "tools/samples/SampleBuilder.h"

namespace {

using namespace SampleBuilder;

TestFiles::RunResult Cli(const std::vector<std::string>& args) {
  std::vector<std::string> all{"audit"};
  all.insert(all.end(), args.begin(), args.end());
  return TestFiles::Run((*TestFiles::BinDir() / "tagloom-cli").string(), all);
}

std::u16string U(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

struct Track {
  std::string title, artist, album, band = "Band", year = "2001", genre = "Rock", track;
  MpegFormat format = kMpeg1;
  int frames = 40;
  bool cover = true;
  uint32_t cover_side = 500;
  bool back_cover = false;  // before the front one
};

// A PNG's header for any size: the report reads no further.
std::string PngOfSize(uint32_t width, uint32_t height) {
  std::string png = TinyPng(1, 1, 0, 0, 0);
  png.replace(16, 8, BigEndian(width, 4) + BigEndian(height, 4));
  return png;
}

std::string Mp3(const Track& t) {
  std::string frames;
  const auto text = [&](const char* id, const std::string& value) {
    if (!value.empty()) frames += Frame(3, id, TextBody(Encoding::Latin1, U(value)));
  };
  text("TIT2", t.title);
  text("TPE1", t.artist);
  text("TALB", t.album);
  text("TPE2", t.band);
  text("TYER", t.year);
  text("TCON", t.genre);
  text("TRCK", t.track);
  if (t.back_cover)
    frames +=
        Frame(3, "APIC", PictureBody(3, Encoding::Latin1, "image/png", 4, u"", PngOfSize(90, 90)));
  if (t.cover)
    frames += Frame(3, "APIC",
                    PictureBody(3, Encoding::Latin1, "image/png", 3, u"",
                                PngOfSize(t.cover_side, t.cover_side)));
  // Each file's audio its own: a byte of main data in every frame, which no header looks at.
  std::string audio = SilentFrames(t.format, t.frames);
  const int frame = FrameLength(t.format, false);
  const size_t seed = std::hash<std::string>()(t.title + t.album);
  for (size_t at = 100; at + 4 < audio.size(); at += static_cast<size_t>(frame))
    for (size_t b = 0; b < 4; ++b) audio[at + b] = static_cast<char>(1 + (seed >> (8 * b)) % 250);
  return Id3v2Tag(3, frames) + audio;
}

// 30 albums of 10 tracks; `faults` plants one fault of each kind, and remembers where.
struct Library {
  TestFiles::TempDir dir;
  std::multiset<std::pair<std::string, std::string>> expected;  // rule, path or folder

  std::string Album(int a) const {
    return dir.PathOf("Artist " + std::to_string(a % 7) + "/Album " + std::to_string(a));
  }

  explicit Library(bool faults) {
    for (int a = 0; a < 30; ++a) {
      for (int n = 1; n <= 10; ++n) {
        Track t;
        t.album = "Album " + std::to_string(a);
        t.artist = "Artist " + std::to_string(a % 7);
        t.band = t.artist;
        t.title = "Song " + std::to_string(n) + " of " + t.album;
        t.track = std::to_string(n) + "/10";
        const std::string name = "Artist " + std::to_string(a % 7) + "/Album " + std::to_string(a) +
                                 "/" + std::to_string(n) + ".mp3";
        const std::string path = dir.PathOf(name);
        std::string bytes;
        if (faults) bytes = Plant(a, n, t, path);
        if (bytes == "skip") continue;
        dir.Write(name, bytes.empty() ? Mp3(t) : bytes);
      }
    }
  }

  std::string Plant(int a, int n, Track& t, const std::string& path) {
    const auto expect = [&](const char* rule, const std::string& where) {
      expected.insert({rule, where});
    };
    if (a == 0 && n == 4) {
      expect("track-number-gap", Album(a));
      return "skip";
    }
    if (a == 1 && n == 2) {
      t.year = "2002";
      expect("album-field-differs", path);
    }
    if (a == 2 && n == 3) {
      t.format = {1, 96, 44100, ChannelMode::JointStereo};
      expect("low-bitrate", path);
    }
    if (a == 3 && n == 5) {
      t.format = {1, 128, 48000, ChannelMode::JointStereo};
      expect("mixed-sample-rates", path);
    }
    if (a == 4 && n == 1) {
      t.cover = false;
      expect("no-cover", path);
    }
    if (a == 5 && n == 6) {
      t.title.clear();
      expect("missing-field", path);
    }
    if (a == 6 && n == 7) {
      t.track = "6/10";
      expect("track-number-duplicate", path);
      expect("track-number-gap", Album(a));
    }
    if (a == 7 && n == 1) {
      // The same song, a second longer, filed under another album of the same artist.
      t.title = "Song 1 of Album 14";
      t.frames = 78;
      expect("duplicate-track", dir.PathOf("Artist 0/Album 14/1.mp3"));
    }
    if (a == 8 && n == 8) {
      expect("truncated", path);
      return Id3v2Tag(3, Frame(3, "TIT2", TextBody(Encoding::Latin1, u"Cut"))) +
             XingFrame(kMpeg1, 5000, 5000 * 418) + SilentFrames(kMpeg1, 20);
    }
    if (a == 9 && n == 9) {
      expect("not-audio", path);
      return Id3v2Tag(3, Frame(3, "TIT2", TextBody(Encoding::Latin1, u"Text"))) +
             std::string(4000, 'x');
    }
    if (a == 10 && n == 10) {
      t.genre =
          "<script>document.title='pwned'</script>\"><img src=x "
          "onerror=\"document.title='pwned'\"><b onmouseover=alert(1)>Rock";
      expect("album-field-differs", path);
    }
    return {};
  }
};

std::multiset<std::pair<std::string, std::string>> Found(const std::string& out,
                                                         std::vector<JsonObject>* stats = nullptr) {
  std::multiset<std::pair<std::string, std::string>> found;
  size_t from = 0;
  while (from < out.size()) {
    const size_t end = out.find('\n', from);
    const auto line = ParseJsonLine(std::string_view(out).substr(from, end - from));
    EXPECT_TRUE(line) << out.substr(from, end - from);
    from = end == std::string::npos ? out.size() : end + 1;
    if (!line) continue;
    const auto text = [&](const char* key) {
      const JsonValue* v = line->Find(key);
      return v ? std::string(v->text.begin(), v->text.end()) : std::string();
    };
    if (text("rule") == "stat") {
      if (stats) stats->push_back(*line);
      continue;
    }
    EXPECT_EQ(line->Keys(),
              (std::vector<std::string>{"rule", "severity", "album", "path", "detail"}));
    found.insert({text("rule"), text("path")});
  }
  return found;
}

class AuditCli : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!TestFiles::BinDir()) GTEST_SKIP() << "TAGLOOM_BIN names no built tagloom-cli";
  }
};

TEST_F(AuditCli, CleanLibraryIsSilentAndFaultsAreFoundWherePlanted) {
  const Library clean(false);
  TestFiles::RunResult run =
      Cli({"--format", "json", "--audio-hash", "--deep", clean.dir.Path().string()});
  EXPECT_EQ(run.status, 0) << run.err;
  std::vector<JsonObject> stats;
  EXPECT_TRUE(Found(run.out, &stats).empty()) << run.out.substr(0, 2000);
  ASSERT_FALSE(stats.empty());
  EXPECT_EQ(stats.front().Find("count")->number, 300);

  const Library faulty(true);
  run = Cli({"--format", "json", "--jobs", "3", faulty.dir.Path().string()});
  EXPECT_EQ(run.status, 4) << run.err;
  EXPECT_EQ(Found(run.out), faulty.expected) << run.out;
  // Any number of threads gives the same report.
  EXPECT_EQ(Cli({"--format", "json", "--jobs", "1", faulty.dir.Path().string()}).out, run.out);
  // From the index, the first run and the next find the same, covers measured included.
  const std::string index = faulty.dir.PathOf("reads.db");
  for (int round = 0; round < 2; ++round)
    EXPECT_EQ(Cli({"--format", "json", "--index", index, faulty.dir.Path().string()}).out, run.out)
        << "round " << round;
}

TEST_F(AuditCli, ExitStatusOptionsAndFormats) {
  const Library clean(false);
  const std::string album = clean.Album(0);
  EXPECT_EQ(Cli({album}).status, 0);
  // Higher demands find what the defaults let pass.
  TestFiles::RunResult run = Cli({"--min-bitrate", "160", "--min-cover", "600", "--require",
                                  "genre,Composer", "--format", "csv", album});
  EXPECT_EQ(run.status, 4);
  EXPECT_EQ(run.out.substr(0, 33), "rule,severity,album,path,detail\r\n");
  for (const char* rule : {"low-bitrate", "cover-too-small", "missing-field"})
    EXPECT_NE(run.out.find(rule), std::string::npos) << rule;
  EXPECT_NE(run.out.find("empty: Composer"), std::string::npos);
  // A file that is not there: its finding, and the status for a file that could not be read.
  run = Cli({"--format", "text", album, clean.dir.PathOf("gone.mp3")});
  EXPECT_EQ(run.status, 3);
  EXPECT_NE(run.out.find("unreadable"), std::string::npos);
  EXPECT_NE(run.err.find("gone.mp3"), std::string::npos);
  // -o FILE.html gives the page unless told otherwise.
  const std::string page = clean.dir.PathOf("report.html");
  EXPECT_EQ(Cli({"-o", page, album}).status, 0);
  EXPECT_EQ(TestFiles::ReadBytes(page)->substr(0, 15), "<!DOCTYPE html>");
  EXPECT_EQ(Cli({"--require", "Mood", album}).status, 2);
  EXPECT_EQ(Cli({"--format", "xml", album}).status, 2);
  EXPECT_EQ(Cli({"--min-bitrate", "fast", album}).status, 2);
  EXPECT_EQ(Cli({}).status, 2);
}

// The page in Debian's headless Chromium: the filter script runs (its hash is in the policy),
// the console stays free of errors, and hostile tag text stays text.
TEST_F(AuditCli, HtmlPageRendersInChromiumAndHostileTextStaysText) {
  const std::filesystem::path chromium = "/usr/bin/chromium";
  if (!std::filesystem::exists(chromium)) GTEST_SKIP() << "no " << chromium;
  const Library faulty(true);
  const std::string page = faulty.dir.PathOf("report.html");
  ASSERT_EQ(Cli({"-o", page, faulty.dir.Path().string()}).status, 4);
  TestFiles::TempDir profile;
  const TestFiles::RunResult run = TestFiles::Run(
      chromium.string(),
      {"--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
       "--disable-component-update", "--disable-sync", "--no-first-run",
       "--user-data-dir=" + profile.Path().string(), "--enable-logging=stderr", "--v=0",
       "--virtual-time-budget=2000", "--dump-dom", "file://" + page});
  ASSERT_EQ(run.status, 0) << run.err;
  // The script marks the page once it ran; a policy that refused it would leave no mark.
  EXPECT_NE(run.out.find("data-ready=\"1\""), std::string::npos) << run.err;
  EXPECT_EQ(run.out.find("<img"), std::string::npos);
  EXPECT_EQ(run.out.find("pwned</title>"), std::string::npos);
  EXPECT_EQ(run.out.find("<b onmouseover"), std::string::npos);
  EXPECT_NE(run.out.find("&lt;script&gt;document.title="), std::string::npos);
  // The page logs nothing itself: any console line (an error, a refused resource or script,
  // a policy violation) is a fault.
  EXPECT_EQ(run.err.find(":CONSOLE"), std::string::npos) << run.err;
}

std::string LittleEndian(uint32_t value, int width) {
  std::string bytes;
  for (int i = 0; i < width; ++i) bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
  return bytes;
}

// Files made by LAME itself: the profile statistic names the preset its header tells, in every
// format and from the index alike.
TEST_F(AuditCli, ProfileNamesTheLamePreset) {
  TestFiles::TempDir dir;
  // Three seconds of a quiet square wave, 44.1 kHz stereo.
  std::string pcm;
  for (int i = 0; i < 44100 * 3; ++i) {
    const char sample = (i / 50) % 2 ? 0x10 : -0x10;
    pcm += std::string{0, sample, 0, sample};
  }
  const std::string wav = dir.Write(
      "in.wav", "RIFF" + LittleEndian(static_cast<uint32_t>(36 + pcm.size()), 4) + "WAVEfmt " +
                    LittleEndian(16, 4) + LittleEndian(1, 2) + LittleEndian(2, 2) +
                    LittleEndian(44100, 4) + LittleEndian(44100 * 4, 4) + LittleEndian(4, 2) +
                    LittleEndian(16, 2) + "data" +
                    LittleEndian(static_cast<uint32_t>(pcm.size()), 4) + pcm);
  const std::vector<std::pair<std::vector<std::string>, std::string>> made{
      {{"-V0"}, "Album/v0.mp3"},
      {{"--preset", "extreme"}, "Album/extreme.mp3"},
      {{"-b", "192"}, "Album/b192.mp3"}};
  for (const auto& [options, name] : made) {
    std::vector<std::string> args{"--quiet"};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back(wav);
    args.push_back(dir.PathOf(name));
    std::filesystem::create_directories(dir.PathOf("Album"));
    const TestFiles::RunResult lame = TestFiles::Run("lame", args);
    if (lame.status == 127) GTEST_SKIP() << "no lame: " << lame.err;
    ASSERT_EQ(lame.status, 0) << lame.err;
  }
  const auto profiles = [](const std::string& out) {
    std::map<std::string, double> found;
    std::vector<JsonObject> stats;
    Found(out, &stats);
    for (const JsonObject& stat : stats) {
      if (stat.Find("stat")->text != u"profile") continue;
      const std::u16string& value = stat.Find("value")->text;
      found[std::string(value.begin(), value.end())] = stat.Find("count")->number;
    }
    return found;
  };
  const std::string album = dir.PathOf("Album");
  const TestFiles::RunResult run = Cli({"--format", "json", album});
  // LAME 3.100 writes --preset extreme as the V0 it stands for.
  EXPECT_EQ(profiles(run.out), (std::map<std::string, double>{{"CBR 192", 1}, {"VBR V0", 2}}))
      << run.out;
  const std::string index = dir.PathOf("reads.db");
  for (int round = 0; round < 2; ++round)
    EXPECT_EQ(Cli({"--format", "json", "--index", index, album}).out, run.out) << round;
  const std::string text = Cli({"--format", "text", album}).out;
  EXPECT_NE(text.find("VBR V0"), std::string::npos) << text;
  EXPECT_NE(text.find("CBR 192"), std::string::npos);
  const std::string html = Cli({"--format", "html", album}).out;
  EXPECT_NE(html.find("VBR V0"), std::string::npos);
}

TEST_F(AuditCli, CoverFindingsFromTheIndexAreThoseOfTheFiles) {
  TestFiles::TempDir dir;
  // Too small, differing between tracks, and missing beside covered tracks.
  const std::map<std::string, std::vector<int>> albums{
      {"Small", {200, 200, 200}}, {"Differ", {500, 500, 600}}, {"None", {500, 0, 500}}};
  int covered = 0;
  for (const auto& [album, sizes] : albums) {
    for (size_t n = 0; n < sizes.size(); ++n) {
      Track t;
      t.album = album;
      t.artist = t.band = "Artist";
      t.title = "Song " + std::to_string(n + 1);
      t.track = std::to_string(n + 1) + "/3";
      t.cover = t.back_cover = sizes[n] != 0;
      t.cover_side = static_cast<uint32_t>(sizes[n]);
      covered += t.cover;
      dir.Write(album + "/" + std::to_string(n + 1) + ".mp3", Mp3(t));
    }
  }
  const std::string root = dir.Path().string();
  const TestFiles::RunResult run = Cli({"--format", "json", root});
  std::set<std::string> rules;
  for (const auto& [rule, path] : Found(run.out)) rules.insert(rule);
  for (const char* rule : {"cover-too-small", "covers-differ", "no-cover"})
    EXPECT_TRUE(rules.count(rule)) << rule << "\n" << run.out;
  const std::string text = Cli({"--format", "text", root}).out;

  // Still long enough that the first run from the index keeps them for the next to take.
  std::this_thread::sleep_for(std::chrono::milliseconds(2100));
  const std::string index = dir.PathOf("reads.db");
  for (int round = 0; round < 3; ++round) {
    EXPECT_EQ(Cli({"--format", "json", "--index", index, root}).out, run.out) << round;
    EXPECT_EQ(Cli({"--format", "text", "--index", index, root}).out, text) << round;
    // One file read again beside those kept: their covers still compare.
    if (round == 1) dir.Write("Differ/3.mp3", *TestFiles::ReadBytes(dir.PathOf("Differ/3.mp3")));
  }
  // Every file with pictures is kept, so a run from the index reads none of them.
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open_v2(index.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  sqlite3_stmt* count = nullptr;
  ASSERT_EQ(
      sqlite3_prepare_v2(db, "SELECT count(*) FROM files WHERE pictures = 2", -1, &count, nullptr),
      SQLITE_OK);
  ASSERT_EQ(sqlite3_step(count), SQLITE_ROW);
  EXPECT_EQ(sqlite3_column_int(count, 0), covered);
  sqlite3_finalize(count);
  sqlite3_close(db);
}

}  // namespace
