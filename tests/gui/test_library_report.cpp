// "Library report" in the real window on the offscreen platform: the last run's rows become
// findings by album and charts without another read, a double-click selects the file's row,
// and "Save report…" writes the same page as the command line.
#include <gtest/gtest.h>

#include <QBarCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QCoreApplication>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <chrono>
#include <filesystem>
#include <semaphore>
#include <set>
#include <thread>

#include "app/LibraryReport.h"
#include "app/ui/LibraryReportDialog.h"
#include "app/ui/MainWindow.h"
#include "batch/Audit.h"
#include "platform/PosixFileSystem.h"
#include "tests/support/JsonLine.h"
#include "tests/support/TestFiles.h"
#include "tests/support/fakes/FakeServices.h"
#include "tools/samples/SampleBuilder.h"

namespace {

using namespace SampleBuilder;

std::string Mp3(const std::u16string& title, const std::u16string& track, int kbps) {
  std::string frames = Frame(3, "TIT2", TextBody(Encoding::Latin1, title)) +
                       Frame(3, "TPE1", TextBody(Encoding::Latin1, u"Artist")) +
                       Frame(3, "TALB", TextBody(Encoding::Latin1, u"Album")) +
                       Frame(3, "TRCK", TextBody(Encoding::Latin1, track));
  return Id3v2Tag(3, frames) + SilentFrames({1, kbps, 44100, ChannelMode::JointStereo}, 30);
}

// A picture of any size: the report reads no further than its header. `shade` makes its bytes
// differ.
std::string Png(uint32_t side, uint8_t shade) {
  std::string png = TinyPng(1, 1, shade, 0, 0);
  png.replace(16, 8, BigEndian(side, 4) + BigEndian(side, 4));
  return png;
}

std::string Covered(const std::u16string& album, const std::u16string& track,
                    const std::string& cover) {
  std::string frames =
      Frame(3, "TIT2", TextBody(Encoding::Latin1, album + u" " + track)) +
      Frame(3, "TPE1", TextBody(Encoding::Latin1, u"Artist")) +
      Frame(3, "TALB", TextBody(Encoding::Latin1, album)) +
      Frame(3, "TRCK", TextBody(Encoding::Latin1, track)) +
      Frame(3, "APIC", PictureBody(3, Encoding::Latin1, "image/png", 3, u"", cover));
  // Each file's audio its own, so that no duplicate speaks.
  std::string audio = SilentFrames({1, 128, 44100, ChannelMode::JointStereo}, 20);
  audio[100] = static_cast<char>(track[0] + album.size());
  return Id3v2Tag(3, frames) + audio;
}

using Findings = std::multiset<std::pair<std::string, std::string>>;  // rule, path

Findings Of(const Audit::Report& report) {
  Findings found;
  for (const Audit::Finding& f : report.findings)
    found.insert({f.rule.toStdString(), f.path.toStdString()});
  return found;
}

class LibraryReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto bin = TestFiles::BinDir();
    if (!bin) GTEST_SKIP() << "TAGLOOM_BIN is not set";
    window = std::make_unique<MainWindow>(services, QString::fromStdString(bin->string()));
    window->show();
  }

  FakeServices f;
  PosixFileSystem files;
  Services services{f.ui,     f.settings, f.clipboard,   f.desktop, f.random,
                    f.events, files,      f.spreadsheet, f.shell};
  std::unique_ptr<MainWindow> window;
  TestFiles::TempDir dir;
};

