// "Old": the result table filled from a scripted shell, and once through the TagLib shell.
#include <gtest/gtest.h>

#include <QString>
#include <QStringList>
#include <cstdio>
#include <filesystem>
#include <string>

#include "app/Form1.h"
#include "batch/ShellPropertyRun.h"
#include "core/ErrorReport.h"
#include "core/Locations.h"
#include "platform/taglib/TagLibShellProperties.h"
#include "tests/support/TestFiles.h"
#include "tests/support/fakes/FakeServices.h"
#include "tests/support/fakes/NoWindow.h"
#include "tests/support/fakes/RecordingProgress.h"

namespace {

/// The scripted shell, also counting the runs the handler opens and closes.
class CountingShell : public FakeShellProperties {
 public:
  void BeginRun() noexcept override { ++begun; }
  void EndRun() noexcept override { ++ended; }
  int begun = 0;
  int ended = 0;
};

/// Column names as a shell of the old days reported them, with gaps, and a few that the
/// handler must not take for its own ("Artist", "title").
QStringList MusicColumns() {
  QStringList names(ShellFolder::kColumnCount);
  names[0] = "Name";
  names[1] = "Size";
  names[9] = "Authors";
  names[10] = "Title";
  names[12] = "title";
  names[16] = "Artist";
  names[17] = "Album Title";
  names[19] = "Track Number";
  names[20] = "Genre";
  names[21] = "Duration";
  names[22] = "Bit Rate";
  names[30] = "Composers";
  names[31] = "Others";
  return names;
}

/// Details of one item, by column, for MusicColumns().
QMap<int, QString> SongDetails(const QString& name, const QString& title) {
  return {{0, name},       {1, "4.12 MB"},     {9, "Ann Author"}, {10, title},
          {12, "lower"},   {16, "Not Mapped"}, {17, "An Album"},  {19, "7"},
          {20, "Jazz"},    {21, "00:03:25"},   {22, "128kbps"},   {30, "Cy Composer"},
          {31, "ignored"}, {40, "unnamed"}};
}

class ShellPropertyRunTest : public ::testing::Test {
 protected:
  ShellPropertyRunTest() {
    for (int c = 1; c <= 12; ++c) results.AddColumn(QString::number(c));
    progress.SetCaption(QStringLiteral("Progress Bar"));
  }

  void Queue(const QStringList& paths) {
    for (const QString& p : paths) file_list.AppendRow(p);
  }
  QStringList SubItems(int row) const {
    QStringList out;
    for (int k = 1; k <= 11; ++k) out.append(results.SubItem(row, k));
    return out;
  }

