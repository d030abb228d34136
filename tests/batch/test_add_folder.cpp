#include <gtest/gtest.h>

#include <QFile>
#include <cerrno>

#include "batch/AddFolder.h"
#include "core/Main.h"
#include "tests/batch/TempTree.h"
#include "tests/support/fakes/FakeFileSystem.h"
#include "tests/support/fakes/MemoryServices.h"
#include "tests/support/fakes/ScriptedUi.h"

namespace {

struct Reported {
  QString location;
  int step;
  QString description;
};

struct Dropped {
  QString folder;  // relative to the tree
  int error;
  bool operator==(const Dropped&) const = default;
};

class WalkTest : public ::testing::Test {
 protected:
  /// Walks from the given folders (relative to the tree) and answers the collection, relative.
  QStringList WalkFrom(const QStringList& relative, bool recurse = true) {
    QStringList folders;
    for (const QString& r : relative) folders.append(tree.PathOf(r) + u'/');
    walked_to_end = AddFolder::GetSubDirectories2016(folders, recurse, Walk());
    QStringList out;
    for (const QString& f : folders) out.append(f.mid(tree.Root().size() + 1));
    return out;
  }
  AddFolder::Walk Walk() {
    return {files, events,
            [this](std::u16string_view location, int step, const QString& description) {
              reports.push_back(
                  {QString::fromUtf16(location.data(), location.size()), step, description});
            },
            [this](const QString& folder, int error, const QString& why) {
              EXPECT_FALSE(why.isEmpty());
              dropped.push_back({folder.mid(tree.Root().size() + 1), error});
            }};
  }

  TempTree tree;
  FailingFileSystem files;
  FakeEventLoop events;
  std::vector<Reported> reports;
  std::vector<Dropped> dropped;
  bool walked_to_end = false;
};

TEST_F(WalkTest, BreadthFirstEachLevelInItsParentsOrderSortedIgnoringCase) {
  tree.File("A/x/deep/f.mp3");
  tree.File("A/B/y/f.mp3");
  tree.Folder("A/c");
  tree.Folder("A/B/a");
  EXPECT_EQ(WalkFrom({"A"}),
            QStringList({"A/", "A/B/", "A/c/", "A/x/", "A/B/a/", "A/B/y/", "A/x/deep/"}));
  EXPECT_TRUE(walked_to_end);
  EXPECT_TRUE(reports.empty());
  // Each folder is listed once while the walk looks for subfolders.
  EXPECT_EQ(files.list_calls, 7);
}

TEST_F(WalkTest, WithoutRecursionOnlyTheDirectSubfoldersAreAdded) {
  tree.Folder("A/1/x");
  tree.Folder("A/2");
  EXPECT_EQ(WalkFrom({"A"}, false), QStringList({"A/", "A/1/", "A/2/"}));
}

TEST_F(WalkTest, LinksBackUpTheTreeEndTheDescentAndOtherLinksAreWalkedOnce) {
  tree.Folder("A/1/x");
  tree.Link(tree.PathOf("A"), "A/1/up");      // a cycle
  tree.Link(tree.PathOf("A/1"), "A/2/side");  // the same folder a second way
  tree.File("E/sub/f.mp3");
  tree.Link(tree.PathOf("E"), "A/3/far");  // a folder elsewhere
  tree.Link(tree.PathOf("E"), "A/3/far2");
  EXPECT_EQ(WalkFrom({"A"}),
            QStringList({"A/", "A/1/", "A/2/", "A/3/", "A/1/x/", "A/3/far/", "A/3/far/sub/"}));
  EXPECT_TRUE(walked_to_end);
}

TEST_F(WalkTest, FoldersThatMayNotBeReadAreDroppedWithoutSkippingTheNextOne) {
  tree.Folder("A/1/in1");
  tree.Folder("A/2/in2");
  tree.Folder("A/3/in3");
  tree.Folder("A/4");
  files.denied = {tree.PathOf("A/1"), tree.PathOf("A/2")};
  EXPECT_EQ(WalkFrom({"A"}), QStringList({"A/", "A/3/", "A/4/", "A/3/in3/"}));
  EXPECT_EQ(files.listed.count(tree.PathOf("A/3")), 1);
  EXPECT_TRUE(reports.empty());
  // Whoever walks is told which folders were left out, and why.
  EXPECT_EQ(dropped, (std::vector<Dropped>{{"A/1/", EACCES}, {"A/2/", EACCES}}));

  // A chosen folder that may not be read leaves nothing to list.
  files.denied = {tree.PathOf("A")};
  EXPECT_EQ(WalkFrom({"A"}), QStringList());
}

TEST_F(WalkTest, OtherListingFailuresKeepTheFolderForItsOwnListing) {
  tree.Folder("A/1/in1");
  tree.Folder("A/2");
  files.broken = {tree.PathOf("A/1")};
  EXPECT_EQ(WalkFrom({"A"}), QStringList({"A/", "A/1/", "A/2/"}));
}

TEST_F(WalkTest, AFolderThatDisappearsDuringTheWalkIsLeftOut) {
  tree.Folder("A/1/x");
  tree.Folder("A/2/y");
  tree.Folder("A/3/z");
  events.on_yield = [this](int n) {
    if (n == 2) QDir(tree.PathOf("A/2")).removeRecursively();  // A is listed by now
  };
  EXPECT_EQ(WalkFrom({"A"}), QStringList({"A/", "A/1/", "A/3/", "A/1/x/", "A/3/z/"}));
  EXPECT_TRUE(reports.empty());
  EXPECT_EQ(dropped, (std::vector<Dropped>{{"A/2/", ENOENT}}));
}

TEST_F(WalkTest, AFolderGoneBeforeAnyListingIsReportedWithTheWalksLocation) {
  tree.Folder("A/1");
  files.flaky = {tree.PathOf("A") + u'/'};
  EXPECT_EQ(WalkFrom({"A"}), QStringList({"A/"}));
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].location, "in Pellivant2021/08/31.AddFolder.GetSubDirectories2016 ");
  EXPECT_EQ(reports[0].step, 112);
  EXPECT_EQ(reports[0].description, "Path not found");
}

