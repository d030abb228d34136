// The result table's filter field as Form1 applies it: the caption, and sorting, check boxes and
// every export following the rows shown.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "app/Form1.h"
#include "tests/support/fakes/FakeServices.h"
#include "tests/support/fakes/NoWindow.h"
#include "tools/samples/SampleBuilder.h"

namespace {

class Form1Filter : public ::testing::Test {
 protected:
  void SetUp() override {
    form.Form_Load();
    // Filename, Title, Artist, ...: four rows as a run leaves them, checked.
    for (const auto& [name, title, artist] : {std::tuple{"1.mp3", "Zebra", "Café Tacuba"},
                                              {"2.mp3", "Alpha", "Other"},
                                              {"3.mp3", "Mango", "Cafe Del Mar"},
                                              {"4.mp3", "", "Nobody"}}) {
      const int row = form.ListView2.AppendRow(QString::fromUtf8(name));
      form.ListView2.SetSubItem(row, 1, QString::fromUtf8(title));
      form.ListView2.SetSubItem(row, 2, QString::fromUtf8(artist));
      form.ListView2.SetChecked(row, true);
    }
  }
  QStringList Names() const {
    QStringList names;
    for (int r = 1; r <= form.ListView2.RowCount(); ++r) names.append(form.ListView2.Text(r));
    return names;
  }
  QString Saved() {
    const QString path = QDir(dir.path()).filePath("r.txt");
    f.ui.save_answers.push_back(path);
    form.PushButton1_Click();
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
  }

  QTemporaryDir dir;
  FakeServices f;
  NoWindow window;
  Form1 form{f.services, window, dir.path()};
};

}  // namespace

TEST_F(Form1Filter, TheRowsKeptAreShownCountedAndExportedAlone) {
  EXPECT_EQ(form.ResultFilterCaption(), "");
  const QString everything = Saved();
  ASSERT_TRUE(form.SetResultFilter("artist:cafe"));
  EXPECT_EQ(Names(), QStringList({"1.mp3", "3.mp3"}));
  EXPECT_EQ(form.ResultFilterCaption(), "2 of 4 rows shown");
  EXPECT_EQ(f.settings.values.value("Filter"), "artist:cafe");

  // The text file, the clipboard (text and HTML) and the workbook take the rows shown.
  const QString text = Saved();
  EXPECT_TRUE(text.contains("1.mp3") && text.contains("3.mp3"));
  EXPECT_FALSE(text.contains("2.mp3") || text.contains("4.mp3"));
  form.PushButton6_Click();
  EXPECT_TRUE(f.clipboard.text.startsWith("1.mp3"));
  EXPECT_EQ(f.clipboard.text.count("\r\n"), 2);
  EXPECT_FALSE(f.clipboard.html.contains("Other"));
  EXPECT_TRUE(f.clipboard.html.contains("Cafe Del Mar"));

  // Sorting orders the rows shown; a box cleared leaves its row out; the filter keeps the sort.
  ASSERT_TRUE(form.SortResultsBy(2));
  EXPECT_EQ(Names(), QStringList({"3.mp3", "1.mp3"}));
  form.ListView2.SetChecked(1, false);
  form.PushButton6_Click();
  EXPECT_TRUE(f.clipboard.text.startsWith("1.mp3"));
  EXPECT_EQ(f.clipboard.text.count("\r\n"), 1);
  ASSERT_TRUE(form.SetResultFilter("artist:cafe OR title=alpha"));
  EXPECT_EQ(Names(), QStringList({"2.mp3", "3.mp3", "1.mp3"}));
  EXPECT_EQ(form.SortColumn(), 2);

  // Emptied, every row is back, its box as it was, and the exports are as without a filter.
  ASSERT_TRUE(form.SetResultFilter(""));
  EXPECT_EQ(form.ResultFilterCaption(), "");
  ASSERT_TRUE(form.SortResultsBy(2));
  ASSERT_TRUE(form.SortResultsBy(2));  // back to the run's order
  EXPECT_EQ(Names(), QStringList({"1.mp3", "2.mp3", "3.mp3", "4.mp3"}));
  EXPECT_FALSE(form.ListView2.Checked(3));
  form.ListView2.SetChecked(3, true);
  EXPECT_EQ(Saved(), everything);
}

TEST_F(Form1Filter, AMalformedTextIsNamedAndTheRowsStay) {
  ASSERT_TRUE(form.SetResultFilter("title=alpha"));
  EXPECT_FALSE(form.SetResultFilter("title=alpha OR"));
  EXPECT_EQ(form.ResultFilterProblem(), "OR needs a term after it (at character 13)");
  EXPECT_EQ(Names(), QStringList({"2.mp3"}));
  // A column of the catalogue that these rows were not read for asks for a run.
  EXPECT_FALSE(form.SetResultFilter("bitrate<128"));
  EXPECT_EQ(form.ResultFilterProblem(), "Run again to filter on Bit rate (at character 1)");
  EXPECT_EQ(Names(), QStringList({"2.mp3"}));
  ASSERT_TRUE(form.SetResultFilter("-title="));
  EXPECT_EQ(form.ResultFilterProblem(), "");
  EXPECT_EQ(form.ResultFilterCaption(), "3 of 4 rows shown");
}

