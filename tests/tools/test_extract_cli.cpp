// `tagloom-cli extract` run as a program: the bundled samples in every format, the folder walk's
// rules, and the exit statuses of usage and output errors.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>
#include <fstream>

#include "tests/support/JsonLine.h"
#include "tests/support/TestFiles.h"
#include "tools/samples/SampleBuilder.h"

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
  std::vector<std::string> words = {"extract"};
  for (const QString& arg : args) words.push_back(arg.toStdString());
  const TestFiles::RunResult r =
      TestFiles::Run((*bin / "tagloom-cli").string(), words, input.toStdString());
  return {r.status, QByteArray::fromStdString(r.out), QString::fromStdString(r.err)};
}

QString Samples() {
  const auto dir = TestFiles::SamplesDir();
  return dir ? QString::fromStdString(dir->string()) : QString();
}

QStringList SampleNames() {
  return QDir(Samples()).entryList({"*.mp3"}, QDir::Files, QDir::Name | QDir::IgnoreCase);
}

using Row = QMap<QString, QString>;

// Each line's object, cell by header; a line that is no object of strings fails the test.
QList<Row> JsonRows(const QByteArray& out) {
  QList<Row> rows;
  for (const QByteArray& line : out.split('\n')) {
    if (line.isEmpty()) continue;
    const auto object = ParseJsonLine(std::string_view(line.constData(), size_t(line.size())));
    if (!object) {
      ADD_FAILURE() << "not a JSON object: " << line.toStdString();
      rows.append(Row());
      continue;
    }
    Row row;
    for (const auto& [key, value] : object->members) {
      if (value.kind != JsonValue::Kind::String) ADD_FAILURE() << key << " is not a string";
      row.insert(QString::fromStdString(key), QString::fromStdU16String(value.text));
    }
    rows.append(row);
  }
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

// Runs extract with what a QStringList cannot carry: names that are not UTF-8, a change of
// user, a memory limit.
Ran Shell(const TestFiles::RunSetup& setup, const std::vector<std::string>& args) {
  const auto bin = TestFiles::BinDir();
  if (!bin) return {};
  std::vector<std::string> all = {"extract"};
  all.insert(all.end(), args.begin(), args.end());
  const TestFiles::RunResult r = TestFiles::Run(setup, (*bin / "tagloom-cli").string(), all);
  return {r.status, QByteArray::fromStdString(r.out), QString::fromStdString(r.err)};
}

std::string Bytes(const QString& path) { return QFile::encodeName(path).toStdString(); }

// Permission bits do not stop root: as root, a run that needs them to runs as nobody.
std::string Unprivileged() {
  return ::geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups" : "";
}

bool IsKind(const QString& path, mode_t kind) {
  struct stat st {};
  return ::lstat(Bytes(path).c_str(), &st) == 0 && (st.st_mode & S_IFMT) == kind;
}

void WriteTagged(const std::string& path,
                 const std::vector<std::pair<const char*, std::u16string>>& frames) {
  std::string body;
  for (const auto& [id, text] : frames)
    body +=
        SampleBuilder::Frame(3, id, SampleBuilder::TextBody(SampleBuilder::Encoding::Utf16, text));
  std::ofstream(path, std::ios::binary)
      << SampleBuilder::Id3v2Tag(3, body) + SampleBuilder::SilentFrames(SampleBuilder::kMpeg1, 3);
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
  const QList<Row> rows = JsonRows(r.out);
  ASSERT_EQ(rows.size(), SampleNames().size());
  for (int i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i].keys().size(), 12);
    for (const QString& h : kHeaders) EXPECT_TRUE(rows[i].contains(h)) << h.toStdString();
    EXPECT_EQ(rows[i]["Filename"], SampleNames()[i]);  // the walk's name order
  }
  // Tag texts arrive, and a file without tags gives empty cells rather than no row.
  int titled = 0;
  for (const Row& row : rows) titled += row["Title"].isEmpty() ? 0 : 1;
  EXPECT_GT(titled, 0);
}

