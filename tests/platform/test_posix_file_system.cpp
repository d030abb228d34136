#include <gtest/gtest.h>

#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "platform/FileNames.h"
#include "platform/PosixFileSystem.h"
#include "platform/StepFailure.h"

namespace {

void Touch(const QString& path) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
}

}  // namespace

TEST(PosixFileSystemTest, AttributesFollowTheHouseMapping) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString root = dir.path();
  Touch(root + "/song.mp3");
  Touch(root + "/.hidden.mp3");
  Touch(root + "/locked.mp3");
  QFile::setPermissions(root + "/locked.mp3", QFile::ReadOwner);
  QDir(root).mkdir("sub");
  QFile::link(root + "/sub", root + "/link");
  PosixFileSystem fs;
  using namespace FileAttribute;
  EXPECT_EQ(fs.Attributes(root + "/song.mp3"), kArchive);
  EXPECT_EQ(fs.Attributes(root + "/.hidden.mp3"), kArchive | kHidden);
  EXPECT_EQ(fs.Attributes(root + "/locked.mp3"), kArchive | kReadOnly);
  EXPECT_EQ(fs.Attributes(root + "/sub"), kDirectory);
  EXPECT_EQ(fs.Attributes(root + "/sub/"), kDirectory);
  EXPECT_EQ(fs.Attributes(root + "/link"), kDirectory | kReparsePoint);
  EXPECT_EQ(fs.Attributes(root + "/missing"), std::nullopt);
  EXPECT_EQ(fs.Attributes(QString()), std::nullopt);
}

TEST(PosixFileSystemTest, ListingIsSortedAndFailuresAreReported) {
  QTemporaryDir dir;
  const QString root = dir.path();
  Touch(root + "/b.mp3");
  Touch(root + "/A.mp3");
  QDir(root).mkdir("c");
  PosixFileSystem fs;
  const std::vector<DirectoryEntry> entries = fs.List(root);
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].name, QStringLiteral("A.mp3"));
  EXPECT_EQ(entries[1].name, QStringLiteral("b.mp3"));
  EXPECT_EQ(entries[2].name, QStringLiteral("c"));
  EXPECT_EQ(entries[2].attributes, FileAttribute::kDirectory);
  EXPECT_THROW(fs.List(root + "/missing"), StepFailure);
  EXPECT_THROW(fs.List(root + "/b.mp3"), StepFailure);
  if (::geteuid() != 0) {  // permissions do not stop root
    QFile::setPermissions(root + "/c", QFileDevice::Permissions());
    EXPECT_THROW(fs.List(root + "/c"), StepFailure);
    QFile::setPermissions(root + "/c", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  }
}

TEST(PosixFileSystemTest, ProbesAnswerFalseInsteadOfFailing) {
  QTemporaryDir dir;
  const QString root = dir.path();
  Touch(root + "/song.mp3");
  QFile::setPermissions(root + "/song.mp3", QFileDevice::Permissions());
  PosixFileSystem fs;
  EXPECT_TRUE(fs.FileIsPresent(root + "/song.mp3"));  // attribute access needs no read right
  EXPECT_FALSE(fs.FileIsPresent(root));
  EXPECT_FALSE(fs.FileIsPresent(root + "/missing.mp3"));
  EXPECT_FALSE(fs.FileIsPresent(QString()));
  EXPECT_TRUE(fs.FileHasDate(root + "/song.mp3"));
  EXPECT_TRUE(fs.FileHasDate(root));
  EXPECT_FALSE(fs.FileHasDate(root + "/missing.mp3"));
  EXPECT_TRUE(fs.IsRootFolder(QStringLiteral("/")));
  EXPECT_FALSE(fs.IsRootFolder(root));
  EXPECT_FALSE(fs.IsRootFolder(root + "/song.mp3"));
}

// One reading of a folder gives what ListFolders, Identity and ListFiles give, in their order:
// names of every case and beyond ASCII, links to folders and to nothing, hidden files.
TEST(PosixFileSystemTest, OneReadingGivesTheFoldersTheirIdentitiesAndTheFiles) {
  QTemporaryDir dir;
  const QString root = dir.path();
  for (const char* name :
       {"b.mp3", "A.mp3", "a.mp3", "B.MP3", "_x.mp3", "Z1.mp3", "z.mp3", ".hidden.mp3",
        "\xC3\xA9t\xC3\xA9.mp3", "\xC3\x89T\xC3\x89.mp3", "\xC3\xA8.mp3", "notes.txt"})
    Touch(root + u'/' + QString::fromUtf8(name));
  for (const char* name : {"sub", "Sub2", "\xC3\xA9sub", "_s"})
    QDir(root).mkdir(QString::fromUtf8(name));
  QFile::link(root + "/sub", root + "/link");
  QFile::link(root + "/gone", root + "/dangling.mp3");
  PosixFileSystem fs;
  const auto wanted = [](const QString& name) {
    return name.endsWith(".mp3", Qt::CaseInsensitive);
  };
  const FolderContents contents = fs.ListContents(root + u'/', wanted);
  std::vector<DirectoryEntry> files;
  for (size_t i = 0; i < contents.files.Size(); ++i)
    files.push_back({FileNames::ToText(contents.files.Name(i)), contents.files.Attributes(i)});

  const auto names = [](const std::vector<DirectoryEntry>& entries) {
    QStringList out;
    for (const DirectoryEntry& e : entries)
      out.append(e.name + u':' + QString::number(e.attributes));
    return out;
  };
  EXPECT_EQ(names(contents.folders), names(fs.ListFolders(root)));
  EXPECT_EQ(names(files), names(fs.ListFiles(root, wanted)));
  ASSERT_EQ(contents.identities.size(), contents.folders.size());
  for (size_t i = 0; i < contents.folders.size(); ++i)
    EXPECT_EQ(contents.identities[i], fs.Identity(root + u'/' + contents.folders[i].name));
  // Sorted as QString::compare ignoring case sorts, then by code unit.
  std::vector<DirectoryEntry> sorted = files;
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const DirectoryEntry& a, const DirectoryEntry& b) {
                     const int c = a.name.compare(b.name, Qt::CaseInsensitive);
                     return c != 0 ? c < 0 : a.name < b.name;
                   });
  EXPECT_EQ(names(sorted), names(files));
  EXPECT_EQ(files.size(), 11u);  // every .mp3 but the dangling link
  EXPECT_EQ(contents.folders.size(), 5u);
}