TEST_F(Form1Filter, TheTextIsRememberedAndAppliedToTheNextRunsRows) {
  ASSERT_TRUE(form.SetResultFilter("title:mango"));
  FakeServices next;
  next.settings.values = f.settings.values;
  NoWindow other;
  Form1 later{next.services, other, dir.path()};
  later.Form_Load();
  EXPECT_EQ(later.ResultFilterText(), "title:mango");
  // A run clears the table and fills it; the filter then takes the rows it keeps.
  const QString path = QDir(dir.path()).filePath("missing.mp3");
  later.ListView1.AppendRow(path);
  later.PushButton10_Click();
  EXPECT_EQ(later.ListView2.RowCount(), 0);
  EXPECT_EQ(later.ResultFilterCaption(), "0 of 1 rows shown");
  ASSERT_TRUE(later.SetResultFilter("missing"));
  EXPECT_EQ(later.ListView2.RowCount(), 1);
}

TEST(Form1Playlist, TheRowsShownAndCheckedGoIntoThePlaylistInTheirOrder) {
  QTemporaryDir dir;
  FakeServices f;
  NoWindow window;
  Form1 form{f.services, window, dir.path()};
  form.Form_Load();
  const auto mp3 = [&](const QString& name, const std::string& artist, const std::string& title) {
    SampleBuilder::Id3v1Fields v1;
    v1.artist = artist;
    v1.title = title;
    QDir(dir.path()).mkpath("music");
    const QString path = dir.path() + "/music/" + name;
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    const std::string bytes =
        SampleBuilder::Silence(SampleBuilder::kMpeg1, 2.5) + SampleBuilder::Id3v1(v1);
    file.write(bytes.data(), qint64(bytes.size()));
    return path;
  };
  form.ListView1.AppendRow(mp3("a.mp3", "Ann", "One"));
  form.ListView1.AppendRow(mp3("b.mp3", "", ""));
  form.ListView1.AppendRow(mp3("c.mp3", "Cid", "Three"));
  form.PushButton10_Click();
  ASSERT_EQ(form.ListView2.RowCount(), 3);
  ASSERT_TRUE(form.SetResultFilter("-artist:cid"));
  ASSERT_TRUE(form.SortResultsBy(1));
  ASSERT_TRUE(form.SortResultsBy(1));  // b.mp3 first
  EXPECT_EQ(form.ResultPath(1), dir.path() + "/music/b.mp3");

  const QString beside = dir.path() + "/list.m3u8";
  f.ui.save_answers.push_back(beside);
  form.SavePlaylist();
  QFile saved(beside);
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
  // The default columns hold no duration: the length is written as unknown.
  EXPECT_EQ(saved.readAll(),
            "#EXTM3U\n#EXTINF:-1,b\nmusic/b.mp3\n#EXTINF:-1,Ann - One\nmusic/a.mp3\n");

  // With Duration shown, its whole seconds; a playlist elsewhere takes absolute paths.
  ASSERT_TRUE(form.SetResultColumns({"Artist", "Title", "Duration"}));
  form.PushButton10_Click();
  ASSERT_EQ(form.ListView2.RowCount(), 2);
  form.ListView2.SetChecked(2, false);
  const QString below = dir.path() + "/music/sub/list.m3u8";
  QDir(dir.path()).mkpath("music/sub");
  f.ui.save_answers.push_back(below);
  form.SavePlaylist();
  QFile other(below);
  ASSERT_TRUE(other.open(QIODevice::ReadOnly));
  EXPECT_EQ(other.readAll(),
            "#EXTM3U\n#EXTINF:2,Ann - One\n" + (dir.path() + "/music/a.mp3\n").toUtf8());
}