TEST_F(ExtractCliTest, TextIsTheAlignedExportAndMatchesTheOtherFormats) {
  const Ran text = Extract({Samples()});
  ASSERT_EQ(text.status, 0) << text.err.toStdString();
  const QList<Row> rows = JsonRows(Extract({"--format", "json", Samples()}).out);
  // Widths over the header and every row, each field closed by a tab, CR LF after each line.
  QList<int> widths;
  for (const QString& h : kHeaders) {
    int w = int(h.size());
    for (const Row& row : rows) w = std::max(w, int(row[h].size()));
    widths.append(w);
  }
  QString expected;
  const auto line = [&](const QStringList& cells) {
    for (int c = 0; c < cells.size(); ++c)
      expected += cells[c] + QString(std::max(0, widths[c] - int(cells[c].size())), u' ') + u'\t';
    expected += QStringLiteral("\r\n");
  };
  line(kHeaders);
  for (const Row& row : rows) {
    QStringList cells;
    for (const QString& h : kHeaders) cells.append(row[h]);
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
  const TestFiles::RunResult unzip =
      TestFiles::Run("unzip", {"-p", Bytes(PathOf("r.xlsx")), "xl/worksheets/sheet1.xml"});
  ASSERT_EQ(unzip.status, 0);
  const QString xml = QString::fromStdString(unzip.out);
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
    for (const Row& row : JsonRows(r.out)) out.append(row["Filename"]);
    return out;
  };
  EXPECT_EQ(names(Extract({"--format", "json", PathOf("tree")})), QStringList({"b.MP3", "a.mp3"}));
  EXPECT_EQ(names(Extract({"--format", "json", "--ext", "txt", PathOf("tree")})),
            QStringList{"notes.txt"});
  EXPECT_EQ(names(Extract({"--format", "json", "--ext", ".txt", PathOf("tree")})),
            QStringList{"notes.txt"});

  // Explicit files go in as given, a missing one as a row of empty cells with a warning and
  // the status of a run that could not read everything.
  const Ran given = Extract({"--format", "json", PathOf("tree/notes.txt"), PathOf("nope.mp3")});
  EXPECT_EQ(given.status, 3);
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
  EXPECT_EQ(lines[0], "tagloom-cli extract: cannot read '" + PathOf("gone\\r\\n.mp3") +
                          "': No such file or directory; its row stays empty");
  EXPECT_TRUE(lines[1].contains(PathOf("no-such-folder/out.json")));
}

TEST_F(ExtractCliTest, WritingToAFullDeviceIsAnError) {
  if (!QFileInfo::exists("/dev/full")) GTEST_SKIP();
  const Ran r = Shell({.output = "/dev/full"}, {Bytes(Samples())});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(r.err.contains("standard output")) << r.err.toStdString();
}

TEST_F(ExtractCliTest, WorkbooksGoThroughTheChecksAndTheReplacementOfTheTextExport) {
  // What the text export refuses to replace, the workbook leaves alone too.
  Touch(PathOf("ro.xlsx"), "keep");
  ASSERT_EQ(::chmod(Bytes(PathOf("ro.xlsx")).c_str(), 0444), 0);
  for (const QString format : {"xlsx", "text"}) {
    const Ran r = Extract({"--format", format, "-o", PathOf("ro.xlsx"), Samples()});
    EXPECT_EQ(r.status, 1) << format.toStdString();
    EXPECT_TRUE(r.err.contains("read-only")) << r.err.toStdString();
  }
  EXPECT_EQ(ReadAll(PathOf("ro.xlsx")), "keep");
  ASSERT_EQ(::mkfifo(Bytes(PathOf("pipe.xlsx")).c_str(), 0644), 0);
  EXPECT_EQ(Extract({"--format", "xlsx", "-o", PathOf("pipe.xlsx"), Samples()}).status, 1);
  EXPECT_TRUE(IsKind(PathOf("pipe.xlsx"), S_IFIFO));
  // A device node of our own (the null device's numbers), where the system lets us make one.
  if (::mknod(Bytes(PathOf("null")).c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) {
    const Ran r = Extract({"--format", "xlsx", "-o", PathOf("null"), Samples()});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("a workbook is saved as a file")) << r.err.toStdString();
    EXPECT_TRUE(IsKind(PathOf("null"), S_IFCHR));
  }

  // A name of 250 bytes, which the text export handles, holds a workbook as well, and no
  // half-built file stays beside it.
  const QString long_name = PathOf(QString(245, u'w') + ".xlsx");
  const Ran book = Extract({"--format", "xlsx", "-o", long_name, Samples()});
  EXPECT_EQ(book.status, 0) << book.err.toStdString();
  EXPECT_TRUE(ReadAll(long_name).startsWith("PK"));
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);  // and ro.xlsx

  // Another user's file in a folder of ours stays theirs (root may replace anything).
  if (::geteuid() != 0) return;
  const QString ours = PathOf("ours");
  ASSERT_TRUE(QDir().mkpath(ours));
  ASSERT_EQ(::chmod(Bytes(dir.path()).c_str(), 0755), 0);
  ASSERT_EQ(::chown(Bytes(ours).c_str(), 65534, 65534), 0);
  Touch(ours + "/theirs.xlsx", "theirs");
  for (const char* format : {"xlsx", "csv"}) {
    const Ran r = Shell({.prefix = Unprivileged()},
                        {"--format", format, "-o", Bytes(ours + "/theirs.xlsx"), Bytes(Samples())});
    EXPECT_EQ(r.status, 1) << format << r.err.toStdString();
  }
  EXPECT_EQ(ReadAll(ours + "/theirs.xlsx"), "theirs");
}

