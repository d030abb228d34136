// `extract --filter` and `extract --format m3u8` run as a program, the playlist checked by a
// real player's parser.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QStringList>

#include "tests/support/TestFiles.h"
#include "tools/samples/SampleBuilder.h"

namespace {

using SampleBuilder::Encoding;

struct Ran {
  int status = -1;
  QByteArray out;
  QString err;
};

Ran RunProgram(const QString& program, const QStringList& args, const QString& folder = {}) {
  std::vector<std::string> words;
  for (const QString& arg : args) words.push_back(arg.toStdString());
  const TestFiles::RunResult run =
      TestFiles::Run({.folder = folder.toStdString()}, program.toStdString(), words);
  return {run.status, QByteArray::fromStdString(run.out), QString::fromStdString(run.err)};
}

Ran Extract(const QStringList& args, const QString& folder = {}) {
  const auto bin = TestFiles::BinDir();
  if (!bin) return {};
  return RunProgram(QString::fromStdString((*bin / "tagloom-cli").string()),
                    QStringList{"extract"} + args, folder);
}

// A file of about `seconds` of silence at the format's bit rate, with an ID3v2.3 tag.
std::string Tagged(const std::vector<std::pair<const char*, std::u16string>>& frames,
                   const SampleBuilder::MpegFormat& format, double seconds) {
  std::string body;
  for (const auto& [id, text] : frames)
    body += SampleBuilder::Frame(3, id, SampleBuilder::TextBody(Encoding::Utf16, text));
  return (frames.empty() ? std::string() : SampleBuilder::Id3v2Tag(3, body)) +
         SampleBuilder::Silence(format, seconds);
}

class ExtractFilterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!TestFiles::BinDir()) GTEST_SKIP() << "TAGLOOM_BIN names the built program";
    // a: 128 kbit/s, an accented artist; b: 64 kbit/s; c: no tag at all.
    dir.Write("music/a.mp3",
              Tagged({{"TPE1", u"Café Noir"}, {"TIT2", u"One"}}, SampleBuilder::kMpeg1, 4.5));
    dir.Write("music/sub/b.mp3", Tagged({{"TPE1", u"Other"}, {"TIT2", u"Two"}, {"TCON", u"Rock"}},
                                        SampleBuilder::kMpeg2, 2.5));
    dir.Write("music/c.mp3", Tagged({}, SampleBuilder::kMpeg1, 1.5));
  }
  QString Root() const { return QString::fromStdString(dir.Path().string()); }
  QString Music() const { return Root() + "/music"; }

  TestFiles::TempDir dir;
};

QStringList Lines(const QByteArray& out) {
  QStringList lines = QString::fromUtf8(out).split('\n');
  while (!lines.isEmpty() && lines.back().trimmed().isEmpty()) lines.removeLast();
  return lines;
}

}  // namespace

TEST_F(ExtractFilterTest, OnlyTheRowsKeptAreWrittenInEveryFormat) {
  for (const QString format : {"text", "clipboard", "csv", "json"}) {
    SCOPED_TRACE(format.toStdString());
    const QStringList base = {"--format", format, "--jobs", "1"};
    const Ran all = Extract(base + QStringList{Music()});
    ASSERT_EQ(all.status, 0) << all.err.toStdString();
    // An empty filter changes nothing, byte for byte.
    EXPECT_EQ(Extract(base + QStringList{"--filter", "", Music()}).out, all.out);
    EXPECT_EQ(Extract(base + QStringList{"--filter", "  ", Music()}).out, all.out);

    // Bit rate is not among the columns shown: it is read for the filter and left out.
    const Ran kept = Extract(base + QStringList{"--filter", "cafe OR bitrate<100", Music()});
    ASSERT_EQ(kept.status, 0) << kept.err.toStdString();
    const QStringList lines = Lines(kept.out);
    const QStringList every = Lines(all.out);
    const int header = format == "text" || format == "csv" ? 1 : 0;
    ASSERT_EQ(lines.size(), header + 2);
    ASSERT_EQ(every.size(), header + 3);
    if (header) {
      EXPECT_EQ(lines[0], every[0]);
    }
    EXPECT_TRUE(lines[header].contains("a.mp3"));
    EXPECT_TRUE(lines[header + 1].contains("b.mp3"));
    for (const QString& line : lines) EXPECT_FALSE(line.contains("c.mp3"));
  }
}

TEST_F(ExtractFilterTest, FilterWorksWithChosenColumnsSortingAndTheStreamedFormats) {
  const Ran csv = Extract({"--format", "csv", "--columns", "Filename,Title", "--sort", "Title:desc",
                           "--filter", "-genre:rock", Music()});
  ASSERT_EQ(csv.status, 0) << csv.err.toStdString();
  EXPECT_EQ(csv.out, "Filename,Title\r\na.mp3,One\r\nc.mp3,\r\n");
  const Ran empty =
      Extract({"--format", "csv", "--columns", "Filename", "--filter", "title=", Music()});
  EXPECT_EQ(empty.out, "Filename\r\nc.mp3\r\n");
  const Ran none = Extract({"--format", "json", "--filter", "duration>1:00", Music()});
  EXPECT_EQ(none.status, 0);
  EXPECT_TRUE(none.out.isEmpty());
}

