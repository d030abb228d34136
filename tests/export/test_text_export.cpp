#include <sys/stat.h>
#include <unistd.h>

#include "core/Locations.h"
#include "export/TextExport.h"
#include "tests/export/ExportFixture.h"
#include "tests/support/FaultyFileSystem.h"

namespace {

class TextExportTest : public ExportFixture {
 protected:
  void Save(const QString& path, bool with_progress = true) {
    TextExport::SaveListviewProperlySpaced(results, path, with_progress ? &progress : nullptr,
                                           {fakes.events, errors, files});
  }
  std::shared_ptr<TagFileSystem> files;  // null: the real one
};

}  // namespace

TEST_F(TextExportTest, WritesHeaderAndCheckedRowsPaddedByteForByte) {
  Columns({"Filename", "Title"});
  Row({"a.mp3", "Long title"});
  Row({"bb.mp3", ""});
  Row({"unchecked-and-longest.mp3", "x"}, false);
  Save(PathOf("out"));
  // The unchecked row widens column 1 to 25 but is not written.
  EXPECT_EQ(Read(PathOf("out")), QByteArray("Filename                 \tTitle     \t\r\n"
                                            "a.mp3                    \tLong title\t\r\n"
                                            "bb.mp3                   \t          \t\r\n"));
  EXPECT_TRUE(fakes.ui.shown.empty());
  EXPECT_EQ(Leftovers({"out"}), QStringList());
}

TEST_F(TextExportTest, EmptyOrAllUncheckedTablesWriteOnlyTheHeader) {
  Columns({"Filename", "Title"});
  Save(PathOf("empty.txt"));
  EXPECT_EQ(Read(PathOf("empty.txt")), QByteArray("Filename\tTitle\t\r\n"));
  Row({"a.mp3", "A title longer"}, false);
  Save(PathOf("unchecked.txt"));
  EXPECT_EQ(Read(PathOf("unchecked.txt")), QByteArray("Filename\tTitle         \t\r\n"));
}

TEST_F(TextExportTest, IsUtf8WithoutMarkPaddedByCodeUnitsWithTextsAsTheyStand) {
  Columns({"F", "T"});
  Row({QString::fromUtf16(u"\U0001F600"), QStringLiteral("two\r\nlines\tand tab")});
  Row({QString::fromUtf16(u"é"), QString()});
  Save(PathOf("u.txt"));
  // Column 2 is as wide as "two\r\nlines\tand tab": 18 code units.
  EXPECT_EQ(Read(PathOf("u.txt")), "F \tT" + QByteArray(17, ' ') +
                                       "\t\r\n"
                                       "\xF0\x9F\x98\x80\ttwo\r\nlines\tand tab\t\r\n"
                                       "\xC3\xA9 \t" +
                                       QByteArray(18, ' ') + "\t\r\n");
}

TEST_F(TextExportTest, ProgressShowsTheStagesAndEveryThousandthRow) {
  Columns({"Filename"});
  for (int i = 0; i < 2500; ++i) Row({QStringLiteral("f.mp3")});
  Save(PathOf("big.txt"));
  const auto& s = recorded.states;
  ASSERT_GE(s.size(), 6u);
  const QString caption = QStringLiteral("Writing file: big.txt");
  EXPECT_EQ(s[0].first, 1);
  EXPECT_EQ(s[1], std::make_pair(1.0, caption));
  EXPECT_EQ(s[2].first, 10);
  EXPECT_EQ(s[4].first, 20);
  // Row 1 of 2500: 100 * (1 + 2500 div 2000) / 2500.
  EXPECT_DOUBLE_EQ(s[6].first, 0.08);
  QStringList numbered;
  for (const auto& [value, text] : s)
    if (text.endsWith(u')')) numbered.append(text);
  numbered.removeDuplicates();
  EXPECT_EQ(numbered, QStringList({caption + " (1000)", caption + " (2000)"}));
  const size_t n = s.size();
  EXPECT_EQ(s[n - 3], std::make_pair(100.0, QStringLiteral("Done.")));
  EXPECT_EQ(s[n - 1], std::make_pair(0.0, QStringLiteral("Progress Bar")));
  // The last row overshoots 100 by the rounding term, which the bar shows as full.
  EXPECT_DOUBLE_EQ(s[n - 5].first, 100.0 * 2501 / 2500);
}

TEST_F(TextExportTest, WithoutProgressBarAndWithAPathWithoutFolder) {
  Columns({"Filename"});
  Row({"a"});
  const QString old = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(dir.path()));
  Save(QStringLiteral("plain"), false);
  Save(QStringLiteral("shown"), true);
  QDir::setCurrent(old);
  EXPECT_EQ(Read(PathOf("plain")), QByteArray("Filename\t\r\na       \t\r\n"));
  EXPECT_TRUE(recorded.states.size() > 0 &&
              recorded.states[1].second == QStringLiteral("Writing file: shown"));
}

