// extract's trust columns, --legacy-text and --summary run as a program, and the exact duration
// held against mutagen on real LAME files of several settings.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QMap>
#include <QStringList>
#include <cmath>
#include <fstream>

#include "tests/support/JsonLine.h"
#include "tests/support/TestFiles.h"
#include "tools/samples/SampleBuilder.h"

namespace {

using Row = QMap<QString, QString>;

TestFiles::RunResult Extract(const std::vector<std::string>& args) {
  std::vector<std::string> all = {"extract"};
  all.insert(all.end(), args.begin(), args.end());
  return TestFiles::Run((*TestFiles::BinDir() / "tagloom-cli").string(), all);
}

QList<Row> JsonRows(const std::string& out) {
  QList<Row> rows;
  for (const QByteArray& line : QByteArray::fromStdString(out).split('\n')) {
    if (line.isEmpty()) continue;
    const auto object = ParseJsonLine(std::string_view(line.constData(), size_t(line.size())));
    if (!object) {
      ADD_FAILURE() << "not a JSON object: " << line.toStdString();
      continue;
    }
    Row row;
    for (const auto& [key, value] : object->members)
      row.insert(QString::fromStdString(key), QString::fromStdU16String(value.text));
    rows.append(row);
  }
  return rows;
}

bool Have(const std::string& command) {
  return TestFiles::Run("/bin/sh", {"-c", command + " >/dev/null 2>&1"}).status == 0;
}

// Three seconds of two tones, 16-bit little-endian, as raw PCM for lame.
void WritePcm(const std::string& path, int rate, int channels, double seconds) {
  std::ofstream out(path, std::ios::binary);
  const auto samples = static_cast<long>(rate * seconds);
  for (long i = 0; i < samples; ++i) {
    const double t = static_cast<double>(i) / rate;
    const auto v = static_cast<int16_t>(8000 * std::sin(2 * M_PI * 440 * t) +
                                        3000 * std::sin(2 * M_PI * 1234 * t));
    for (int c = 0; c < channels; ++c) out.write(reinterpret_cast<const char*>(&v), 2);
  }
}

class LameFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!TestFiles::BinDir()) GTEST_SKIP() << "TAGLOOM_BIN names no built tagloom-cli";
    if (!Have("lame --version"))
      GTEST_SKIP() << "lame is not installed (scripts/deps.sh installs it)";
    if (!Have("/usr/bin/python3 -c 'import mutagen.mp3'"))
      GTEST_SKIP() << "mutagen is not installed for /usr/bin/python3 (scripts/deps.sh installs it)";
    struct Setting {
      const char* name;
      int rate, channels;
      double seconds;
      std::vector<std::string> options;
    };
    const Setting settings[] = {
        {"a/cbr128.mp3", 44100, 2, 3.0, {"-b", "128"}},
        {"a/v2.mp3", 44100, 2, 3.0, {"-V", "2"}},
        {"a/abr160.mp3", 44100, 2, 2.7, {"--abr", "160"}},
        {"b/mono64.mp3", 44100, 1, 2.5, {"-m", "m", "-b", "64"}},
        {"b/rate22.mp3", 22050, 2, 3.3, {"-V", "4"}},
    };
    std::filesystem::create_directories(dir.Path() / "a");
    std::filesystem::create_directories(dir.Path() / "b");
    for (const Setting& s : settings) {
      const std::string pcm = dir.PathOf("in.raw");
      WritePcm(pcm, s.rate, s.channels, s.seconds);
      std::vector<std::string> args = {"--quiet",    "-r",
                                       "-s",         s.rate == 22050 ? "22.05" : "44.1",
                                       "--bitwidth", "16",
                                       "--signed",   "--little-endian",
                                       "-m",         s.channels == 1 ? "m" : "j"};
      args.insert(args.end(), s.options.begin(), s.options.end());
      args.push_back(pcm);
      args.push_back(dir.PathOf(s.name));
      const TestFiles::RunResult made = TestFiles::Run("lame", args);
      ASSERT_EQ(made.status, 0) << made.err;
      files.push_back(dir.PathOf(s.name));
    }
  }

  // mutagen's length of each file, by path.
  QMap<QString, double> Mutagen() {
    std::vector<std::string> args = {
        "-c",
        "import sys, mutagen.mp3\n"
        "for f in sys.argv[1:]: print('%.9f %s' % (mutagen.mp3.MP3(f).info.length, f))"};
    args.insert(args.end(), files.begin(), files.end());
    const TestFiles::RunResult r = TestFiles::Run("/usr/bin/python3", args);
    EXPECT_EQ(r.status, 0) << r.err;
    QMap<QString, double> lengths;
    for (const QString& line : QString::fromStdString(r.out).split('\n', Qt::SkipEmptyParts))
      lengths.insert(line.section(' ', 1), line.section(' ', 0, 0).toDouble());
    return lengths;
  }

  TestFiles::TempDir dir;
  std::vector<std::string> files;
};

