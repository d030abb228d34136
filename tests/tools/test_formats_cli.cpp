// Every audio format through `extract --formats all`: a corpus made here with ffmpeg and
// mutagen, each file read back cell by cell against what was written; the writers refuse them.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <QByteArray>
#include <QMap>
#include <QSet>
#include <QStringList>

#include "tests/support/JsonLine.h"
#include "tests/support/TestFiles.h"

namespace {

using Row = QMap<QString, QString>;

QList<Row> Rows(const std::string& json) {
  QList<Row> rows;
  for (const QByteArray& line : QByteArray::fromStdString(json).split('\n')) {
    const auto object = ParseJsonLine(std::string_view(line.constData(), size_t(line.size())));
    if (!object) continue;
    Row row;
    for (const auto& [key, value] : object->members)
      row.insert(QString::fromStdString(key), QString::fromStdU16String(value.text));
    rows.append(row);
  }
  return rows;
}

std::string Cli() { return (*TestFiles::BinDir() / "tagloom-cli").string(); }

class Formats : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!TestFiles::BinDir()) GTEST_SKIP() << "TAGLOOM_BIN names no built tagloom-cli";
    if (TestFiles::Run("/bin/sh", {"-c",
                                   "command -v ffmpeg && /usr/bin/python3 -c 'import "
                                   "mutagen' 2>/dev/null"})
            .status != 0)
      GTEST_SKIP() << "ffmpeg or mutagen for /usr/bin/python3 is missing (scripts/deps.sh)";
    const TestFiles::RunResult made =
        TestFiles::Run("/usr/bin/python3", {TAGLOOM_FORMATS_CORPUS, dir.Path().string()});
    ASSERT_EQ(made.status, 0) << made.err;
    expected = Rows(made.out);
    ASSERT_GT(expected.size(), 20);
  }

  QList<Row> Extract(const QStringList& columns, std::vector<std::string> more = {},
                     int status = 0) {
    std::vector<std::string> args = {"extract",
                                     "--formats",
                                     "all",
                                     "--format",
                                     "json",
                                     "--columns",
                                     columns.join(u',').toStdString()};
    args.insert(args.end(), more.begin(), more.end());
    args.push_back(dir.Path().string());
    const TestFiles::RunResult r = TestFiles::Run(Cli(), args);
    EXPECT_EQ(r.status, status) << r.err;
    return Rows(r.out);
  }

  TestFiles::TempDir dir;
  QList<Row> expected;
};

TEST_F(Formats, EveryFormatShowsWhatWasWrittenCellByCell) {
  QStringList columns = {"Filename"};
  for (const Row& row : expected)
    for (const QString& key : row.keys())
      if (!columns.contains(key)) columns.append(key);
  QMap<QString, Row> read;
  for (const Row& row : Extract(columns)) read.insert(row["Filename"], row);
  int cells = 0;
  for (const Row& want : expected) {
    const QString name = want["Filename"];
    ASSERT_TRUE(read.contains(name)) << name.toStdString() << " has no row";
    const Row& got = read[name];
    for (auto cell = want.begin(); cell != want.end(); ++cell) {
      ++cells;
      if (cell.key() == u"Duration (exact)") {
        // mutagen's duration, to 5 ms.
        EXPECT_NEAR(got[cell.key()].toDouble(), cell.value().toDouble(), 0.005)
            << name.toStdString() << " " << cell.key().toStdString();
      } else {
        EXPECT_EQ(got[cell.key()], cell.value())
            << name.toStdString() << " " << cell.key().toStdString();
      }
    }
  }
  EXPECT_GT(cells, 500);
}

TEST_F(Formats, FoldersGiveTheAudioExtensionsAndMp3AloneStaysAsBefore) {
  dir.Write("readme.txt", "not listed\n");
  const QList<Row> all = Extract({"Filename"});
  QSet<QString> names;
  for (const Row& row : all) names.insert(row["Filename"]);
  EXPECT_EQ(names.size(), expected.size());
  EXPECT_FALSE(names.contains("readme.txt"));
  // Without the option the other formats are not looked at, as before.
  const TestFiles::RunResult mp3 = TestFiles::Run(
      Cli(),
      {"extract", "--format", "json", "--columns", "Filename,Title,Status", dir.Path().string()});
  const QList<Row> rows = Rows(mp3.out);
  ASSERT_EQ(rows.size(), 1);
  EXPECT_EQ(rows[0]["Filename"], "ape.mp3");
  EXPECT_EQ(rows[0]["Title"], "ID3 title");
  // --ext still narrows the folders' files.
  const QList<Row> flac = Extract({"Filename", "Format"}, {"--ext", "flac"});
  ASSERT_EQ(flac.size(), 2);
  EXPECT_EQ(flac[0]["Format"], "FLAC");
}

TEST_F(Formats, SetAndStripRefuseOtherFormatsAndLeaveThemWhole) {
  for (const char* name : {"a0.flac", "a1.m4a", "a0.wav", "a1.opus"}) {
    const std::string path = dir.PathOf(name);
    const std::optional<std::string> before = TestFiles::ReadBytes(path);
    ASSERT_TRUE(before);
    const TestFiles::RunResult set = TestFiles::Run(Cli(), {"set", "--title", "X", path});
    EXPECT_EQ(set.status, 1) << name;
    EXPECT_NE(set.err.find("only MP3 files are written"), std::string::npos) << set.err;
    const TestFiles::RunResult strip = TestFiles::Run(Cli(), {"strip", path});
    EXPECT_EQ(strip.status, 1) << name;
    EXPECT_NE(strip.err.find("was not changed: its content is"), std::string::npos) << strip.err;
    EXPECT_EQ(TestFiles::ReadBytes(path), before) << name;
  }
}

