// The trust columns on the peers' files: exact durations against mutagen, legacy text the peers
// wrote in Shift-JIS, UTF-8 and Korean, and sources and conflicts of files with several tags.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QMap>
#include <QStringList>

#include "tests/support/JsonLine.h"
#include "tests/support/TestFiles.h"

namespace {

using Row = QMap<QString, QString>;

QList<Row> Extract(const std::vector<std::string>& args) {
  std::vector<std::string> all = {"extract", "--format", "json"};
  all.insert(all.end(), args.begin(), args.end());
  const TestFiles::RunResult r =
      TestFiles::Run((*TestFiles::BinDir() / "tagloom-cli").string(), all);
  QList<Row> rows;
  for (const QByteArray& line : QByteArray::fromStdString(r.out).split('\n')) {
    const auto object = ParseJsonLine(std::string_view(line.constData(), size_t(line.size())));
    if (!object) continue;
    Row row;
    for (const auto& [key, value] : object->members)
      row.insert(QString::fromStdString(key), QString::fromStdU16String(value.text));
    rows.append(row);
  }
  return rows;
}

class PeerTrust : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!TestFiles::BinDir()) GTEST_SKIP() << "TAGLOOM_BIN names no built tagloom-cli";
    const auto peers = TestFiles::PeersDir();
    if (!peers) GTEST_SKIP() << "no peers' corpus (corpus.peers_present says why)";
    root = peers->string() + "/";
  }
  std::string root;
};

TEST_F(PeerTrust, ExactDurationsAgreeWithMutagenWhereItReadsTheSameHeader) {
  if (TestFiles::Run("/bin/sh", {"-c", "/usr/bin/python3 -c 'import mutagen.mp3' 2>/dev/null"})
          .status != 0)
    GTEST_SKIP() << "mutagen is not installed for /usr/bin/python3 (scripts/deps.sh installs it)";
  const QList<Row> rows =
      Extract({"--columns", "Full path,Duration (exact),Duration source", root});
  ASSERT_GT(rows.size(), 100);
  // mutagen reads LAME's delay only after an encoder name starting "LAME" or "L3.99"; files
  // from ffmpeg ("Lavc") carry the same fields, which it passes over, so they are left out.
  const char* script =
      "import sys, mutagen.mp3\n"
      "for f in sys.stdin.read().split('\\n'):\n"
      "  if not f: continue\n"
      "  try: i = mutagen.mp3.MP3(f).info\n"
      "  except Exception: continue\n"
      "  print('%d %.9f %s' % (i.encoder_info.startswith('LAME'), i.length, f))\n";
  std::string paths;
  for (const Row& row : rows)
    if (row["Duration source"] != "bit-rate estimate" && !row["Duration source"].isEmpty())
      paths += row["Full path"].toStdString() + "\n";
  const TestFiles::RunResult r = TestFiles::Run("/usr/bin/python3", {"-c", script}, paths);
  ASSERT_EQ(r.status, 0) << r.err;
  QMap<QString, double> mutagen;
  QStringList lame;
  for (const QString& line : QString::fromStdString(r.out).split('\n', Qt::SkipEmptyParts)) {
    mutagen.insert(line.section(' ', 2), line.section(' ', 1, 1).toDouble());
    if (line.startsWith(u'1')) lame.append(line.section(' ', 2));
  }
  int compared = 0;
  for (const Row& row : rows) {
    if (!mutagen.contains(row["Full path"])) continue;
    if (row["Duration source"] == u"LAME header" && !lame.contains(row["Full path"])) continue;
    ++compared;
    EXPECT_NEAR(row["Duration (exact)"].toDouble(), mutagen[row["Full path"]], 0.001)
        << row["Full path"].toStdString() << " (" << row["Duration source"].toStdString() << ")";
  }
  EXPECT_GT(compared, 50);
}