  FakeServices f;
  CountingShell shell;
  ErrorReport errors{f.ui};
  ReportListModel file_list;
  ReportListModel results;
  ProgressBarModel progress;
  WindowPointer pointer;
  ShellPropertyRun run{file_list, results, progress, pointer, f.ui, f.events, shell, errors};
};

TEST_F(ShellPropertyRunTest, EmptyListSaysNoFilesAddedAndChangesNothing) {
  results.AppendRow("kept");
  RecordingProgress recorded(progress);
  run.Start();
  EXPECT_EQ(f.ui.Messages(), QStringList({"No files added."}));
  EXPECT_EQ(results.RowCount(), 1);
  EXPECT_FALSE(results.Checked(1));
  EXPECT_TRUE(recorded.states.empty());
  EXPECT_EQ(pointer.RunningActions(), 0);
  EXPECT_EQ(f.events.yields, 0);
  EXPECT_TRUE(shell.opened.isEmpty());
  EXPECT_EQ(shell.begun, 0);
}

TEST_F(ShellPropertyRunTest, KnownColumnsFillTheirSubItemsAndRowsAreCheckedAfterDone) {
  shell.folders["/music/"] = {MusicColumns(),
                              {"cover.jpg", "SONG.MP3", "other.mp3"},
                              {{"SONG.MP3", SongDetails("SONG.MP3", "Blue")},
                               {"other.mp3", SongDetails("other.mp3", "Other")}}};
  // Spaces around the path end up around the folder, and the shell is asked without them.
  Queue({"/music/song.mp3", "  /music/other.mp3", "/music/absent.mp3"});
  results.AppendRow("from an earlier run");
  RecordingProgress recorded(progress);
  // A file queued during the run counts for the bar but is not read by this run.
  f.events.on_yield = [&](int n) {
    EXPECT_TRUE(pointer.IsBusy());
    if (n == 1) file_list.AppendRow("/music/late.mp3");
  };
  bool checked_during_message = true;
  Pointer pointer_during_message = Pointer::Busy;
  f.ui.on_show = [&] {
    checked_during_message = results.Checked(1);
    pointer_during_message = pointer.Shape();
  };

  run.Start();

  EXPECT_EQ(shell.opened, QStringList({"/music/", "/music/", "/music/"}));
  ASSERT_EQ(results.RowCount(), 3);
  EXPECT_EQ(results.Text(1), "song.mp3");
  EXPECT_EQ(SubItems(1), QStringList({"Blue", "Ann Author", "An Album", "7", "Jazz", "00:03:25",
                                      "128kbps", "Cy Composer", "", "", ""}));
  EXPECT_EQ(results.Text(2), "other.mp3");
  EXPECT_EQ(results.SubItem(2, 1), "Other");
  EXPECT_EQ(results.Text(3), "absent.mp3");
  EXPECT_EQ(SubItems(3), QStringList(11));
  for (int r = 1; r <= 3; ++r) EXPECT_TRUE(results.Checked(r)) << r;

  EXPECT_EQ(f.ui.Messages(), QStringList({"Done."}));
  EXPECT_TRUE(f.ui.Reports().isEmpty());
  EXPECT_FALSE(checked_during_message);
  EXPECT_EQ(pointer_during_message, Pointer::Default);
  EXPECT_EQ(f.events.yields, 3);
  EXPECT_EQ(shell.begun, 1);
  EXPECT_EQ(shell.ended, 1);

  // Unrounded values against the list as it is at each step; no caption until the end.
  ASSERT_EQ(recorded.states.size(), 5u);
  EXPECT_DOUBLE_EQ(recorded.states[0].first, 25);
  EXPECT_DOUBLE_EQ(recorded.states[1].first, 50);
  EXPECT_DOUBLE_EQ(recorded.states[2].first, 75);
  for (int s = 0; s < 4; ++s) EXPECT_EQ(recorded.states[s].second, "Progress Bar");
  EXPECT_EQ(recorded.states[3].first, 0);
  EXPECT_EQ(recorded.states[4], std::make_pair(0.0, QStringLiteral("Progress Bar")));
}

TEST_F(ShellPropertyRunTest, ThirdsAreNotRounded) {
  shell.folders["/m/"] = {MusicColumns(), {}, {}};
  Queue({"/m/a.mp3", "/m/b.mp3", "/m/c.mp3"});
  RecordingProgress recorded(progress);
  run.Start();
  ASSERT_GE(recorded.states.size(), 3u);
  EXPECT_DOUBLE_EQ(recorded.states[0].first, 100.0 / 3);
  EXPECT_DOUBLE_EQ(recorded.states[1].first, 200.0 / 3);
  EXPECT_DOUBLE_EQ(recorded.states[2].first, 100);
}

TEST_F(ShellPropertyRunTest, RowsDraggedDuringTheRunAreEachReadOnce) {
  shell.folders["/m/"] = {MusicColumns(), {}, {}};
  Queue({"/m/a.mp3", "/m/b.mp3", "/m/c.mp3"});
  f.events.on_yield = [&](int n) {
    if (n == 1) file_list.MoveRow(1, 3);  // the reorder drag is allowed while the run yields
  };
  run.Start();
  ASSERT_EQ(results.RowCount(), 3);
  EXPECT_EQ(QStringList({results.Text(1), results.Text(2), results.Text(3)}),
            QStringList({"a.mp3", "b.mp3", "c.mp3"}));
}

TEST_F(ShellPropertyRunTest, FolderWithoutColumnNamesGivesOnlyTheFileName) {
  // Every name empty: all columns read "Others", which no sub-item takes.
  shell.folders["/bare/"] = {QStringList(), {"a.mp3"}, {{"a.mp3", SongDetails("a.mp3", "T")}}};
  shell.folders["/empty/"] = {MusicColumns(), {}, {}};
  Queue({"/bare/a.mp3", "/empty/b.mp3"});
  run.Start();
  ASSERT_EQ(results.RowCount(), 2);
  EXPECT_EQ(results.Text(1), "a.mp3");
  EXPECT_EQ(SubItems(1), QStringList(11));
  EXPECT_EQ(results.Text(2), "b.mp3");
  EXPECT_EQ(SubItems(2), QStringList(11));
  EXPECT_TRUE(results.Checked(1) && results.Checked(2));
  EXPECT_TRUE(f.ui.Reports().isEmpty());
}

TEST_F(ShellPropertyRunTest, DuplicatesOverwriteInShellOrder) {
  QStringList names = MusicColumns();
  names[35] = "Title";  // a later column of the same name wins where it has a text
  shell.folders["/dup/"] = {names,
                            {"Song.mp3", "SONG.mp3", "song.MP3"},
                            {{"Song.mp3", {{10, "first"}, {17, "Album One"}, {19, "1"}}},
                             {"SONG.mp3", {{10, "second"}, {35, "second, later column"}}},
                             {"song.MP3", {{10, "third"}, {19, "3"}}}}};
  shell.folders["/elsewhere/"] = {names, {"song.mp3"}, {{"song.mp3", {{10, "elsewhere"}}}}};
  Queue({"/dup/song.mp3", "/elsewhere/song.mp3", "/dup/song.mp3"});
  run.Start();
  ASSERT_EQ(results.RowCount(), 3);
  // Every matching item is looked at, the last with a text decides each sub-item.
  EXPECT_EQ(results.SubItem(1, 1), "third");
  EXPECT_EQ(results.SubItem(1, 3), "Album One");
  EXPECT_EQ(results.SubItem(1, 4), "3");
  EXPECT_EQ(results.Text(2), "song.mp3");
  EXPECT_EQ(results.SubItem(2, 1), "elsewhere");
  EXPECT_EQ(SubItems(3), SubItems(1));
}

TEST_F(ShellPropertyRunTest, MissingFolderIsReportedAndTheRunGoesOn) {
  shell.folders["/ok/"] = {MusicColumns(), {"b.mp3"}, {{"b.mp3", SongDetails("b.mp3", "B")}}};
  Queue({"/gone/a.mp3", "/ok/b.mp3", "/also-gone/c.mp3", "no-folder.mp3"});
  run.Start();

  // The folder that cannot be opened, then the steps that needed it, each reported once.
  const QStringList reports = f.ui.Reports();
  ASSERT_EQ(reports.size(), 3);
  const QString where = QString::fromUtf16(loc::kPushButton2Click.data(),
                                           static_cast<qsizetype>(loc::kPushButton2Click.size()));
  EXPECT_TRUE(
      reports[0].startsWith("The shell cannot open the folder.\r\n" + where + "at line 126\r\r"))
      << reports[0].toStdString();
  EXPECT_TRUE(reports[1].contains(where + "at line 130\r\r"));
  EXPECT_TRUE(reports[2].contains(where + "at line 140\r\r"));
  EXPECT_EQ(f.ui.shown[0].title, "Application Error");

  EXPECT_EQ(shell.opened, QStringList({"/gone/", "/ok/", "/also-gone/", ""}));
  ASSERT_EQ(results.RowCount(), 4);
  EXPECT_EQ(results.Text(1), "a.mp3");
  EXPECT_EQ(SubItems(1), QStringList(11));
  EXPECT_EQ(results.SubItem(2, 1), "B");
  EXPECT_EQ(results.Text(4), "no-folder.mp3");
  for (int r = 1; r <= 4; ++r) EXPECT_TRUE(results.Checked(r));
  EXPECT_EQ(f.ui.Messages(), QStringList({"Done."}));
  EXPECT_EQ(pointer.RunningActions(), 0);
  EXPECT_EQ(shell.begun, shell.ended);
}

TEST_F(ShellPropertyRunTest, ClosingTheWindowStopsAtTheYield) {
  shell.folders["/m/"] = {MusicColumns(), {}, {}};
  Queue({"/m/a.mp3", "/m/b.mp3"});
  f.events.on_yield = [&](int n) { f.events.closing = n == 2; };
  run.Start();
  EXPECT_EQ(results.RowCount(), 1);
  EXPECT_TRUE(f.ui.shown.empty());
  EXPECT_FALSE(pointer.IsBusy());
  EXPECT_EQ(shell.begun, 1);
  EXPECT_EQ(shell.ended, 1);
}

TEST(ShellPropertyRunPaths, FolderOfPathKeepsEveryPartButTheLast) {
  EXPECT_EQ(ShellPropertyRun::FolderOfPath("C:\\a\\b\\c.mp3", u'\\'), "C:\\a\\b\\");
  EXPECT_EQ(ShellPropertyRun::FolderOfPath("\\\\server\\share\\c.mp3", u'\\'),
            "\\\\server\\share\\");
  EXPECT_EQ(ShellPropertyRun::FolderOfPath("/a/b/c.mp3", u'/'), "/a/b/");
  EXPECT_EQ(ShellPropertyRun::FolderOfPath("/a/b/", u'/'), "/a/b/");
  EXPECT_EQ(ShellPropertyRun::FolderOfPath("c.mp3", u'/'), "");
  EXPECT_EQ(ShellPropertyRun::FolderOfPath("", u'/'), "");
  EXPECT_EQ(ShellPropertyRun::MappingOf("Bit Rate")->sub_item, 7);
  EXPECT_EQ(ShellPropertyRun::MappingOf("Bit rate"), nullptr);
  EXPECT_EQ(ShellPropertyRun::MappingOf("Others"), nullptr);
}

// The window's hidden button runs it on the window's own lists, pointer and progress bar.
TEST(ShellPropertyRunWindow, OldFillsTheWindowsResultTable) {
  FakeServices f;
  NoWindow window;
  Form1 form{f.services, window, QStringLiteral("/opt/tagloom")};
  form.Form_Load();
  f.ui.shown.clear();
  f.shell.folders["/m/"] = {MusicColumns(), {"a.mp3"}, {{"a.mp3", SongDetails("a.mp3", "A")}}};
  form.ListView1.AppendRow("/m/a.mp3");
  bool busy_at_yield = false;
  f.events.on_yield = [&](int) {
    busy_at_yield = form.MousePointer.IsBusy();
    form.PushButton10_Click();  // the main run is not locked out by this one, nor it by the main
  };
  form.PushButton2_Click();
  EXPECT_TRUE(busy_at_yield);
  EXPECT_FALSE(form.ExtractionRunning);
  ASSERT_EQ(form.ListView2.RowCount(), 2);
  EXPECT_EQ(form.ListView2.Text(2), "a.mp3");
  EXPECT_EQ(form.ListView2.SubItem(2, 1), "A");
  EXPECT_TRUE(form.ListView2.Checked(2));
  EXPECT_EQ(form.ProgressBar1.Caption(), "Progress Bar");
  EXPECT_EQ(f.ui.Messages(), QStringList({"Done.", "Done."}));
}

// The whole road through the TagLib shell: each queued sample read once, one listing.
TEST(ShellPropertyRunTagLib, FillsTheTableFromTheSamples) {
  const auto samples = TestFiles::SamplesDir();
  if (!samples) GTEST_SKIP() << "TAGLOOM_SAMPLES not set";
  const QString folder = QString::fromStdString(samples->string()) + u'/';
  FakeServices f;
  TagLibShellProperties shell;
  ErrorReport errors{f.ui};
  ReportListModel file_list, results;
  ProgressBarModel progress;
  WindowPointer pointer;
  for (int c = 1; c <= 12; ++c) results.AddColumn(QString::number(c));
  for (const char* name : {"04 - Salt and Cedar (ID3v2.3).mp3", "01 - Harbour Lights (ID3v1).mp3",
                           "04 - Salt and Cedar (ID3v2.3).mp3"})
    file_list.AppendRow(folder + QString::fromUtf8(name));
  ShellPropertyRun(file_list, results, progress, pointer, f.ui, f.events, shell, errors).Start();

  ASSERT_EQ(results.RowCount(), 3);
  EXPECT_EQ(results.Text(1), "04 - Salt and Cedar (ID3v2.3).mp3");
  QStringList row;
  for (int k = 1; k <= 11; ++k) row.append(results.SubItem(1, k));
  EXPECT_EQ(row, QStringList({"Salt and Cedar", QString::fromUtf16(u"\u00C5sa Lindqvist"),
                              "Coastline Songs", "4", "Rock", "00:00:03", "128kbps",
                              QString::fromUtf16(u"\u00C5sa Lindqvist"), "", "", ""}));
  EXPECT_EQ(results.SubItem(2, 1), "Harbour Lights");
  EXPECT_EQ(results.SubItem(2, 4), "");  // ID3v1 without a track number
  EXPECT_EQ(results.SubItem(3, 1), "Salt and Cedar");
  EXPECT_TRUE(f.ui.Reports().isEmpty());
  EXPECT_EQ(shell.FoldersListed(), 1);
  EXPECT_EQ(shell.FilesRead(), 2);
}

}  // namespace