TEST_F(Formats, TheIndexAndAFifoChangeNoRow) {
  // Every format with every mapped column, read three ways: straight, into an index, and back
  // from it; a FIFO among them is no file and never waited on.
  QStringList columns = {"Filename"};
  for (const Row& row : expected)
    for (const QString& key : row.keys())
      if (!columns.contains(key)) columns.append(key);
  for (const char* more : {"Status", "Tags", "Sources", "Conflicts", "Pictures"})
    if (!columns.contains(more)) columns.append(more);
  const TestFiles::TempDir beside;
  const std::string fifo = beside.PathOf("pipe.flac");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string index = beside.PathOf("reads.index");
  const QList<Row> plain = Extract(columns, {fifo}, 3);
  ASSERT_EQ(plain.size(), expected.size() + 1);
  EXPECT_EQ(plain.first()["Status"], "not a regular file");
  EXPECT_EQ(Extract(columns, {fifo, "--index", index}, 3), plain);
  EXPECT_EQ(Extract(columns, {fifo, "--index", index}, 3), plain);
}

// A DSF file as the format lays it out: the DSD chunk, the fmt chunk, the data chunk, and the
// ID3v2 tag the metadata pointer names, at the end.
std::string Dsf(uint64_t samples, const std::string& id3, int64_t claim_more = 0) {
  const auto le = [](uint64_t value, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
    return out;
  };
  const std::string data(4096 * 2, '\x69');
  const uint64_t metadata = id3.empty() ? 0 : 28 + 52 + 12 + data.size();
  const uint64_t total = 28 + 52 + 12 + data.size() + id3.size();
  return "DSD " + le(28, 8) + le(total + claim_more, 8) + le(metadata, 8) + "fmt " + le(52, 8) +
         le(1, 4) + le(0, 4) + le(2, 4) + le(2, 4) + le(2822400, 4) + le(1, 4) + le(samples, 8) +
         le(4096, 4) + le(0, 4) + "data" + le(12 + data.size(), 8) + data + id3;
}

std::string Id3Frame(const std::string& id, const std::string& body) {
  const auto size = static_cast<uint32_t>(body.size());
  return id + std::string{char(size >> 24), char(size >> 16), char(size >> 8), char(size), 0, 0} +
         body;
}

TEST(FormatsDsf, TheChunksGiveTheAudioAndTheEnginesId3v2TheFields) {
  if (!TestFiles::BinDir()) GTEST_SKIP() << "TAGLOOM_BIN names no built tagloom-cli";
  const TestFiles::TempDir dir;
  const std::string frames = Id3Frame("TIT2", std::string("\0DSD title", 10)) +
                             Id3Frame("TPE2", std::string("\0The band", 9));
  const auto size = static_cast<uint32_t>(frames.size());
  const std::string id3 = std::string("ID3\x03\0\0", 6) +
                          std::string{char((size >> 21) & 0x7F), char((size >> 14) & 0x7F),
                                      char((size >> 7) & 0x7F), char(size & 0x7F)} +
                          frames;
  dir.Write("a.dsf", Dsf(2822400 * 3 + 1411200, id3));
  dir.Write("b.dsf", Dsf(2822400, ""));
  dir.Write("cut.dsf", Dsf(2822400, id3, 5000));
  dir.Write("x.dsf", std::string("DSD ") + std::string(20, '\0'));
  const TestFiles::RunResult r = TestFiles::Run(
      Cli(),
      {"extract", "--formats", "all", "--format", "json", "--columns",
       "Filename,Title,Band,Format,Channels,Sampling rate,Bits per sample,Duration "
       "(exact),Duration source,Bit rate,Tags,Sources,Status",
       dir.PathOf("a.dsf"), dir.PathOf("b.dsf"), dir.PathOf("cut.dsf"), dir.PathOf("x.dsf")});
  ASSERT_EQ(r.status, 0) << r.err;
  const QList<Row> rows = Rows(r.out);
  ASSERT_EQ(rows.size(), 4);
  EXPECT_EQ(rows[0]["Title"], "DSD title");
  EXPECT_EQ(rows[0]["Band"], "The band");
  EXPECT_EQ(rows[0]["Format"], "DSF");
  EXPECT_EQ(rows[0]["Channels"], "2");
  EXPECT_EQ(rows[0]["Sampling rate"], "2822400");
  EXPECT_EQ(rows[0]["Bits per sample"], "1");
  EXPECT_EQ(rows[0]["Duration (exact)"], "3.500");
  EXPECT_EQ(rows[0]["Duration source"], "sample count");
  EXPECT_EQ(rows[0]["Bit rate"], "5644");
  EXPECT_EQ(rows[0]["Tags"], "ID3v2.3");
  EXPECT_EQ(rows[0]["Sources"], "Title v2.3 TIT2; Band v2.3 TPE2");
  EXPECT_EQ(rows[0]["Status"], "read");
  // No metadata chunk: the audio alone.
  EXPECT_EQ(rows[1]["Title"], "");
  EXPECT_EQ(rows[1]["Tags"], "");
  EXPECT_EQ(rows[1]["Duration (exact)"], "1.000");
  EXPECT_EQ(rows[1]["Status"], "read");
  // A header that claims more bytes than the file holds, and one cut inside its chunks.
  EXPECT_EQ(rows[2]["Title"], "DSD title");
  EXPECT_TRUE(rows[2]["Status"].startsWith("truncated: the DSF header declares"))
      << rows[2]["Status"].toStdString();
  EXPECT_EQ(rows[2]["Duration (exact)"], "");
  EXPECT_TRUE(rows[3]["Status"].startsWith("unreadable:")) << rows[3]["Status"].toStdString();
  EXPECT_EQ(rows[3]["Format"], "");  // no audio to name
}

}  // namespace