TEST_F(WalkTest, YieldsForEveryFolderAndStopsWhenTheProgramCloses) {
  tree.Folder("A/1");
  tree.Folder("A/2");
  WalkFrom({"A"});
  // A, its two subfolders, then 1 and 2 as folders of the next level and once more as found.
  EXPECT_EQ(events.yields, 7);

  events.yields = 0;
  events.on_yield = [this](int n) { events.closing = n >= 2; };
  WalkFrom({"A"});
  EXPECT_FALSE(walked_to_end);
  EXPECT_EQ(events.yields, 2);
}

TEST_F(WalkTest, FoldersWithUnusualNamesAreSkippedButForeignScriptsAreWalked) {
  tree.Folder(QString::fromUtf8("A/Ελληνικά/μέσα"));
  tree.Folder(QString::fromUtf8("A/日本語"));
  tree.Folder(QStringLiteral("A/tab\there/in"));
  tree.Folder(QStringLiteral("A/what?/in"));
  // A name whose bytes are not valid UTF-8 (Latin-1, as old copies have them) is walked under
  // text that turns back into its bytes.
  const QByteArray bad = QFile::encodeName(tree.PathOf("A")) + "/caf\xe9";
  ASSERT_EQ(::mkdir(bad.constData(), 0755), 0);
  ASSERT_EQ(::mkdir((bad + "/in").constData(), 0755), 0);
  const QString cafe = QStringLiteral("A/caf") + QChar(0xEFE9);
  EXPECT_EQ(WalkFrom({"A"}),
            QStringList({"A/", cafe + u'/', QString::fromUtf8("A/Ελληνικά/"),
                         QString::fromUtf8("A/日本語/"), cafe + QStringLiteral("/in/"),
                         QString::fromUtf8("A/Ελληνικά/μέσα/")}));
  // The skipped ones are told, as left out by rule rather than unreadable.
  EXPECT_EQ(dropped, (std::vector<Dropped>{{"A/tab\there", 0}, {"A/what?", 0}}));
}

TEST_F(WalkTest, DeepTreesBeyondTheOldPathLimitAreWalkedWhole) {
  QString relative = QStringLiteral("A");
  for (int i = 0; i < 8; ++i) relative += u'/' + QString(60, QChar(u'a' + i));
  tree.File(relative + "/f.mp3");
  const QStringList walked = WalkFrom({"A"});
  ASSERT_EQ(walked.size(), 9);
  EXPECT_EQ(walked.back(), relative + u'/');
  EXPECT_GT(walked.back().size(), 480);
}

// Attribute combinations that POSIX cannot show, through the fake file system.
TEST(WalkAttributesTest, SystemHiddenFoldersAreSkippedUnlessTheyAreARoot) {
  FakeFileSystem files;
  FakeEventLoop events;
  using namespace FileAttribute;
  files.AddFolder("/m/sys", kSystem | kHidden);
  files.AddFolder("/m/sys/below");
  files.AddFolder("/m/syslink", kSystem | kHidden | kReparsePoint);
  files.AddFolder("/m/hidden", kHidden);
  files.AddFolder("/m/hidden/below");
  files.AddFolder("/m/sysnoindex", kSystem | kHidden | 8192);
  files.AddFolder("/m/mount", kSystem | kHidden);
  files.AddFolder("/m/mount/below");
  files.MakeRoot("/m/mount");
  QStringList folders{"/m/"};
  ASSERT_TRUE(AddFolder::GetSubDirectories2016(folders, true, {files, events, {}}));
  EXPECT_EQ(folders, QStringList({"/m/", "/m/hidden/", "/m/mount/", "/m/sysnoindex/",
                                  "/m/hidden/below/", "/m/mount/below/"}));

  // A chosen folder stays even when it is not walked, so its own files are still listed.
  QStringList chosen{"/m/sys/"};
  AddFolder::GetSubDirectories2016(chosen, true, {files, events, {}});
  EXPECT_EQ(chosen, QStringList({"/m/sys/"}));
}