TEST(Form1RowActions, TheRowsSelectedAreOpenedShownCopiedReadAgainAndRemoved) {
  QTemporaryDir dir;
  FakeServices f;
  NoWindow window;
  Form1 form{f.services, window, dir.path()};
  form.Form_Load();
  QDir(dir.path()).mkpath("x");
  QDir(dir.path()).mkpath("y");
  const auto mp3 = [&](const QString& name, const std::string& title) {
    SampleBuilder::Id3v1Fields v1;
    v1.title = title;
    const QString path = dir.path() + "/" + name;
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    const std::string bytes =
        SampleBuilder::Silence(SampleBuilder::kMpeg1, 0.5) + SampleBuilder::Id3v1(v1);
    file.write(bytes.data(), qint64(bytes.size()));
    return path;
  };
  const QStringList paths = {mp3("x/a.mp3", "A"), mp3("x/b.mp3", "B"), mp3("y/c.mp3", "C")};
  form.ListView1.AppendRows(paths);
  form.PushButton10_Click();
  ASSERT_EQ(form.ListView2.RowCount(), 3);
  ASSERT_TRUE(form.SortResultsBy(2));
  ASSERT_TRUE(form.SortResultsBy(2));  // C, B, A

  form.CopyResultPaths({1, 3});
  EXPECT_EQ(f.clipboard.text, paths[2] + "\n" + paths[0]);

  form.OpenResultFiles({2});
  EXPECT_EQ(f.desktop.opened_files, QStringList({paths[1]}));
  // Several go to the player as one playlist, in the order shown.
  form.OpenResultFiles({1, 2});
  ASSERT_EQ(f.desktop.opened_files.size(), 2);
  QFile list(f.desktop.opened_files[1]);
  ASSERT_TRUE(list.open(QIODevice::ReadOnly));
  EXPECT_EQ(list.readAll(),
            ("#EXTM3U\n#EXTINF:-1,c\n" + paths[2] + "\n#EXTINF:-1,b\n" + paths[1] + "\n").toUtf8());
  list.remove();

  // One window a folder.
  form.ShowResultFiles({1, 2, 3});
  EXPECT_EQ(f.desktop.shown_files, QStringList({paths[2], paths[1]}));
  // Folders that cannot be opened once the file manager has refused: said once for the click.
  ASSERT_EQ(f.desktop.late_failures.size(), 2u);
  ASSERT_TRUE(f.ui.Reports().empty());
  for (const auto& failed : f.desktop.late_failures)
    failed(SetupFailure("The folder could not be opened."));
  ASSERT_EQ(f.ui.Reports().size(), 1);
  EXPECT_TRUE(f.ui.Reports()[0].contains("The folder could not be opened."));
  f.desktop.refuse = true;
  form.OpenResultFiles({1});
  ASSERT_EQ(f.ui.Reports().size(), 2);
  EXPECT_TRUE(f.ui.Reports()[1].contains("could not open the file"));
  f.desktop.refuse = false;

  // Edited elsewhere, a file is read again into its row, wherever the row stands now.
  mp3("x/b.mp3", "Bee");
  form.RereadResultRows({2});
  EXPECT_EQ(form.ListView2.Cell(2, 2), "Bee");
  EXPECT_EQ(form.ListView2.Cell(2, 1), "b.mp3");
  EXPECT_EQ(form.ListView2.Cell(1, 2), "C");

  form.RemoveResultRows({3, 1});
  ASSERT_EQ(form.ListView2.RowCount(), 1);
  EXPECT_EQ(form.ResultPath(1), paths[1]);
}

TEST(Form1HiddenColumns, AColumnNotShownIsReadForTheFilterAndKeptOutOfTheExports) {
  QTemporaryDir dir;
  FakeServices f;
  NoWindow window;
  Form1 form{f.services, window, dir.path()};
  form.Form_Load();
  const auto write = [&](const char* name, const SampleBuilder::MpegFormat& format) {
    const QString path = QDir(dir.path()).filePath(QString::fromUtf8(name));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray::fromStdString(SampleBuilder::Silence(format, 0.3)));
    return path;
  };
  SampleBuilder::MpegFormat slow = SampleBuilder::kMpeg1;
  slow.kbps = 64;
  form.ListView1.AppendRows({write("fast.mp3", SampleBuilder::kMpeg1), write("slow.mp3", slow)});
  ASSERT_FALSE(form.ResultColumns().contains("Bit rate"));
  form.PushButton10_Click();
  form.PushButton6_Click();
  const QString unfiltered = f.clipboard.text;

  // Read without it, the rows cannot be filtered on it: the run must read it.
  EXPECT_FALSE(form.SetResultFilter("bit rate<128"));
  EXPECT_EQ(form.ResultFilterProblem(), "Run again to filter on Bit rate (at character 1)");
  EXPECT_EQ(form.ListView2.RowCount(), 2);

  // The next run reads it beside the columns shown, which stay as they were.
  form.PushButton10_Click();
  EXPECT_EQ(form.ResultFilterProblem(), "");
  EXPECT_EQ(form.ResultFilterCaption(), "1 of 2 rows shown");
  ASSERT_EQ(form.ListView2.RowCount(), 1);
  EXPECT_EQ(form.ListView2.Text(1), "slow.mp3");
  EXPECT_FALSE(form.ResultColumns().contains("Bit rate"));
  ASSERT_TRUE(form.SetResultFilter("bitrate>=128"));
  EXPECT_EQ(form.ListView2.Text(1), "fast.mp3");
  ASSERT_TRUE(form.SetResultFilter(""));
  form.PushButton6_Click();
  EXPECT_EQ(f.clipboard.text, unfiltered);  // the kept cells are not exported

  // Shown later, the column is still the run's until the next one: the kept cells filter it.
  QStringList columns = form.ResultColumns();
  columns.append("Bit rate");
  ASSERT_TRUE(form.SetResultColumns(columns));
  ASSERT_TRUE(form.SetResultFilter("bitrate=64"));
  ASSERT_EQ(form.ListView2.RowCount(), 1);
  EXPECT_EQ(form.ListView2.Text(1), "slow.mp3");

  // Read again after an edit elsewhere, the kept cells follow the file.
  write("slow.mp3", SampleBuilder::kMpeg1);
  form.RereadResultRows({1});
  ASSERT_TRUE(form.SetResultFilter("bitrate=128"));
  EXPECT_EQ(form.ListView2.RowCount(), 2);
}
