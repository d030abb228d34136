// `tagloom-cli extract` run as a program: the bundled samples in every format, the folder walk's
// rules, and the exit statuses of usage and output errors.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>

#include "tests/support/TestFiles.h"

namespace {

const QStringList kHeaders = {"Filename",    "Title", "Artist",    "Album",
                              "TrackNumber", "Year",  "Comments",  "Lyrics",
                              "Composer",    "Band",  "Conductor", "Copyright"};

struct Ran {
  int status = -1;
  QByteArray out;
  QString err;
};

Ran Extract(const QStringList& args, const QByteArray& input = {}) {
  const auto bin = TestFiles::BinDir();
  if (!bin) return {};
  QProcess cli;
  cli.start(QString::fromStdString((*bin / "tagloom-cli").string()), QStringList{"extract"} + args);
  cli.write(input);
  cli.closeWriteChannel();
  if (!cli.waitForFinished(60000)) return {};
  return {cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -1,
          cli.readAllStandardOutput(), QString::fromUtf8(cli.readAllStandardError())};
}

QString Samples() {
  const auto dir = TestFiles::SamplesDir();
  return dir ? QString::fromStdString(dir->string()) : QString();
}

QStringList SampleNames() {
  return QDir(Samples()).entryList({"*.mp3"}, QDir::Files, QDir::Name | QDir::IgnoreCase);
}

QList<QJsonObject> JsonRows(const QByteArray& out) {
  QList<QJsonObject> rows;
  for (const QByteArray& line : out.split('\n'))
    if (!line.isEmpty()) rows.append(QJsonDocument::fromJson(line).object());
  return rows;
}

QByteArray ReadAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void Touch(const QString& path, const QByteArray& bytes = "not audio") {
  QDir().mkpath(QFileInfo(path).path());
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(bytes);
}

class ExtractCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!TestFiles::BinDir() || Samples().isEmpty() || SampleNames().isEmpty())
      GTEST_SKIP() << "TAGLOOM_BIN and TAGLOOM_SAMPLES name the built program and samples";
  }
  QString PathOf(const QString& name) const { return QDir(dir.path()).filePath(name); }
  QTemporaryDir dir;
};

}  // namespace

TEST_F(ExtractCliTest, JsonHasOneObjectPerSampleKeyedByTheTwelveHeaders) {
  const Ran r = Extract({"--format", "json", Samples()});
  ASSERT_EQ(r.status, 0) << r.err.toStdString();
  const QList<QJsonObject> rows = JsonRows(r.out);
  ASSERT_EQ(rows.size(), SampleNames().size());
  for (int i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i].keys().size(), 12);
    for (const QString& h : kHeaders) EXPECT_TRUE(rows[i].contains(h)) << h.toStdString();
    EXPECT_EQ(rows[i]["Filename"].toString(), SampleNames()[i]);  // the walk's name order
  }
  // Tag texts arrive, and a file without tags gives empty cells rather than no row.
  int titled = 0;
  for (const QJsonObject& row : rows) titled += row["Title"].toString().isEmpty() ? 0 : 1;
  EXPECT_GT(titled, 0);
}

TEST_F(ExtractCliTest, TextIsTheAlignedExportAndMatchesTheOtherFormats) {
  const Ran text = Extract({Samples()});
  ASSERT_EQ(text.status, 0) << text.err.toStdString();
  const QList<QJsonObject> rows = JsonRows(Extract({"--format", "json", Samples()}).out);
  // Widths over the header and every row, each field closed by a tab, CR LF after each line.
  QList<int> widths;
  for (const QString& h : kHeaders) {
    int w = int(h.size());
    for (const QJsonObject& row : rows) w = std::max(w, int(row[h].toString().size()));
    widths.append(w);
  }
  QString expected;
  const auto line = [&](const QStringList& cells) {
    for (int c = 0; c < cells.size(); ++c)
      expected += cells[c] + QString(std::max(0, widths[c] - int(cells[c].size())), u' ') + u'\t';
    expected += QStringLiteral("\r\n");
  };
  line(kHeaders);
  for (const QJsonObject& row : rows) {
    QStringList cells;
    for (const QString& h : kHeaders) cells.append(row[h].toString());
    line(cells);
  }
  EXPECT_EQ(QString::fromUtf8(text.out), expected);
  EXPECT_FALSE(text.out.startsWith("\xEF\xBB\xBF"));

  // The same bytes reach a file given with -o.
  const Ran to_file = Extract({"-o", PathOf("out.txt"), Samples()});
  ASSERT_EQ(to_file.status, 0);
  EXPECT_TRUE(to_file.out.isEmpty());
  EXPECT_EQ(ReadAll(PathOf("out.txt")), text.out);
}

