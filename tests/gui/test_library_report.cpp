// "Library report" in the real window on the offscreen platform: the last run's rows become
// findings by album and charts without another read, a double-click selects the file's row,
// and "Save report…" writes the same page as the command line.
#include <gtest/gtest.h>

#include <QChartView>
#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <set>

#include "app/LibraryReport.h"
#include "app/ui/LibraryReportDialog.h"
#include "app/ui/MainWindow.h"
#include "batch/Audit.h"
#include "platform/PosixFileSystem.h"
#include "tests/platform/fakes/FakeServices.h"
#include "tests/support/JsonLine.h"
#include "tests/support/TestFiles.h"
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
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  const QList<LibraryReportDialog*> dialogs = window->findChildren<LibraryReportDialog*>();
  ASSERT_EQ(dialogs.size(), 1);
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
}

}  // namespace