TEST_F(ExtractCliTest, StreamsAndDevicesAreWrittenStraightIntoButNeverGetAWorkbook) {
  const Ran plain = Extract({"--format", "json", Samples()});
  ASSERT_EQ(plain.status, 0);
  for (const QString format : {"text", "clipboard", "csv", "json"}) {
    const Ran r = Extract({"--format", format, "-o", "/dev/null", Samples()});
    EXPECT_EQ(r.status, 0) << format.toStdString() << r.err.toStdString();
  }
  // Names of the program's own descriptors are written through what the shell set up, here an
  // append to a log. (The tests use /dev/fd/N: a program that replaced the file a name leads to
  // would, as root, replace the system's own link at /dev/stdout.)
  EXPECT_EQ(Extract({"--format", "json", "-o", "/dev/fd/1", Samples()}).out, plain.out);
  Touch(PathOf("log"), "before\n");
  const Ran appended =
      Shell({.prefix = "exec 3>>" + TestFiles::ShellQuote(Bytes(PathOf("log"))) + ";"},
            {"--format", "json", "-o", "/dev/fd/3", Bytes(Samples())});
  EXPECT_EQ(appended.status, 0) << appended.err.toStdString();
  EXPECT_EQ(ReadAll(PathOf("log")), "before\n" + plain.out);

  // A FIFO gets the bytes and stays a FIFO.
  const QString fifo = PathOf("pipe");
  ASSERT_EQ(::mkfifo(Bytes(fifo).c_str(), 0644), 0);
  TestFiles::Started reader("/bin/sh",
                            {"-c", "exec cat " + TestFiles::ShellQuote(Bytes(fifo)) + " >" +
                                       TestFiles::ShellQuote(Bytes(PathOf("from-fifo")))});
  ASSERT_EQ(reader.StartError(), 0);
  const Ran into_fifo = Extract({"--format", "json", "-o", fifo, Samples()});
  ASSERT_EQ(into_fifo.status, 0) << into_fifo.err.toStdString();  // else the reader still waits
  ASSERT_EQ(reader.Wait(), 0);
  EXPECT_EQ(ReadAll(PathOf("from-fifo")), plain.out);
  EXPECT_TRUE(IsKind(fifo, S_IFIFO));

  // A workbook needs a file; the refusal comes before any file is read.
  const Ran book = Extract({"--format", "xlsx", "-o", "/dev/fd/1", Samples()});
  EXPECT_EQ(book.status, 1);
  EXPECT_TRUE(book.out.isEmpty());
  EXPECT_TRUE(book.err.contains("a workbook is saved as a file")) << book.err.toStdString();
}