TEST_F(LibraryReportTest, LastRunsRowsGiveFindingsChartsAndTheirFilesRow) {
  // Before any run there is nothing to report on, and a box says so.
  QTest::mouseClick(window->ReportButton(), Qt::LeftButton);
  ASSERT_EQ(f.ui.Messages().size(), 1);
  EXPECT_TRUE(f.ui.Messages()[0].contains("Start Extracting Tags"));
  EXPECT_EQ(window->findChild<LibraryReportDialog*>(), nullptr);

  f.ui.column_answers.push_back(
      {{"Filename", "Full path", "Title", "Artist", "Album", "TrackNumber", "Bit rate", "Status"},
       "windows-1252",
       false});
  QTest::mouseClick(window->ColumnsButton(), Qt::LeftButton);
  const std::string low = dir.Write("Album/2.mp3", Mp3(u"Two", u"2", 64));
  dir.Write("Album/1.mp3", Mp3(u"One", u"1", 128));
  dir.Write("Album/3.mp3", Mp3(u"", u"3", 128));
  for (const char* name : {"Album/1.mp3", "Album/2.mp3", "Album/3.mp3"})
    window->form().ListView1.AppendRow(QString::fromStdString(dir.PathOf(name)));
  QTest::mouseClick(window->PushButton(10), Qt::LeftButton);
  ASSERT_EQ(window->form().ListView2.RowCount(), 3);

  // The files change after the run: the report speaks of the run's rows all the same.
  dir.Write("Album/2.mp3", Mp3(u"Two", u"2", 320));
  QTest::mouseClick(window->ReportButton(), Qt::LeftButton);
  auto* dialog = window->findChild<LibraryReportDialog*>();
  ASSERT_NE(dialog, nullptr);
  QTreeWidget& findings = dialog->Findings();
  ASSERT_EQ(findings.topLevelItemCount(), 1);
  QTreeWidgetItem* album = findings.topLevelItem(0);
  EXPECT_EQ(album->text(0), "Album");
  QStringList rules;
  QTreeWidgetItem* low_item = nullptr;
  for (int c = 0; c < album->childCount(); ++c) {
    rules << album->child(c)->text(2);
    if (album->child(c)->text(2) == "low-bitrate") low_item = album->child(c);
  }
  rules.sort();
  EXPECT_EQ(rules, QStringList({"low-bitrate", "missing-field"}));
  // What the table lacks is said: no rule on those columns can speak.
  bool told = false;
  for (QLabel* label : dialog->findChildren<QLabel*>())
    told = told || (label->text().contains("Pictures") && label->text().contains("Columns…"));
  EXPECT_TRUE(told);
  EXPECT_GE(dialog->findChildren<QChartView*>().size(), 3);

  ASSERT_NE(low_item, nullptr);
  emit findings.itemDoubleClicked(low_item, 0);
  EXPECT_EQ(window->form().ListView2.SelectedRow(), std::optional<int>(2));
  EXPECT_EQ(low_item->text(3).toStdString(), low);

  const QString page = QString::fromStdString(dir.PathOf("report.html"));
  QString why;
  ASSERT_TRUE(dialog->SaveHtml(page, why)) << why.toStdString();
  const auto bytes = TestFiles::ReadBytes(page.toStdString());
  ASSERT_TRUE(bytes);
  EXPECT_EQ(bytes->substr(0, 15), "<!DOCTYPE html>");
  EXPECT_NE(bytes->find("64 kbit/s"), std::string::npos);
  EXPECT_FALSE(dialog->SaveHtml(QString::fromStdString(dir.PathOf("no/such/folder/r.html")), why));
  EXPECT_TRUE(why.contains("no/such/folder"));

  // "Check audio…" reads the files once: 1.mp3 and 3.mp3 hold the same silence under other tags,
  // and the report opens again with that said.
  auto* check = dialog->findChild<QPushButton*>("CheckAudio");
  ASSERT_NE(check, nullptr);
  QTest::mouseClick(check, Qt::LeftButton);
  // A worker reads them while the window's loop runs on; the new report replaces the old.
  ASSERT_TRUE(QTest::qWaitFor([&] {
    const QList<LibraryReportDialog*> open = window->findChildren<LibraryReportDialog*>();
    return open.size() == 1 && open.front() != dialog;
  }));
  const QList<LibraryReportDialog*> dialogs = window->findChildren<LibraryReportDialog*>();
  QTreeWidget& checked = dialogs.front()->Findings();
  QStringList after;
  for (int g = 0; g < checked.topLevelItemCount(); ++g)
    for (int c = 0; c < checked.topLevelItem(g)->childCount(); ++c)
      after << checked.topLevelItem(g)->child(c)->text(2);
  after.sort();
  EXPECT_EQ(after, QStringList({"duplicate-audio", "low-bitrate", "missing-field"}));
}