TEST_F(PeerTrust, LegacyTextOfOtherCodePagesIsDetectedAndOffByDefault) {
  const std::string v1 = root + "dhowden-tag/internal/id3v1_test/";
  const std::string korean = root + "Borewit-music-metadata/test/samples/id3-multi-01.mp3";
  const std::vector<std::string> files = {v1 + "sample_ms932_v1.mp3", v1 + "sample_utf8_v1.1.mp3",
                                          v1 + "sample_usascii_v1.mp3", korean};
  std::vector<std::string> args = {"--columns", "Title,Conflicts,Decoded as"};
  args.insert(args.end(), files.begin(), files.end());
  const QList<Row> plain = Extract(args);
  ASSERT_EQ(plain.size(), 4);
  EXPECT_EQ(plain[0]["Decoded as"], "windows-1252");
  EXPECT_NE(plain[0]["Title"], QString::fromUtf8("サンプルのタイトル"));
  // The ID3v2 title is Korean; its ID3v1 copy in EUC-KR reads as something else in Windows-1252.
  EXPECT_EQ(plain[3]["Conflicts"], "Title; Artist; Album");

  args.insert(args.begin(), {"--legacy-text", "detect"});
  const QList<Row> detected = Extract(args);
  ASSERT_EQ(detected.size(), 4);
  EXPECT_EQ(detected[0]["Title"], QString::fromUtf8("サンプルのタイトル"));
  EXPECT_EQ(detected[0]["Decoded as"], "shift_jis");
  EXPECT_EQ(detected[1]["Title"], QString::fromUtf8("サンプルのタイトル"));
  EXPECT_EQ(detected[1]["Decoded as"], "utf-8");
  EXPECT_EQ(detected[2]["Title"], "Sample Title");
  EXPECT_EQ(detected[2]["Decoded as"], "ASCII, nothing to decode");
  EXPECT_EQ(detected[3]["Conflicts"], "");
}

TEST_F(PeerTrust, SourcesAndConflictsOfFilesWithSeveralTags) {
  const QList<Row> rows =
      Extract({"--columns", "Sources,Conflicts",
               root + "Borewit-music-metadata/test/samples/Dethklok-mergeTagHeaders.mp3",
               root + "Borewit-music-metadata/test/samples/id3v1_Blood_Sugar.mp3"});
  ASSERT_EQ(rows.size(), 2);
  EXPECT_EQ(rows[0]["Sources"],
            "Title v2.4 TIT2; Artist v2.4 TPE1; Album v1; Genre v2.4 TCON; Genre number v1");
  EXPECT_EQ(rows[0]["Conflicts"], "Artist");  // "Misspelled artist deathklok" in ID3v1
  EXPECT_EQ(rows[1]["Sources"],
            "Title v1.1; Artist v1.1; Album v1.1; TrackNumber v1.1; Year v1.1; Comments v1.1; "
            "Genre number v1.1");
  EXPECT_EQ(rows[1]["Conflicts"], "");
}

}  // namespace

namespace {

// The peers' MP3 files read with every format on: the default columns come out the same
// except where an APEv2 tag fills a field the ID3 tags left empty, and no file changes its
// reader or its duration.
TEST_F(PeerTrust, EveryFormatLeavesMp3RowsAsTheyWereButForApeTags) {
  const auto run = [&](std::vector<std::string> args) {
    std::vector<std::string> all = {"extract", "--format", "json", "--ext", "mp3"};
    all.insert(all.end(), args.begin(), args.end());
    all.push_back(root);
    return TestFiles::Run((*TestFiles::BinDir() / "tagloom-cli").string(), all).out;
  };
  const std::string mp3 = run({});
  const std::string every = run({"--formats", "all"});
  const QList<QByteArray> before = QByteArray::fromStdString(mp3).split('\n');
  const QList<QByteArray> after = QByteArray::fromStdString(every).split('\n');
  ASSERT_EQ(before.size(), after.size());
  ASSERT_GT(before.size(), 400);
  const QString columns = QStringLiteral("Full path,Tags,Status,Duration (exact),Sources");
  const QList<Row> plain = Extract({"--columns", columns.toStdString(), root});
  const QList<Row> facts = Extract({"--formats", "all", "--columns", columns.toStdString(), root});
  ASSERT_EQ(plain.size(), facts.size());
  int ape = 0;
  for (qsizetype i = 0; i < facts.size(); ++i) {
    const std::string path = facts[i]["Full path"].toStdString();
    const bool has_ape = facts[i]["Tags"].contains(u"APEv2");
    ape += has_ape;
    if (!has_ape) {
      EXPECT_EQ(before[i], after[i]) << path;
      EXPECT_EQ(plain[i]["Sources"], facts[i]["Sources"]) << path;
    }
    EXPECT_EQ(plain[i]["Duration (exact)"], facts[i]["Duration (exact)"]) << path;
    if (plain[i]["Status"] == u"not MPEG audio") {
      EXPECT_EQ(facts[i]["Status"], "not audio") << path;
    } else {
      EXPECT_EQ(plain[i]["Status"], facts[i]["Status"]) << path;
    }
  }
  EXPECT_GT(ape, 5);
}

}  // namespace