TEST_F(ExtractCliTest, CsvSafeKeepsSpreadsheetsFromRunningCellsAsFormulas) {
  QDir().mkpath(PathOf("t"));
  WriteTagged(Bytes(PathOf("t/=x.mp3")), {{"TIT2", u"=HYPERLINK(\"http://x\",\"y\")"},
                                          {"TPE1", u"+1"},
                                          {"TALB", u"-2"},
                                          {"TCOM", u"\tx"},
                                          {"TPE2", u"plain"},
                                          {"TPE3", u"\rx"},
                                          {"TCOP", u"@SUM(A1)"}});
  const Ran safe = Extract({"--format", "csv", "--csv-safe", PathOf("t")});
  ASSERT_EQ(safe.status, 0) << safe.err.toStdString();
  EXPECT_EQ(safe.out.split('\n').value(1),
            "'=x.mp3,\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\",'+1,'-2,,,,,'\tx,plain,\"'\rx\","
            "'@SUM(A1)\r");
  // Plain CSV carries the cells as they are.
  const Ran plain = Extract({"--format", "csv", PathOf("t")});
  EXPECT_EQ(
      plain.out.split('\n').value(1),
      "=x.mp3,\"=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\",+1,-2,,,,,\tx,plain,\"\rx\",@SUM(A1)\r");
  EXPECT_EQ(Extract({"--format", "json", "--csv-safe", PathOf("t")}).status, 2);
}

TEST_F(ExtractCliTest, EveryFileAndFolderThatCannotBeReadIsNamedWithTheSystemsReason) {
  Touch(PathOf("tree/ok.mp3"));
  ASSERT_EQ(::mkfifo(Bytes(PathOf("tree/pipe.mp3")).c_str(), 0644), 0);
  const QString too_long = PathOf(QString(300, u'n') + ".mp3");
  const Ran r = Extract({"--format", "json", PathOf("tree"), too_long});
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(JsonRows(r.out).size(), 3);  // each keeps its row
  EXPECT_TRUE(r.err.contains("cannot read '" + PathOf("tree/pipe.mp3") + "': not a regular file"))
      << r.err.toStdString();
  EXPECT_TRUE(r.err.contains("cannot read '" + too_long + "': File name too long"));
  EXPECT_FALSE(r.err.contains("ok.mp3"));
  EXPECT_FALSE(r.err.contains("does not exist"));

  // Files and folders that may not be read.
  Touch(PathOf("locked/tree/inside.mp3"));
  Touch(PathOf("locked/secret.mp3"));
  ASSERT_EQ(::chmod(Bytes(dir.path()).c_str(), 0755), 0);
  ASSERT_EQ(::chmod(Bytes(PathOf("locked/tree")).c_str(), 0), 0);
  ASSERT_EQ(::chmod(Bytes(PathOf("locked/secret.mp3")).c_str(), 0), 0);
  const Ran denied =
      Shell({.prefix = Unprivileged()}, {"--format", "json", Bytes(PathOf("locked"))});
  EXPECT_EQ(denied.status, 3);
  EXPECT_EQ(JsonRows(denied.out).size(), 1);
  const QStringList told = denied.err.split('\n', Qt::SkipEmptyParts);
  EXPECT_EQ(told, QStringList({"tagloom-cli extract: cannot read the folder '" +
                                   PathOf("locked/tree") + "': Permission denied",
                               "tagloom-cli extract: cannot read '" + PathOf("locked/secret.mp3") +
                                   "': Permission denied; its row stays empty"}));
}

TEST_F(ExtractCliTest, NamesThatAreNotUtf8AreReadAndShownOneMarkPerByte) {
  QDir().mkpath(PathOf("old"));
  const std::string latin1 = Bytes(PathOf("old")) + "/caf\xE9.mp3";
  WriteTagged(latin1, {{"TIT2", u"Latin"}});
  const QString shown = QStringLiteral("caf") + QChar(0xEFE9) + QStringLiteral(".mp3");
  for (const std::string& given : {Bytes(PathOf("old")), latin1}) {
    const Ran r = Shell({}, {"--format", "json", given});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    const QList<Row> rows = JsonRows(r.out);
    ASSERT_EQ(rows.size(), 1) << given;
    EXPECT_EQ(rows[0]["Filename"], shown);
    EXPECT_EQ(rows[0]["Title"], "Latin");
  }
  // The aligned text counts the mark as one unit, as the list shows it.
  const Ran text = Shell({}, {"--format", "clipboard", latin1});
  EXPECT_TRUE(text.out.startsWith(shown.toUtf8() + "\tLatin\t")) << text.out.toStdString();
}