TEST_F(TextExportTest, ReplacesAnExistingFileAndKeepsItsPermissionsAndLinks) {
  Columns({"Filename"});
  Row({"new"});
  const QString real = PathOf("real.txt");
  {
    QFile f(real);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("old content that is longer than the new one\n");
  }
  ::chmod(real.toLocal8Bit().constData(), 0640);
  ASSERT_TRUE(QFile::link(real, PathOf("link.txt")));
  Save(PathOf("link.txt"));
  EXPECT_EQ(Read(real), QByteArray("Filename\t\r\nnew     \t\r\n"));
  EXPECT_TRUE(QFileInfo(PathOf("link.txt")).isSymLink());
  struct stat st {};
  ASSERT_EQ(::stat(real.toLocal8Bit().constData(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(Leftovers({"real.txt", "link.txt"}), QStringList());
}

TEST_F(TextExportTest, AFileThatCannotBeCreatedIsReportedOnceAndNothingElseHappens) {
  Columns({"Filename", "Title"});
  for (int i = 0; i < 50; ++i) Row({"a.mp3", "t"});
  Save(PathOf("missing-folder/out.txt"));
  ASSERT_EQ(fakes.ui.Reports().size(), 1);
  const QString report = fakes.ui.Reports()[0];
  EXPECT_TRUE(report.contains(QStringLiteral("missing-folder")));
  EXPECT_TRUE(report.contains(QStringView(loc::kSaveListviewProperlySpaced).toString() +
                              QStringLiteral("at line 132\r\r")));
  EXPECT_FALSE(QFileInfo::exists(PathOf("missing-folder")));
  // No "Done." for a file that was not written, but the bar comes to rest.
  for (const auto& state : recorded.states) EXPECT_NE(state.second, QStringLiteral("Done."));
  EXPECT_EQ(recorded.states.back(), std::make_pair(0.0, QStringLiteral("Progress Bar")));
}

TEST_F(TextExportTest, AReadOnlyFileIsReportedAndLeftAlone) {
  Columns({"Filename"});
  Row({"a"});
  const QString path = PathOf("ro.txt");
  {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("keep me");
  }
  ::chmod(path.toLocal8Bit().constData(), 0444);
  Save(path);
  EXPECT_EQ(fakes.ui.Reports().size(), 1);
  EXPECT_EQ(Read(path), QByteArray("keep me"));
}

TEST_F(TextExportTest, AWriteThatFailsHalfWayLeavesTheOldFileWholeAndReportsOnce) {
  Columns({"Filename", "Lyrics"});
  const QString lyric(3000, u'l');  // rows of some kilobytes, so the file takes several pieces
  for (int i = 0; i < 1000; ++i) Row({"song.mp3", lyric});
  const QString path = PathOf("kept.txt");
  {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("the user's old export");
  }
  for (auto step : {FaultyFileSystem::Step::kWrite, FaultyFileSystem::Step::kFlush,
                    FaultyFileSystem::Step::kRename}) {
    auto faulty = std::make_shared<FaultyFileSystem>(TagFileSystem::Posix(), step);
    faulty->SetWriteBudget(1 << 20);  // a disk that fills after a megabyte
    files = faulty;
    fakes.ui.shown.clear();
    recorded.states.clear();
    Save(path);
    EXPECT_EQ(faulty->Hits(), 1) << int(step);
    EXPECT_EQ(fakes.ui.Reports().size(), 1) << int(step);
    EXPECT_EQ(Read(path), QByteArray("the user's old export"));
    EXPECT_EQ(Leftovers({"kept.txt"}), QStringList());
    EXPECT_EQ(recorded.states.back(), std::make_pair(0.0, QStringLiteral("Progress Bar")));
  }
}

TEST_F(TextExportTest, ChangesToTheTableDuringTheExportDoNotTearTheFile) {
  Columns({"Filename", "Title"});
  Row({"a.mp3", "one"});
  Row({"b.mp3", "two"});
  // "Clear Results" and a new run's first row arrive while the export yields.
  fakes.events.on_yield = [&](int n) {
    if (n != 3) return;
    results.Clear();
    Row({"a-much-longer-name.mp3", "other"});
  };
  Save(PathOf("t.txt"));
  EXPECT_EQ(Read(PathOf("t.txt")),
            QByteArray("Filename\tTitle\t\r\na.mp3   \tone  \t\r\nb.mp3   \ttwo  \t\r\n"));
  EXPECT_TRUE(fakes.ui.Reports().isEmpty());
}

TEST_F(TextExportTest, ClosingTheWindowStopsWithoutTouchingTheFile) {
  Columns({"Filename"});
  Row({"a"});
  fakes.events.closing = true;
  Save(PathOf("never.txt"));
  EXPECT_FALSE(QFileInfo::exists(PathOf("never.txt")));
  EXPECT_EQ(Leftovers({}), QStringList());
}

TEST_F(TextExportTest, ButtonAsksForANameAndShowsTheBusyPointerWhileWriting) {
  Columns({"Filename"});
  Row({"a.mp3"});
  TextFileExport button(results, progress, pointer, fakes.ui, {fakes.events, errors});
  bool busy_seen = false;
  fakes.events.on_yield = [&](int) { busy_seen = busy_seen || pointer.IsBusy(); };

  button.Run();  // cancelled
  ASSERT_EQ(fakes.ui.shown.size(), 1u);
  EXPECT_EQ(fakes.ui.shown[0].kind, ScriptedUi::Kind::SaveFile);
  EXPECT_EQ(fakes.ui.shown[0].title, QStringLiteral("Save"));
  EXPECT_EQ(fakes.ui.shown[0].detail,
            QStringLiteral("Text Files (*.txt)|*.txt|CSV (*.csv)|*.csv|All Files (*.*)|*.*|"));
  EXPECT_FALSE(busy_seen);
  EXPECT_TRUE(recorded.states.empty());

  fakes.ui.save_answers.push_back(PathOf("chosen"));  // no extension is added
  button.Run();
  EXPECT_EQ(Read(PathOf("chosen")), QByteArray("Filename\t\r\na.mp3   \t\r\n"));
  EXPECT_TRUE(busy_seen);
  EXPECT_FALSE(pointer.IsBusy());
  EXPECT_EQ(fakes.ui.Messages(), QStringList());  // a successful save says nothing
}
