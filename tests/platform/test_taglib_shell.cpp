// The TagLib stand-in for the shell's file properties, on the bundled samples and on files that
// are not music at all.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QMap>
#include <QString>
#include <QStringList>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>

#include "platform/StepFailure.h"
#include "platform/taglib/TagLibShellProperties.h"
#include "tests/support/TestFiles.h"
#include "tools/samples/SampleBuilder.h"

namespace {

using S = TagLibShellProperties;

QString Q(const std::filesystem::path& p) { return QString::fromStdString(p.string()); }

std::optional<QString> SamplesFolder() {
  const auto dir = TestFiles::SamplesDir();
  if (!dir) return std::nullopt;
  return Q(*dir) + u'/';
}

/// The details of one item by column, read through the folder as the handler reads them.
QMap<int, QString> DetailsOf(const ShellFolder& folder, const QString& item_name) {
  QMap<int, QString> out;
  const int item = static_cast<int>(folder.Items().indexOf(item_name));
  if (item < 0) return out;
  for (int k = 0; k < ShellFolder::kColumnCount; ++k) {
    const QString text = folder.DetailsOf(item, k);
    if (!text.isEmpty()) out[k] = text;
  }
  return out;
}

TEST(TagLibShellColumns, NamesTheMusicColumnsOnceAndLeavesGaps) {
  QStringList names;
  for (int k = 0; k < ShellFolder::kColumnCount; ++k) names.append(S::ColumnName(k));
  for (const char* wanted :
       {"Name", "Size", "Item type", "Date modified", "Title", "Authors", "Album Title",
        "Track Number", "Composers", "Genre", "Duration", "Bit Rate"})
    EXPECT_EQ(names.count(QString::fromLatin1(wanted)), 1) << wanted;
  EXPECT_EQ(names[S::kTitle], "Title");
  EXPECT_EQ(names[S::kBitRate], "Bit Rate");
  EXPECT_GT(names.count(QString()), 0);  // unnamed columns become "Others" in the run
  EXPECT_TRUE(S::ColumnName(-1).isEmpty());
  EXPECT_TRUE(S::ColumnName(ShellFolder::kColumnCount).isEmpty());
}

TEST(TagLibShellFormats, SizesDurationsAndRates) {
  EXPECT_EQ(S::FormatSize(0), "0 bytes");
  EXPECT_EQ(S::FormatSize(1023), "1023 bytes");
  EXPECT_EQ(S::FormatSize(1024), "1.00 KB");
  EXPECT_EQ(S::FormatSize(1535), "1.49 KB");  // cut, not rounded
  EXPECT_EQ(S::FormatSize(49202), "48.0 KB");
  EXPECT_EQ(S::FormatSize(1024 * 999), "999 KB");
  EXPECT_EQ(S::FormatSize(1024 * 1000), "0.97 MB");
  EXPECT_EQ(S::FormatSize(5LL * 1024 * 1024 * 1024), "5.00 GB");
  EXPECT_EQ(S::FormatSize(std::numeric_limits<qint64>::max()), "8191 PB");

  EXPECT_EQ(S::FormatDuration(0), "00:00:00");
  EXPECT_EQ(S::FormatDuration(205), "00:03:25");
  EXPECT_EQ(S::FormatDuration(3600 * 125 + 61), "125:01:01");
  EXPECT_EQ(S::FormatDuration(-5), "00:00:00");
  EXPECT_EQ(S::FormatBitRate(128), "128kbps");
}

TEST(TagLibShellSamples, ListsEveryFileByItsShownName) {
  const auto folder_path = SamplesFolder();
  if (!folder_path) GTEST_SKIP() << "TAGLOOM_SAMPLES not set";
  S shell;
  const auto folder = shell.Namespace(*folder_path);
  QStringList expected;
  for (const auto& sample : SampleBuilder::BundledSamples())
    expected.append(QString::fromStdString(sample.name));
  expected.sort(Qt::CaseInsensitive);
  EXPECT_EQ(folder->Items(), expected);
  EXPECT_EQ(folder->ColumnName(S::kAlbumTitle), "Album Title");
}

TEST(TagLibShellSamples, MusicColumnsMatchTheSampleTags) {
  const auto folder_path = SamplesFolder();
  if (!folder_path) GTEST_SKIP() << "TAGLOOM_SAMPLES not set";
  S shell;
  const auto folder = shell.Namespace(*folder_path);

  // Title, Authors, Album Title, Track Number, Genre, Composers, Duration, Bit Rate.
  struct Row {
    const char* file;
    std::u16string_view title, authors, album, track, genre, composers, duration, rate;
  };
  const Row rows[] = {
      {"01 - Harbour Lights (ID3v1).mp3", u"Harbour Lights", u"Marlow Avenue", u"Tidewater", u"",
       u"Folk", u"", u"00:00:03", u"128kbps"},
      {"03 - Lantern Street (ID3v2.2).mp3", u"Lantern Street", u"Juniper Hale", u"Night Market",
       u"3", u"Pop", u"Ada Brennan", u"00:00:03", u"128kbps"},
      {"04 - Salt and Cedar (ID3v2.3).mp3", u"Salt and Cedar", u"\u00C5sa Lindqvist",
       u"Coastline Songs", u"4", u"Rock", u"\u00C5sa Lindqvist", u"00:00:03", u"128kbps"},
      {"05 - Northern Glass (ID3v2.4).mp3", u"Northern Glass", u"Zo\u00EB Marchetti",
       u"Caf\u00E9 Aurora", u"5", u"Electronic", u"Zo\u00EB Marchetti", u"00:00:03", u"128kbps"},
      {"08 - Quiet Engine (CBR).mp3", u"Quiet Engine", u"Marlow Avenue", u"Tidewater", u"8",
       u"Ambient", u"", u"00:00:03", u"128kbps"},
      {"11 - Small Hours (MPEG-2).mp3", u"Small Hours", u"Zo\u00EB Marchetti", u"Caf\u00E9 Aurora",
       u"11", u"Electronic", u"", u"00:00:03", u"64kbps"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.file);
    const auto d = DetailsOf(*folder, QString::fromUtf8(r.file));
    ASSERT_FALSE(d.isEmpty());
    EXPECT_EQ(d.value(S::kName), QString::fromUtf8(r.file));
    EXPECT_EQ(d.value(S::kItemType), "MP3 File");
    EXPECT_EQ(d.value(S::kFileExtension), ".mp3");
    EXPECT_EQ(d.value(S::kTitle), QStringView(r.title));
    EXPECT_EQ(d.value(S::kAuthors), QStringView(r.authors));
    EXPECT_EQ(d.value(S::kAlbumTitle), QStringView(r.album));
    EXPECT_EQ(d.value(S::kTrackNumber), QStringView(r.track));
    EXPECT_EQ(d.value(S::kGenre), QStringView(r.genre));
    EXPECT_EQ(d.value(S::kComposers), QStringView(r.composers));
    EXPECT_EQ(d.value(S::kDuration), QStringView(r.duration));
    EXPECT_EQ(d.value(S::kBitRate), QStringView(r.rate));
    EXPECT_EQ(d.value(S::kPerceivedType), "Audio");
  }

  const auto cedar = DetailsOf(*folder, QStringLiteral("04 - Salt and Cedar (ID3v2.3).mp3"));
  EXPECT_EQ(cedar.value(S::kYear), "2011");
  EXPECT_EQ(cedar.value(S::kComments), "Mixed in one night");
  EXPECT_EQ(cedar.value(S::kCopyright), "2011 Fjord Records");
  EXPECT_EQ(cedar.value(S::kConductors), "Henrik Dahl");
  EXPECT_EQ(cedar.value(S::kAlbumArtist), "The Fjord Band");
  EXPECT_EQ(cedar.value(S::kPublisher), "Fjord Records");
  EXPECT_EQ(cedar.value(S::kSize), "48.0 KB");
  EXPECT_EQ(cedar.value(S::kChannels).isEmpty(), false);
}

TEST(TagLibShellCache, AFolderIsListedAndEachFileReadOncePerRun) {
  const auto folder_path = SamplesFolder();
  if (!folder_path) GTEST_SKIP() << "TAGLOOM_SAMPLES not set";
  S shell;
  auto read_all = [&](const QString& path) {
    const auto folder = shell.Namespace(path);
    for (int item = 0; item < static_cast<int>(folder->Items().size()); ++item)
      for (int k = 0; k < ShellFolder::kColumnCount; ++k) (void)folder->DetailsOf(item, k);
    return static_cast<int>(folder->Items().size());
  };

  shell.BeginRun();
  const int files = read_all(*folder_path);
  read_all(*folder_path);
  read_all(folder_path->chopped(1));  // the same folder without its trailing separator
  EXPECT_EQ(shell.FoldersListed(), 1);
  EXPECT_EQ(shell.FilesRead(), files);
  shell.BeginRun();  // a run started from a yield of this one shares its readings
  read_all(*folder_path);
  shell.EndRun();
  read_all(*folder_path);
  EXPECT_EQ(shell.FoldersListed(), 1);
  shell.EndRun();

  // Outside a run, and in the next run, the folder is read as it is now.
  read_all(*folder_path);
  EXPECT_EQ(shell.FoldersListed(), 2);
  EXPECT_EQ(shell.FilesRead(), 2 * files);
  shell.EndRun();  // one too many is harmless
  shell.BeginRun();
  read_all(*folder_path);
  EXPECT_EQ(shell.FoldersListed(), 3);
  shell.EndRun();
}

TEST(TagLibShellFolders, MissingFoldersAndFilesFailToOpen) {
  TestFiles::TempDir dir;
  const std::string file = dir.Write("song.mp3", "ID3");
  S shell;
  EXPECT_THROW(shell.Namespace(Q(dir.Path()) + "/missing/"), StepFailure);
  EXPECT_THROW(shell.Namespace(QString::fromStdString(file)), StepFailure);
  EXPECT_THROW(shell.Namespace(QString()), StepFailure);
  shell.BeginRun();
  EXPECT_THROW(shell.Namespace(Q(dir.Path()) + "/missing/"), StepFailure);
  shell.EndRun();
  try {
    shell.Namespace(Q(dir.Path()) + "/missing/");
  } catch (const StepFailure& e) {
    EXPECT_NE(std::string(e.what()).find("missing"), std::string::npos) << e.what();
  }
}

TEST(TagLibShellFolders, FilesThatAreNotMusicKeepTheirFileDetails) {
  TestFiles::TempDir dir;
  dir.Write("empty.mp3", "");
  dir.Write("noise.mp3", std::string(5000, '\xFF'));  // frame syncs everywhere, no valid frame
  dir.Write("truncated.mp3", "ID3\x03\x00\x00\x7F\x7F\x7F\x7FTIT2");
  dir.Write("notes.txt", "not music");
  dir.Write(".hidden.mp3", "");
  dir.Write("Sub Folder/inner.mp3", "");
  ASSERT_EQ(::mkfifo(dir.PathOf("pipe.mp3").c_str(), 0600), 0);

  S shell;
  const auto folder = shell.Namespace(Q(dir.Path()));
  EXPECT_EQ(folder->Items(), QStringList({"Sub Folder", ".hidden.mp3", "empty.mp3", "noise.mp3",
                                          "notes.txt", "pipe.mp3", "truncated.mp3"}));

  const auto sub = DetailsOf(*folder, "Sub Folder");
  EXPECT_EQ(sub.value(S::kItemType), "File folder");
  EXPECT_FALSE(sub.contains(S::kSize));
  EXPECT_TRUE(sub.value(S::kAttributes).contains(u'D'));

  for (const char* name : {"empty.mp3", "noise.mp3", "truncated.mp3", "pipe.mp3"}) {
    SCOPED_TRACE(name);
    const auto d = DetailsOf(*folder, QString::fromLatin1(name));
    EXPECT_EQ(d.value(S::kName), QString::fromLatin1(name));
    EXPECT_FALSE(d.contains(S::kTitle));
    EXPECT_FALSE(d.contains(S::kDuration));
    EXPECT_FALSE(d.contains(S::kBitRate));
  }
  EXPECT_EQ(DetailsOf(*folder, "empty.mp3").value(S::kSize), "0 bytes");
  EXPECT_EQ(DetailsOf(*folder, "notes.txt").value(S::kItemType), "TXT File");
  EXPECT_TRUE(DetailsOf(*folder, ".hidden.mp3").value(S::kAttributes).contains(u'H'));
  EXPECT_EQ(shell.FilesRead(), 5);  // asked of seven items: the pipe and the folder never opened

  // Outside the item and column ranges there is nothing, and nothing fails.
  EXPECT_TRUE(folder->DetailsOf(-1, 0).isEmpty());
  EXPECT_TRUE(folder->DetailsOf(99, 0).isEmpty());
  EXPECT_TRUE(folder->DetailsOf(0, ShellFolder::kColumnCount).isEmpty());
}

TEST(TagLibShellFolders, ReadOnlyFilesShowTheirAttribute) {
  TestFiles::TempDir dir;
  const std::string path = dir.Write("locked.mp3", "");
  ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
  S shell;
  const auto folder = shell.Namespace(Q(dir.Path()));
  EXPECT_EQ(DetailsOf(*folder, "locked.mp3").value(S::kAttributes), "RA");
}

}  // namespace