TEST_F(ExtractCliTest, AnEndlessListEndsWithAnError) {
  const Ran r = Shell({.prefix = TestFiles::kMemoryCap}, {"--files-from", "/dev/urandom"});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(r.err.contains("cannot read the list '/dev/urandom': line ")) << r.err.toStdString();
}

namespace {

TEST_F(ExtractCliTest, ChosenColumnsSortedRowsAndAByteOrderMark) {
  const Ran listed = Extract({"--list-columns"});
  ASSERT_EQ(listed.status, 0);
  for (const char* header : {"Filename", "Status", "Duration", "Full path", "Genre"})
    EXPECT_TRUE(listed.out.contains(QByteArray("  ") + header + "\n")) << header;

  const Ran csv = Extract({"--format", "csv", "--bom", "--columns", "title,Status,Duration",
                           "--sort", "title:desc", Samples()});
  ASSERT_EQ(csv.status, 0) << csv.err.toStdString();
  ASSERT_TRUE(csv.out.startsWith("\xEF\xBB\xBFTitle,Status,Duration\r\n"));
  const QList<QByteArray> lines = csv.out.mid(3).split('\n');
  ASSERT_GE(lines.size(), 3);
  QStringList titles;
  for (qsizetype i = 1; i < lines.size(); ++i)
    if (!lines[i].isEmpty()) titles.append(QString::fromUtf8(lines[i]).section(u',', 0, 0));
  QStringList sorted = titles;
  std::sort(sorted.begin(), sorted.end(), [](const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) > 0;
  });
  sorted.removeAll(QString());
  sorted.append(QStringList(titles.count(QString()), QString()));  // untitled rows come last
  EXPECT_EQ(titles, sorted);
  EXPECT_TRUE(lines[1].contains(",read,0:0")) << lines[1].toStdString();

  // A file that is not there reads as missing, in the Status column and as the exit status.
  const Ran gone =
      Extract({"--format", "json", "--columns", "Filename,Status", PathOf("gone.mp3")});
  EXPECT_EQ(gone.status, 3);
  EXPECT_EQ(JsonRows(gone.out).value(0).value("Status"), "missing");

  for (const QStringList& wrong :
       {QStringList{"--columns", "Title,Mood", Samples()},
        QStringList{"--columns", "Title,title", Samples()},
        QStringList{"--sort", "Year", "--columns", "Title", Samples()},
        QStringList{"--sort", "Title:sideways", Samples()}, QStringList{"--bom", Samples()}}) {
    const Ran r = Extract(wrong);
    EXPECT_EQ(r.status, 2) << wrong.join(' ').toStdString();
  }
}

}  // namespace

// A library larger than one machine: the path list split in shards, each shard extracted on its
// own (JSON Lines, or CSV without its header), the outputs concatenated.
TEST_F(ExtractCliTest, ShardsConcatenateToTheWholeRun) {
  QStringList paths;
  for (const QString& name : SampleNames()) paths.append(QDir(Samples()).filePath(name));
  paths.append(PathOf("missing.mp3"));  // an empty row keeps its place too
  ASSERT_GE(paths.size(), 3);
  const qsizetype half = paths.size() / 2;
  const auto list = [&](const QString& name, const QStringList& lines) {
    Touch(PathOf(name), (lines.join('\n') + '\n').toUtf8());
    return PathOf(name);
  };
  const QString whole = list("all.txt", paths);
  const QString first = list("first.txt", paths.mid(0, half));
  const QString second = list("second.txt", paths.mid(half));

  const Ran json = Extract({"--format", "json", "--files-from", whole});
  EXPECT_EQ(json.status, 3);
  EXPECT_EQ(Extract({"--format", "json", "--files-from", first}).out +
                Extract({"--format", "json", "--files-from", second, "--jobs", "3"}).out,
            json.out);

  const Ran csv = Extract({"--format", "csv", "--files-from", whole});
  const Ran headless = Extract({"--format", "csv", "--no-header", "--files-from", first});
  EXPECT_EQ(headless.status, 0) << headless.err.toStdString();
  const QByteArray header = csv.out.left(csv.out.indexOf("\r\n") + 2);
  EXPECT_TRUE(header.startsWith("Filename,Title,"));
  EXPECT_EQ(header + headless.out +
                Extract({"--format", "csv", "--no-header", "--files-from", second}).out,
            csv.out);
  // The list may also come on standard input, or through a pipe that can be read only once.
  EXPECT_EQ(Extract({"--format", "json", "--files-from", "-"}, ReadAll(whole)).out, json.out);
  ASSERT_EQ(::mkfifo(Bytes(PathOf("fifo")).c_str(), 0644), 0);
  const Ran piped = Shell({.prefix = "cat " + TestFiles::ShellQuote(Bytes(whole)) + " > " +
                                     TestFiles::ShellQuote(Bytes(PathOf("fifo"))) + " &"},
                          {"--format", "json", "--files-from", Bytes(PathOf("fifo"))});
  EXPECT_EQ(piped.out, json.out);

  const Ran misplaced = Extract({"--format", "json", "--no-header", Samples()});
  EXPECT_EQ(misplaced.status, 2);
  EXPECT_TRUE(misplaced.err.contains("--no-header goes with --format csv"));
}