TEST_F(LibraryReportTest, CoverRulesSayWhatTheCommandLineSaysOfTheSameFiles) {
  f.ui.column_answers.push_back({Audit::ColumnHeaders(), "windows-1252", false});
  QTest::mouseClick(window->ColumnsButton(), Qt::LeftButton);
  const std::string small = Png(120, 1), big = Png(600, 2), other = Png(600, 3);
  for (const auto& [name, album, track, cover] :
       std::vector<std::tuple<std::string, std::u16string, std::u16string, std::string>>{
           {"Small/1.mp3", u"Small", u"1", small},
           {"Small/2.mp3", u"Small", u"2", small},
           {"Differ/1.mp3", u"Differ", u"1", big},
           {"Differ/2.mp3", u"Differ", u"2", other},
           {"Clean/1.mp3", u"Clean", u"1", big},
           {"Clean/2.mp3", u"Clean", u"2", big}}) {
    window->form().ListView1.AppendRow(
        QString::fromStdString(dir.Write(name, Covered(album, track, cover))));
  }
  QTest::mouseClick(window->PushButton(10), Qt::LeftButton);
  ASSERT_EQ(window->form().ListView2.RowCount(), 6);
  // A sort after the run leaves every cover with its own file.
  window->form().ListView2.ReorderRows({5, 4, 3, 2, 1, 0});

  const std::optional<LibraryReport::Made> made = window->form().MakeLibraryReport();
  ASSERT_TRUE(made);
  const Findings window_found = Of(made->report);
  const Findings expected{{"cover-too-small", dir.PathOf("Small/1.mp3")},
                          {"cover-too-small", dir.PathOf("Small/2.mp3")},
                          {"covers-differ", dir.PathOf("Differ")}};
  EXPECT_EQ(window_found, expected);

  const auto cli = TestFiles::Run((*TestFiles::BinDir() / "tagloom-cli").string(),
                                  {"audit", "--format", "json", dir.Path().string()});
  EXPECT_EQ(cli.status, 4) << cli.err;
  Findings cli_found;
  for (const QString& text : QString::fromStdString(cli.out).split(u'\n', Qt::SkipEmptyParts)) {
    const auto line = ParseJsonLine(text.toStdString());
    ASSERT_TRUE(line) << text.toStdString();
    const auto value = [&](const char* key) {
      const std::u16string& v = line->Find(key)->text;
      return QString::fromStdU16String(v).toStdString();
    };
    if (value("rule") != "stat") cli_found.insert({value("rule"), value("path")});
  }
  EXPECT_EQ(window_found, cli_found);

  // Remembered between runs, the covers come from the index once the files are still.
  TestFiles::TempDir cache;
  const QByteArray before = qgetenv("XDG_CACHE_HOME");
  qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(cache.Path().string()));
  window->form().SetRememberFiles(true);
  std::this_thread::sleep_for(std::chrono::milliseconds(2100));
  for (int round = 0; round < 2; ++round) {
    QTest::mouseClick(window->PushButton(10), Qt::LeftButton);
    ASSERT_EQ(window->form().ListView2.RowCount(), 6);
    const std::optional<LibraryReport::Made> again = window->form().MakeLibraryReport();
    ASSERT_TRUE(again);
    EXPECT_EQ(Of(again->report), expected) << round;
  }
  EXPECT_TRUE(std::filesystem::exists(cache.PathOf("tagloom/index.db")));
  window->form().SetRememberFiles(false);
  if (before.isEmpty())
    qunsetenv("XDG_CACHE_HOME");
  else
    qputenv("XDG_CACHE_HOME", before);
}

TEST_F(LibraryReportTest, StoppedAudioCheckLeavesTheReportAsItWas) {
  f.ui.column_answers.push_back(
      {{"Full path", "Title", "Artist", "Album", "TrackNumber"}, "windows-1252", false});
  QTest::mouseClick(window->ColumnsButton(), Qt::LeftButton);
  for (const char* name : {"A/1.mp3", "A/2.mp3"})
    window->form().ListView1.AppendRow(QString::fromStdString(
        dir.Write(name, Mp3(name[2] == '1' ? u"One" : u"Two", name[2] == '1' ? u"1" : u"2", 128))));
  QTest::mouseClick(window->PushButton(10), Qt::LeftButton);
  QTest::mouseClick(window->ReportButton(), Qt::LeftButton);
  auto* dialog = window->findChild<LibraryReportDialog*>();
  ASSERT_NE(dialog, nullptr);
  const int groups = dialog->Findings().topLevelItemCount();

  QTest::mouseClick(dialog->findChild<QPushButton*>("CheckAudio"), Qt::LeftButton);
  auto* progress = dialog->findChild<QProgressDialog*>("AudioCheckProgress");
  ASSERT_NE(progress, nullptr);
  EXPECT_EQ(progress->maximum(), 2);
  progress->cancel();
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return dialog->findChild<QProgressDialog*>("AudioCheckProgress") == nullptr; }));
  QTest::qWait(100);
  const QList<LibraryReportDialog*> open = window->findChildren<LibraryReportDialog*>();
  ASSERT_EQ(open.size(), 1);
  EXPECT_EQ(open.front(), dialog);
  EXPECT_EQ(dialog->Findings().topLevelItemCount(), groups);
}