TEST_F(LameFiles, ExactDurationsAgreeWithMutagenWithinAMillisecond) {
  const QMap<QString, double> mutagen = Mutagen();
  ASSERT_EQ(mutagen.size(), static_cast<qsizetype>(files.size()));
  const TestFiles::RunResult r =
      Extract({"--format", "json", "--columns", "Full path,Duration (exact),Duration source,Status",
               dir.Path().string()});
  ASSERT_EQ(r.status, 0) << r.err;
  const QList<Row> rows = JsonRows(r.out);
  ASSERT_EQ(rows.size(), static_cast<qsizetype>(files.size()));
  for (const Row& row : rows) {
    const QString path = row["Full path"];
    ASSERT_TRUE(mutagen.contains(path)) << path.toStdString();
    EXPECT_NEAR(row["Duration (exact)"].toDouble(), mutagen[path], 0.001) << path.toStdString();
    EXPECT_EQ(row["Duration source"], "LAME header") << path.toStdString();
    EXPECT_EQ(row["Status"], "no tags");
  }

  // The same file cut to 500 bytes still claims its frames, and says it is cut.
  const auto whole = TestFiles::ReadBytes(files.front());
  ASSERT_TRUE(whole);
  const std::string cut = dir.Write("cut.mp3", whole->substr(0, 500));
  const QList<Row> short_rows =
      JsonRows(Extract({"--format", "json", "--columns", "Duration (exact),Status", cut}).out);
  ASSERT_EQ(short_rows.size(), 1);
  EXPECT_EQ(short_rows[0]["Status"], "truncated");
}

TEST_F(LameFiles, SummaryTotalsEachFolderAndAll) {
  const QMap<QString, double> mutagen = Mutagen();
  const std::string missing = dir.PathOf("b/gone.mp3");
  const TestFiles::RunResult r =
      Extract({"--format", "json", "--summary", dir.PathOf("a"), dir.PathOf("b"), missing});
  EXPECT_EQ(r.status, 3) << r.err;  // the missing file is named, and counted
  const QList<Row> rows = JsonRows(r.out);
  ASSERT_EQ(rows.size(), 3);
  EXPECT_EQ(rows[0]["Folder"].toStdString(), dir.PathOf("a"));
  EXPECT_EQ(rows[0]["Files"], "3");
  EXPECT_EQ(rows[0]["CBR"], "1");
  EXPECT_EQ(rows[0]["VBR"], "2");
  EXPECT_EQ(rows[0]["No title"], "3");
  EXPECT_EQ(rows[0]["Not read"], "0");
  EXPECT_EQ(rows[1]["Files"], "3");
  EXPECT_EQ(rows[1]["Not read"], "1");
  EXPECT_EQ(rows[1]["No picture"], "2");  // the missing file is counted as not read only
  EXPECT_EQ(rows[2]["Folder"], "All folders");
  EXPECT_EQ(rows[2]["Files"], "6");
  double total = 0;
  for (double seconds : mutagen) total += seconds;
  const QString shown = rows[2]["Duration"];  // h:mm:ss.mmm
  const double seconds = shown.section(':', 0, 0).toDouble() * 3600 +
                         shown.section(':', 1, 1).toDouble() * 60 +
                         shown.section(':', 2).toDouble();
  EXPECT_NEAR(seconds, total, 0.001 * static_cast<double>(files.size()));
  int64_t bytes = 0;
  for (const std::string& f : files) bytes += static_cast<int64_t>(std::filesystem::file_size(f));
  EXPECT_EQ(rows[2]["Size"].toLongLong(), bytes);

  // The aligned text has the same rows under its header line.
  const TestFiles::RunResult text = Extract({"--summary", dir.PathOf("a")});
  EXPECT_EQ(text.status, 0);
  EXPECT_EQ(text.out.rfind("Folder", 0), 0u);
  EXPECT_NE(text.out.find("All folders"), std::string::npos);
}

TEST(LegacyTextCli, DetectionIsOptInAndAnUnknownCodePageIsAUsageError) {
  if (!TestFiles::BinDir()) GTEST_SKIP() << "TAGLOOM_BIN names no built tagloom-cli";
  TestFiles::TempDir dir;
  SampleBuilder::Id3v1Fields v1;
  v1.title = "\xCA\xE8\xED\xEE - \xC3\xF0\xF3\xEF\xEF\xE0 \xEA\xF0\xEE\xE2\xE8";  // windows-1251
  const std::string path = dir.Write(
      "kino.mp3", SampleBuilder::SilentFrames(SampleBuilder::kMpeg1, 3) + SampleBuilder::Id3v1(v1));
  const TestFiles::RunResult plain = Extract({"--format", "csv", path});
  const TestFiles::RunResult named =
      Extract({"--format", "csv", "--legacy-text", "windows-1252", path});
  EXPECT_EQ(named.out, plain.out);  // the default, spelled out, changes nothing
  EXPECT_NE(plain.out.find("\xC3\x8A\xC3\xA8"),
            std::string::npos);  // "Êè" as Windows-1252 reads it

  const QList<Row> detected = JsonRows(Extract({"--format", "json", "--legacy-text", "detect",
                                                "--columns", "Title,Decoded as", path})
                                           .out);
  ASSERT_EQ(detected.size(), 1);
  EXPECT_EQ(detected[0]["Title"], QString::fromUtf8("Кино - Группа крови"));
  EXPECT_EQ(detected[0]["Decoded as"], "windows-1251");
  const QList<Row> koi = JsonRows(
      Extract({"--format", "json", "--legacy-text", "KOI8-R", "--columns", "Decoded as", path})
          .out);
  ASSERT_EQ(koi.size(), 1);
  EXPECT_EQ(koi[0]["Decoded as"], "koi8-r");

  const TestFiles::RunResult bad = Extract({"--legacy-text", "klingon-1", path});
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.err.find("klingon-1"), std::string::npos);
  EXPECT_EQ(bad.out, "");
  EXPECT_EQ(Extract({"--summary", "--sort", "Title", path}).status, 2);
}

}  // namespace
