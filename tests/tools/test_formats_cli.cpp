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

}  // namespace