TEST(ListFilesInFolderTest, MatchesIgnoringCaseTakesHiddenFilesAndLeavesOutFolders) {
  TempTree tree;
  for (const char* name : {"b.mp3", "A.MP3", ".hidden.mp3", "c.Mp3", "d.mp3x", "e.txt", "README",
                           "two..mp3", "~tmp.mp3"})
    tree.File(QStringLiteral("F/") + name);
  tree.Folder("F/folder.mp3");
  tree.Link(tree.PathOf("F/missing"), "F/dangling.mp3");
  PosixFileSystem files;
  const QString folder = tree.PathOf("F");
  EXPECT_EQ(AddFolder::ListFilesInFolder(files, folder, "*.mp3"),
            QStringList({".hidden.mp3", "A.MP3", "b.mp3", "c.Mp3", "two..mp3", "~tmp.mp3"}));
  EXPECT_EQ(AddFolder::ListFilesInFolder(files, folder + u'/', "*..mp3"),
            QStringList({"two..mp3"}));
  EXPECT_EQ(AddFolder::ListFilesInFolder(files, folder, "*.*").size(), 9);
  EXPECT_EQ(AddFolder::ListFilesInFolder(files, folder, "?.txt"), QStringList({"e.txt"}));
  EXPECT_THROW(AddFolder::ListFilesInFolder(files, tree.PathOf("nowhere"), "*.*"), StepFailure);
}

TEST(AddFolderTest, WildcardsFollowTheOldListing) {
  using AddFolder::MatchesPattern;
  EXPECT_TRUE(MatchesPattern(u"song.MP3", u"*.mp3"));
  EXPECT_FALSE(MatchesPattern(u"song.mp3.bak", u"*.mp3"));
  EXPECT_TRUE(MatchesPattern(u"README", u"*.*"));
  EXPECT_TRUE(MatchesPattern(u"a.b.c", u"*.*"));
  EXPECT_TRUE(MatchesPattern(u"ab", u"a?"));
  EXPECT_FALSE(MatchesPattern(u"abc", u"a?"));
  EXPECT_TRUE(MatchesPattern(u"ÄRGER.mp3", u"ärger*"));
  EXPECT_TRUE(MatchesPattern(u"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaab", u"*a*a*a*a*a*b"));
  EXPECT_FALSE(MatchesPattern(u"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", u"*a*a*a*a*a*b"));
  EXPECT_TRUE(MatchesPattern(u"", u"*"));
}

TEST(AddFolderTest, UnusualCharactersAreControlsQuestionMarksAndUndecodableBytes) {
  using AddFolder::HasUnusualCharacters;
  EXPECT_FALSE(HasUnusualCharacters(u""));
  EXPECT_FALSE(HasUnusualCharacters(u"Plain name (2021) ~ ü"));
  EXPECT_FALSE(HasUnusualCharacters(u"日本語 😀"));
  EXPECT_TRUE(HasUnusualCharacters(u"a\u001fb"));
  EXPECT_TRUE(HasUnusualCharacters(u"a\u007f"));
  EXPECT_TRUE(HasUnusualCharacters(u"a\u009f"));
  EXPECT_FALSE(HasUnusualCharacters(u"a\u00a0"));
  EXPECT_TRUE(HasUnusualCharacters(u"why?"));
  EXPECT_TRUE(HasUnusualCharacters(u"bad\uFFFD"));
  EXPECT_TRUE(HasUnusualCharacters(QString(QChar(0xD800))));
  EXPECT_TRUE(HasUnusualCharacters(QString(QChar(0xDC00)) + u'a'));
  EXPECT_TRUE(HasUnusualCharacters(QFile::decodeName("bad\xff")));
}

TEST(AddFolderTest, ProbesAnswerFalseOnAnyTrouble) {
  TempTree tree;
  PosixFileSystem files;
  const QString file = tree.File("d/f.mp3");
  tree.Link(tree.PathOf("d"), "linked");
  EXPECT_TRUE(Main::IsFolder(files, tree.PathOf("d")));
  EXPECT_TRUE(Main::IsFolder(files, tree.PathOf("linked")));
  EXPECT_FALSE(Main::IsFolder(files, file));
  EXPECT_FALSE(Main::IsFolder(files, tree.PathOf("none")));
  EXPECT_FALSE(Main::IsFolder(files, QString()));
  EXPECT_TRUE(AddFolder::FileIsPresent(files, file));
  EXPECT_FALSE(AddFolder::FileIsPresent(files, tree.PathOf("d")));
  EXPECT_FALSE(AddFolder::FileIsPresent(files, tree.PathOf("none.mp3")));
}

TEST(AddFolderTest, BrowseForFolderOpensOnTheInitialFolderAndCutsAtANul) {
  ScriptedUi ui;
  ui.folder_answers = {QStringLiteral("/music/chosen") + QChar(u'\0') + "junk", QString()};
  EXPECT_EQ(AddFolder::BrowseForFolder(ui, "Please select folder:", "/music"), "/music/chosen");
  EXPECT_EQ(ui.shown.back().detail, "/music");
  EXPECT_EQ(ui.shown.back().title, "Please select folder:");
  EXPECT_EQ(AddFolder::BrowseForFolder(ui, "t", "/m"), QString());
}

}  // namespace
