#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QThread>

#include "batch/FolderScan.h"
#include "core/ErrorReport.h"
#include "platform/ProgressBarModel.h"
#include "platform/ReportListModel.h"
#include "platform/WindowPointer.h"
#include "tests/batch/TempTree.h"
#include "tests/support/fakes/FakeServices.h"

namespace {

const QString kPrompt = QStringLiteral(
    "Enter file extension to load:\r\r(* for all files, txt for all txt files, doc for all doc "
    "files, etc.)");

class FolderScanTest : public ::testing::Test {
 protected:
  FolderScanTest() : scan(fake.ui, fake.settings, files, fake.events, list, pointer, reporter) {}

  /// Answers the two questions and runs the scan; answers the queued paths relative to the tree.
  QStringList Scan(const QString& extension, const QString& folder) {
    fake.ui.input_answers.push_back(extension);
    fake.ui.folder_answers.push_back(tree.PathOf(folder));
    scan.QueueFolder();
    QStringList out;
    for (int r = 1; r <= list.RowCount(); ++r) out.append(list.Text(r).mid(tree.Root().size() + 1));
    return out;
  }

  TempTree tree;
  FakeServices fake;
  FailingFileSystem files;
  ReportListModel list;
  WindowPointer pointer;
  ErrorReport reporter{fake.ui};
  FolderScan scan;
};

TEST_F(FolderScanTest, FilesAreQueuedFolderByFolderBreadthFirst) {
  for (const char* f : {"A/1/x/d.mp3", "A/2/c.mp3", "A/1/b.MP3", "A/a.mp3", "A/z.txt"})
    tree.File(f);
  EXPECT_EQ(Scan("mp3", "A"), QStringList({"A/a.mp3", "A/1/b.MP3", "A/2/c.mp3", "A/1/x/d.mp3"}));
  EXPECT_TRUE(fake.ui.Reports().isEmpty());
  EXPECT_EQ(pointer.Shape(), Pointer::Default);
}

// The walk reads each folder once and keeps its files for the listing that follows.
TEST_F(FolderScanTest, EachFolderIsReadOnce) {
  for (const char* f : {"A/1/x/d.mp3", "A/2/c.mp3", "A/1/b.MP3", "A/a.mp3", "A/3/y/z/e.mp3"})
    tree.File(f);
  EXPECT_EQ(Scan("mp3", "A"),
            QStringList({"A/a.mp3", "A/1/b.MP3", "A/2/c.mp3", "A/1/x/d.mp3", "A/3/y/z/e.mp3"}));
  EXPECT_EQ(files.list_calls, 7);  // A, 1, 2, 3, x, y and z, each once
  files.listed.removeDuplicates();
  EXPECT_EQ(files.listed.size(), files.list_calls);
}

TEST_F(FolderScanTest, TildeNamesAndArchiveHiddenFilesAreLeftOutOtherHiddenFilesAreNot) {
  tree.File("A/~lock.mp3");
  tree.File("A/.plain-hidden.mp3");  // hidden + archive: 34
  tree.File("A/.readonly-hidden.mp3");
  tree.Chmod("A/.readonly-hidden.mp3", 0444);  // 35
  tree.File("target/t.mp3");
  tree.Link(tree.PathOf("target/t.mp3"), "A/.link-hidden.mp3");  // hidden + link: 1026
  tree.File("A/.h/in-hidden-folder.mp3");
  EXPECT_EQ(Scan("*", "A"), QStringList({"A/.link-hidden.mp3", "A/.readonly-hidden.mp3",
                                         "A/.h/in-hidden-folder.mp3"}));
}

TEST_F(FolderScanTest, TheAnswerIsAppendedToStarDotAfterOneLeadingDot) {
  for (const char* f : {"A/a.mp3", "A/README", "A/b.txt", "A/two..mp3", "A/s/c.ogg"}) tree.File(f);
  EXPECT_EQ(Scan("*", "A"),
            QStringList({"A/a.mp3", "A/b.txt", "A/README", "A/two..mp3", "A/s/c.ogg"}));
  // A dot typed before the extension is part of the typing, and the default offered next time
  // reads as the user meant it.
  list.Clear();
  EXPECT_EQ(Scan(".mp3", "A"), QStringList({"A/a.mp3", "A/two..mp3"}));
  EXPECT_EQ(fake.settings.values["Extension"], "mp3");
  list.Clear();
  EXPECT_EQ(Scan("..mp3", "A"), QStringList({"A/two..mp3"}));  // only one dot goes
  EXPECT_EQ(fake.settings.values["Extension"], ".mp3");
  // As file dialogs write it; as a pattern after "*." it would match nothing.
  list.Clear();
  EXPECT_EQ(Scan("*.mp3", "A"), QStringList({"A/a.mp3", "A/two..mp3"}));
  EXPECT_EQ(fake.settings.values["Extension"], "mp3");
  list.Clear();
  EXPECT_EQ(Scan(".*", "A").size(), 5);
}

TEST_F(FolderScanTest, BothAnswersAreRememberedAndOfferedNextTime) {
  tree.File("A/a.mp3");
  Scan("ogg", "A");
  EXPECT_EQ(fake.settings.values["Extension"], "ogg");
  EXPECT_EQ(fake.settings.values["LastFolder"], tree.PathOf("A"));

  Scan("mp3", "A");
  const auto& shown = fake.ui.shown;
  ASSERT_EQ(shown.size(), 4u);
  EXPECT_EQ(shown[0].text, kPrompt);
  EXPECT_EQ(shown[0].title, "Tagloom");  // no title of its own
  EXPECT_EQ(shown[0].detail, "mp3");     // the default before anything was typed
  EXPECT_EQ(shown[1].title, "Please select folder:");
  EXPECT_EQ(shown[1].detail, QString());
  EXPECT_EQ(shown[2].detail, "ogg");
  EXPECT_EQ(shown[3].detail, tree.PathOf("A"));
  EXPECT_EQ(list.RowCount(), 1);
}

TEST_F(FolderScanTest, CancellingEndsTheActionKeepingWhatWasStored) {
  tree.File("A/a.mp3");
  fake.settings.values["LastFolder"] = "/before";
  fake.ui.input_answers.push_back(QString());
  scan.QueueFolder();
  ASSERT_EQ(fake.ui.shown.size(), 1u);  // no folder browser
  EXPECT_FALSE(fake.settings.values.contains("Extension"));

  fake.ui.input_answers.push_back("wav");
  fake.ui.folder_answers.push_back(QString());
  scan.QueueFolder();
  EXPECT_EQ(fake.settings.values["Extension"], "wav");
  EXPECT_EQ(fake.settings.values["LastFolder"], "/before");
  EXPECT_EQ(list.RowCount(), 0);
  EXPECT_EQ(pointer.Shape(), Pointer::Default);
}

TEST_F(FolderScanTest, TheBusyPointerShowsWhileTheTreeIsWalked) {
  tree.File("A/s/a.mp3");
  std::vector<bool> busy;
  fake.events.on_yield = [&](int) { busy.push_back(pointer.IsBusy()); };
  Scan("mp3", "A");
  ASSERT_FALSE(busy.empty());
  EXPECT_TRUE(std::all_of(busy.begin(), busy.end(), [](bool b) { return b; }));
  EXPECT_FALSE(pointer.IsBusy());
}

TEST_F(FolderScanTest, AListingFailureIsReportedAndTheOtherFoldersStillQueue) {
  tree.File("A/1/a.mp3");
  tree.File("A/2/b.mp3");
  tree.File("A/3/c.mp3");
  files.broken = {tree.PathOf("A/2")};
  files.denied = {tree.PathOf("A/3")};  // dropped by the walk, named after it
  EXPECT_EQ(Scan("mp3", "A"), QStringList({"A/1/a.mp3"}));
  EXPECT_EQ(fake.ui.Messages(), QStringList({"1 folder could not be read:\n" + tree.PathOf("A/3") +
                                             " (Permission denied)"}));
  const QStringList reports = fake.ui.Reports();
  ASSERT_EQ(reports.size(), 1);
  EXPECT_TRUE(reports[0].startsWith(
      "Device I/O error\r\nin Quarnset2021/08/31.Form1.PushButton3_Click at line 124\r\r"))
      << reports[0].toStdString();
  EXPECT_EQ(pointer.Shape(), Pointer::Default);
}

TEST_F(FolderScanTest, ClosingTheWindowStopsTheScan) {
  tree.File("A/s/a.mp3");
  tree.File("A/b.mp3");
  fake.events.closing = true;
  EXPECT_EQ(Scan("mp3", "A"), QStringList());
  EXPECT_EQ(pointer.RunningActions(), 0);
}

// A stop keeps what the walk found so far, says how much, and lists no folder again.
TEST_F(FolderScanTest, AStoppedScanKeepsTheFilesFoundAndSaysHowMany) {
  for (const char* f : {"A/a.mp3", "A/1/b.mp3", "A/2/c.mp3", "A/1/x/d.mp3", "A/2/y/e.mp3"})
    tree.File(f);
  bool stop = false;
  scan.SetStopFlag(&stop);
  ProgressBarModel progress;
  scan.SetProgress(&progress);
  // Stops once A, 1 and 2 are listed, before their subfolders are.
  fake.events.on_yield = [&](int) { stop = stop || files.list_calls >= 3; };
  const QStringList queued = Scan("mp3", "A");
  EXPECT_EQ(queued, QStringList({"A/a.mp3", "A/1/b.mp3", "A/2/c.mp3"}));
  EXPECT_EQ(progress.Caption(), "Scan stopped: 3 files added");
  EXPECT_EQ(files.list_calls, 3);
  EXPECT_TRUE(fake.ui.Messages().isEmpty());
  EXPECT_EQ(pointer.RunningActions(), 0);
  // Stopped at once, it adds nothing and says so.
  list.Clear();
  fake.events.on_yield = [&](int) { stop = true; };
  EXPECT_EQ(Scan("mp3", "A"), QStringList());
  EXPECT_EQ(progress.Caption(), "Scan stopped: 0 files added");
}

TEST_F(FolderScanTest, ALongScanShowsItsCountsAndAQuickOneLeavesTheBarAsItWas) {
  for (const char* f : {"A/a.mp3", "A/1/b.mp3", "A/1/c.mp3", "A/1/z.txt", "A/2/x/d.mp3"})
    tree.File(f);
  ProgressBarModel progress;
  progress.SetCaption("Progress Bar");
  scan.SetProgress(&progress);
  QStringList captions;
  QObject::connect(&progress, &ProgressBarModel::Changed,
                   [&](double, const QString& caption) { captions.append(caption); });
  // Every yield takes long enough for the bar to be brought up to date at the next.
  fake.events.on_yield = [](int) { QThread::msleep(110); };
  Scan("mp3", "A");
  ASSERT_GE(captions.size(), 2);
  const QRegularExpression counts(QStringLiteral("^Scanning: [1-4] folders?, [0-4] files?$"));
  for (qsizetype c = 0; c + 1 < captions.size(); ++c)
    EXPECT_TRUE(counts.match(captions[c]).hasMatch()) << captions[c].toStdString();
  EXPECT_EQ(progress.Caption(), "Progress Bar");
}

// The root folder ends with its separator: the paths queued from it must not double it.
TEST_F(FolderScanTest, AFolderChosenWithItsSeparatorGivesPathsWithOneSeparator) {
  tree.File("A/s/a.mp3");
  fake.ui.input_answers.push_back("mp3");
  fake.ui.folder_answers.push_back(tree.PathOf("A") + "/");
  scan.QueueFolder();
  ASSERT_EQ(list.RowCount(), 1);
  EXPECT_EQ(list.Text(1), tree.PathOf("A/s/a.mp3"));
  EXPECT_TRUE(fake.ui.shown.size() == 2);  // the two questions, nothing more
}

TEST_F(FolderScanTest, FoldersThatCouldNotBeReadAreCountedOnTheBarAndNamedOnce) {
  tree.File("A/a.mp3");
  for (int f = 1; f <= 12; ++f) tree.File(QStringLiteral("A/d%1/x.mp3").arg(f, 2, 10, QChar(u'0')));
  for (int f = 1; f <= 12; ++f)
    files.denied.insert(tree.PathOf(QStringLiteral("A/d%1").arg(f, 2, 10, QChar(u'0'))));
  ProgressBarModel progress;
  scan.SetProgress(&progress);
  EXPECT_EQ(Scan("mp3", "A"), QStringList({"A/a.mp3"}));
  EXPECT_EQ(progress.Caption(), "1 file added, 12 folders not read");
  const QStringList messages = fake.ui.Messages();
  ASSERT_EQ(messages.size(), 1);
  const QStringList lines = messages[0].split('\n');
  EXPECT_EQ(lines.front(), "12 folders could not be read:");
  EXPECT_EQ(lines.size(), 1 + 10 + 1);  // ten named, then how many more
  EXPECT_EQ(lines.back(), "… and 2 more");
  EXPECT_EQ(scan.UnreadFolders().size(), 12);
}

}  // namespace