// The worker of "Check audio…", paced file by file: its progress advances as files are done,
// Stop ends it at the next file with nothing to show, and a check run to the end brings its
// findings.
TEST(AudioCheckTest, ProgressAdvancesStopEndsItAndFindingsArrive) {
  TestFiles::TempDir dir;
  LibraryReport::Made made;
  for (const char* name : {"A/1.mp3", "A/2.mp3", "A/3.mp3"}) {
    Audit::Row row;
    row[Audit::kFullPath] = QString::fromStdString(
        dir.Write(name, Mp3(QString::fromLatin1(name).toStdU16String(), u"1", 128)));
    row[Audit::kFolder] = QString::fromStdString(dir.PathOf("A"));
    row[Audit::kAlbum] = QStringLiteral("A");
    made.rows.push_back(row);
  }
  made.report = Audit::Run(made.rows, made.options);
  const auto rules = [](const Audit::Report& report) {
    QStringList found;
    for (const Audit::Finding& f : report.findings) found << f.rule;
    return found;
  };
  ASSERT_FALSE(rules(made.report).contains("duplicate-audio"));
  const auto until = [](const std::function<bool()>& done) {
    for (int i = 0; i < 1000 && !done(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return done();
  };

  std::counting_semaphore<8> go(0);
  {
    LibraryReport::AudioCheck check(made, true, true, [&](size_t) { go.acquire(); });
    EXPECT_EQ(check.Total(), 3U);
    go.release();
    ASSERT_TRUE(until([&] { return check.Done() == 1; }));
    EXPECT_FALSE(check.Finished());
    check.Stop();
    go.release(3);
    ASSERT_TRUE(until([&] { return check.Finished(); }));
    EXPECT_LT(check.Done(), 3U);
    EXPECT_FALSE(check.Result());
  }

  LibraryReport::AudioCheck check(made, true, true);
  ASSERT_TRUE(until([&] { return check.Finished(); }));
  EXPECT_EQ(check.Done(), 3U);
  const std::optional<LibraryReport::Made> checked = check.Result();
  ASSERT_TRUE(checked);
  EXPECT_EQ(rules(checked->report).count("duplicate-audio"), 1);
  EXPECT_TRUE(checked->rows[0].audio_hash);
}

// Files made by LAME: the window's profile chart names the preset their headers tell, as the
// command line's statistics do.
TEST_F(LibraryReportTest, ProfileChartNamesTheLamePreset) {
  std::string pcm;
  for (int i = 0; i < 44100 * 2; ++i) {
    const char sample = (i / 50) % 2 ? 0x10 : -0x10;
    pcm += std::string{0, sample, 0, sample};
  }
  const auto le = [](uint32_t v, int width) {
    std::string bytes;
    for (int i = 0; i < width; ++i) bytes += static_cast<char>((v >> (8 * i)) & 0xFF);
    return bytes;
  };
  const std::string wav = dir.Write(
      "in.wav", "RIFF" + le(static_cast<uint32_t>(36 + pcm.size()), 4) + "WAVEfmt " + le(16, 4) +
                    le(1, 2) + le(2, 2) + le(44100, 4) + le(44100 * 4, 4) + le(4, 2) + le(16, 2) +
                    "data" + le(static_cast<uint32_t>(pcm.size()), 4) + pcm);
  std::filesystem::create_directories(dir.PathOf("Album"));
  for (const auto& [option, value, name] :
       std::vector<std::tuple<std::string, std::string, std::string>>{
           {"-V", "0", "Album/v0.mp3"}, {"-b", "192", "Album/b192.mp3"}}) {
    const auto lame = TestFiles::Run("lame", {"--quiet", option, value, wav, dir.PathOf(name)});
    if (lame.status == 127) GTEST_SKIP() << "no lame";
    ASSERT_EQ(lame.status, 0) << lame.err;
    window->form().ListView1.AppendRow(QString::fromStdString(dir.PathOf(name)));
  }
  QTest::mouseClick(window->PushButton(10), Qt::LeftButton);
  QTest::mouseClick(window->ReportButton(), Qt::LeftButton);
  auto* dialog = window->findChild<LibraryReportDialog*>();
  ASSERT_NE(dialog, nullptr);
  QStringList bars;
  for (QChartView* view : dialog->findChildren<QChartView*>())
    if (view->chart()->title() == "profile")
      for (QAbstractAxis* axis : view->chart()->axes(Qt::Vertical))
        if (auto* names = qobject_cast<QBarCategoryAxis*>(axis)) bars = names->categories();
  bars.sort();
  EXPECT_EQ(bars, QStringList({"CBR 192", "VBR V0"}));
}

}  // namespace