TEST_F(ExtractFilterTest, AMalformedFilterIsAUsageErrorNamingThePlace) {
  for (const auto& [filter, says] : std::vector<std::pair<QString, QString>>{
           {"bitrat<128", "unknown column 'bitrat' (at character 1)"},
           {"bitrate<fast", "(at character 9)"},
           {"band:\"Marlow", "the quote is not closed (at character 6)"},
           {"rock OR", "OR needs a term after it"}}) {
    const Ran r = Extract({"--filter", filter, Music()});
    EXPECT_EQ(r.status, 2) << filter.toStdString();
    EXPECT_TRUE(r.err.contains(says)) << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty());
  }
  EXPECT_EQ(Extract({"--filter", "x", "--summary", Music()}).status, 2);
}

TEST_F(ExtractFilterTest, PlaylistPathsAreRelativeBesideOrAboveTheMusicAndOpenInAPlayer) {
  // Beside the music's top folder: relative paths, in list order, with the filter applied.
  const QString beside = Root() + "/list.m3u8";
  const Ran written =
      Extract({"--format", "m3u8", "-o", beside, "--jobs", "1", "--filter", "-title=", Music()});
  ASSERT_EQ(written.status, 0) << written.err.toStdString();
  QFile file(beside);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray playlist = file.readAll();
  EXPECT_EQ(playlist,
            "#EXTM3U\n#EXTINF:4,Café Noir - One\nmusic/a.mp3\n"
            "#EXTINF:2,Other - Two\nmusic/sub/b.mp3\n");

  // To standard output, or below the music: absolute paths; a file without tags shows its name.
  const Ran out = Extract({"--format", "m3u8", "--jobs", "1", Music() + "/c.mp3"});
  EXPECT_EQ(out.out, "#EXTM3U\n#EXTINF:1,c\n" + (Music() + "/c.mp3\n").toUtf8());
  const QString below = Music() + "/sub/list.m3u8";
  ASSERT_EQ(Extract({"--format", "m3u8", "-o", below, Music() + "/a.mp3"}).status, 0);
  QFile below_file(below);
  ASSERT_TRUE(below_file.open(QIODevice::ReadOnly));
  EXPECT_TRUE(below_file.readAll().endsWith("\n" + (Music() + "/a.mp3\n").toUtf8()));
  // A path given relative to the working folder is made whole first.
  const Ran relative = Extract({"--format", "m3u8", "music/a.mp3"}, Root());
  EXPECT_TRUE(relative.out.endsWith("\n" + (Music() + "/a.mp3\n").toUtf8()));

  const QString mpv = QStandardPaths::findExecutable("mpv");
  if (mpv.isEmpty()) GTEST_SKIP() << "mpv is not installed";
  const Ran played = RunProgram(
      mpv, {"--no-config", "--playlist=" + beside, "--frames=0", "--ao=null", "--vo=null"});
  EXPECT_EQ(played.status, 0) << played.err.toStdString();
  const QString said = QString::fromUtf8(played.out) + played.err;
  // The player finds the entries from the playlist's own folder.
  EXPECT_TRUE(said.contains("Playing: " + Music() + "/a.mp3")) << said.toStdString();
  EXPECT_TRUE(said.contains("Playing: " + Music() + "/sub/b.mp3")) << said.toStdString();
  EXPECT_FALSE(said.contains("Failed")) << said.toStdString();
}

TEST_F(ExtractFilterTest, PlaylistNamesKeepTheirBytesAndALineBreakIsRefused) {
  const std::string latin1 = dir.Write("odd/caf\xE9.mp3", Tagged({}, SampleBuilder::kMpeg1, 1.5));
  dir.Write("odd/two\nlines.mp3", Tagged({}, SampleBuilder::kMpeg1, 1.5));
  const QString list = Root() + "/odd.m3u8";
  const Ran r = Extract({"--format", "m3u8", "-o", list, Root() + "/odd"});
  EXPECT_EQ(r.status, 3);
  EXPECT_TRUE(r.err.contains("two\\nlines.mp3")) << r.err.toStdString();
  const auto bytes = TestFiles::ReadBytes(list.toStdString());
  ASSERT_TRUE(bytes);
  EXPECT_EQ(*bytes, "#EXTM3U\n#EXTINF:1,caf\xE9\nodd/caf\xE9.mp3\n");

  const QString mpv = QStandardPaths::findExecutable("mpv");
  if (mpv.isEmpty()) GTEST_SKIP() << "mpv is not installed";
  const Ran played = RunProgram(
      mpv, {"--no-config", "--playlist=" + list, "--frames=0", "--ao=null", "--vo=null"});
  EXPECT_EQ(played.status, 0) << played.err.toStdString();
  EXPECT_FALSE((QString::fromUtf8(played.out) + played.err).contains("Failed"));
}