// The extension is one, however it is written; a pattern, a second sort or a legacy code page
// that is none is a usage error rather than a run that reads nothing or the wrong way.
TEST_F(ExtractCliTest, ExtensionsAreLiteralAndDoubtfulOptionsAreRefused) {
  Touch(PathOf("tree/a.mp3"));
  Touch(PathOf("tree/b.mp3.bak"));
  Touch(PathOf("tree/c.txt"));
  auto names = [](const Ran& r) {
    QStringList out;
    for (const Row& row : JsonRows(r.out)) out.append(row["Filename"]);
    return out;
  };
  for (const QString ext : {"mp3", ".mp3", "*.mp3", "MP3"})
    EXPECT_EQ(names(Extract({"--format", "json", "--ext", ext, PathOf("tree")})),
              QStringList{"a.mp3"})
        << ext.toStdString();
  for (const QStringList& args :
       {QStringList{"--ext", "*", PathOf("tree")}, QStringList{"--ext", "mp?", PathOf("tree")},
        QStringList{"--ext", "", PathOf("tree")},
        QStringList{"--sort", "Title", "--sort", "Artist", Samples()},
        QStringList{"--legacy-text", "windows-1251//TRANSLIT", Samples()},
        QStringList{"--legacy-text", "UTF-16", Samples()},
        QStringList{"--legacy-text", "UCS-4", Samples()}}) {
    const Ran r = Extract(args);
    EXPECT_EQ(r.status, 2) << args.join(' ').toStdString();
    EXPECT_TRUE(r.err.contains("usage: tagloom-cli extract")) << r.err.toStdString();
  }
}

// With SIGPIPE ignored, as some shells and services leave it, a reader that has gone ends the
// run at the first failed write instead of after every file.
TEST_F(ExtractCliTest, AClosedPipeEndsTheRunWhenSigpipeIsIgnored) {
  QFile list(PathOf("list"));
  ASSERT_TRUE(list.open(QIODevice::WriteOnly));
  for (int i = 0; i < 20000; ++i) list.write(PathOf(QString("gone-%1.mp3").arg(i)).toUtf8() + "\n");
  list.close();
  const auto bin = TestFiles::BinDir();
  const std::string command = "trap '' PIPE; '" + (*bin / "tagloom-cli").string() +
                              "' extract --format json --jobs 1 --files-from '" +
                              Bytes(PathOf("list")) + "' 2>'" + Bytes(PathOf("err")) +
                              "' | head -c 1 >/dev/null; exit ${PIPESTATUS[0]}";
  EXPECT_EQ(TestFiles::Run("bash", {"-c", command}).status, 1);
  const QString err = QString::fromUtf8(ReadAll(PathOf("err")));
  EXPECT_TRUE(err.contains("Broken pipe")) << err.left(300).toStdString();
  // Files not read are named at the end of a run: a run that stopped names none of them.
  EXPECT_LT(err.count("gone-"), 1000) << err.left(300).toStdString();
}