// The command line runs the same extraction; a bare file name is taken from the current folder.
TEST(ShellPropertyRunCli, ExtractWithShellPropertiesWritesTheRows) {
  const auto samples = TestFiles::SamplesDir();
  const auto bin = TestFiles::BinDir();
  if (!samples || !bin) GTEST_SKIP() << "TAGLOOM_SAMPLES or TAGLOOM_BIN not set";
  const std::filesystem::path cli = *bin / "tagloom-cli";
  if (!std::filesystem::exists(cli)) GTEST_SKIP() << "tagloom-cli not built";
  const TestFiles::RunResult run = TestFiles::Run(
      {.folder = samples->string()}, cli.string(),
      {"extract", "--shell-properties", "--format", "csv", "04 - Salt and Cedar (ID3v2.3).mp3"});
  const int status = run.status;
  const std::string output = run.out + run.err;
  if (output.find("unknown command 'extract'") != std::string::npos)
    GTEST_SKIP() << "tagloom-cli has no extract command";
  EXPECT_EQ(status, 0) << output;
  EXPECT_EQ(output,
            "Filename,Title,Artist,Album,TrackNumber,Year,Comments,Lyrics,Composer,Band,Conductor,"
            "Copyright\r\n"
            "04 - Salt and Cedar (ID3v2.3).mp3,Salt and Cedar,\xC3\x85sa Lindqvist,Coastline Songs,"
            "4,Rock,00:00:03,128kbps,\xC3\x85sa Lindqvist,,,\r\n");
}