TEST_F(ExtractCliTest, ClipboardCsvAndWorkbookFormats) {
  const Ran clip = Extract({"--format", "clipboard", Samples()});
  ASSERT_EQ(clip.status, 0);
  EXPECT_FALSE(clip.out.startsWith("Filename"));
  EXPECT_TRUE(clip.out.startsWith(SampleNames()[0].toUtf8()));
  EXPECT_FALSE(clip.out.contains(" \r\n"));  // the last column carries no padding

  const Ran csv = Extract({"--format", "csv", Samples()});
  ASSERT_EQ(csv.status, 0);
  EXPECT_TRUE(csv.out.startsWith(kHeaders.join(u',').toUtf8() + "\r\n"));

  const Ran book = Extract({"--format", "xlsx", "-o", PathOf("r.xlsx"), Samples()});
  ASSERT_EQ(book.status, 0) << book.err.toStdString();
  QProcess unzip;
  unzip.start("unzip", {"-p", PathOf("r.xlsx"), "xl/worksheets/sheet1.xml"});
  ASSERT_TRUE(unzip.waitForFinished(20000));
  const QString xml = QString::fromUtf8(unzip.readAllStandardOutput());
  EXPECT_TRUE(xml.contains("<t>Filename</t>"));
  EXPECT_TRUE(xml.contains(QStringLiteral("<row r=\"%1\"").arg(SampleNames().size() + 1)));
  EXPECT_FALSE(xml.contains(QStringLiteral("<row r=\"%1\"").arg(SampleNames().size() + 2)));
}

TEST_F(ExtractCliTest, FoldersAreWalkedLikeTheFolderScanAndFilesQueuedAsGiven) {
  Touch(PathOf("tree/b.MP3"));
  Touch(PathOf("tree/~skipped.mp3"));
  Touch(PathOf("tree/.hidden.mp3"));  // hidden and archive: 34
  Touch(PathOf("tree/notes.txt"));
  Touch(PathOf("tree/sub/a.mp3"));
  auto names = [](const Ran& r) {
    QStringList out;
    for (const QJsonObject& row : JsonRows(r.out)) out.append(row["Filename"].toString());
    return out;
  };
  EXPECT_EQ(names(Extract({"--format", "json", PathOf("tree")})), QStringList({"b.MP3", "a.mp3"}));
  EXPECT_EQ(names(Extract({"--format", "json", "--ext", "txt", PathOf("tree")})),
            QStringList{"notes.txt"});
  EXPECT_EQ(names(Extract({"--format", "json", "--ext", ".txt", PathOf("tree")})),
            QStringList{"notes.txt"});

  // Explicit files go in as given, a missing one as a row of empty cells with a warning.
  const Ran given = Extract({"--format", "json", PathOf("tree/notes.txt"), PathOf("nope.mp3")});
  EXPECT_EQ(given.status, 0);
  EXPECT_EQ(names(given), QStringList({"notes.txt", "nope.mp3"}));
  EXPECT_TRUE(given.err.contains("nope.mp3"));

  const Ran listed =
      Extract({"--format", "json", "--files-from", "-"},
              (PathOf("tree/sub/a.mp3") + "\r\n" + PathOf("tree/b.MP3") + "\n").toUtf8());
  EXPECT_EQ(names(listed), QStringList({"a.mp3", "b.MP3"}));
}

TEST_F(ExtractCliTest, UsageErrorsExitTwoAndOutputErrorsOne) {
  for (const QStringList& args : {QStringList{}, QStringList{"--format", "pdf", Samples()},
                                  QStringList{"--format", "xlsx", Samples()},
                                  QStringList{"--bogus", Samples()}, QStringList{"-o"}}) {
    const Ran r = Extract(args);
    EXPECT_EQ(r.status, 2) << args.join(' ').toStdString();
    EXPECT_TRUE(r.err.contains("usage: tagloom-cli extract"));
  }

  const QString missing = PathOf("no-such-folder/out.txt");
  for (const QString format : {"text", "csv", "xlsx"}) {
    const Ran r = Extract({"--format", format, "-o", missing, Samples()});
    EXPECT_EQ(r.status, 1) << format.toStdString();
    EXPECT_TRUE(r.err.contains(missing)) << r.err.toStdString();
  }
  EXPECT_EQ(Extract({"--files-from", PathOf("no-list"), Samples()}).status, 1);

  // A failed write leaves the file that was there.
  Touch(PathOf("dir.txt/keep"));
  EXPECT_EQ(Extract({"-o", PathOf("dir.txt"), Samples()}).status, 1);
  EXPECT_TRUE(QFileInfo(PathOf("dir.txt/keep")).exists());
}

TEST_F(ExtractCliTest, EachReportIsOneLineWithoutCarriageReturns) {
  const QString odd = PathOf("gone\r\n.mp3");
  const Ran r = Extract({"--format", "json", "-o", PathOf("no-such-folder/out.json"), odd});
  EXPECT_EQ(r.status, 1);
  EXPECT_FALSE(r.err.contains(u'\r'));
  const QStringList lines = r.err.split(u'\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 2) << r.err.toStdString();
  EXPECT_EQ(lines[0], "tagloom-cli extract: '" + PathOf("gone\\r\\n.mp3") +
                          "' does not exist; its row stays empty");
  EXPECT_TRUE(lines[1].contains(PathOf("no-such-folder/out.json")));
}

TEST_F(ExtractCliTest, WritingToAFullDeviceIsAnError) {
  if (!QFileInfo::exists("/dev/full")) GTEST_SKIP();
  QProcess cli;
  cli.setStandardOutputFile("/dev/full");
  cli.start(QString::fromStdString((*TestFiles::BinDir() / "tagloom-cli").string()),
            {"extract", Samples()});
  ASSERT_TRUE(cli.waitForFinished(60000));
  EXPECT_EQ(cli.exitCode(), 1);
  EXPECT_TRUE(cli.readAllStandardError().contains("standard output"));
}
