#include <gtest/gtest.h>

#include <QString>
#include <QStringList>

#include "app/Form1.h"
#include "app/FormLoad.h"
#include "app/SampleFiles.h"
#include "platform/StepFailure.h"
#include "tests/support/fakes/FakeServices.h"

namespace {

/// Records what start-up asks of the window; the skin can be made unreadable.
class RecordingWindow : public MainWindowPort {
 public:
  void ApplySkin(const QString& path) override {
    if (skin_fails) throw StepFailure("The skin file could not be read.");
    skin = path;
  }
  void SetCaption(const QString& text) override { caption = text; }
  void ShowProgramIcon() override { icon_shown = true; }
  void LoadHoverPicture(const QString& path) override { hover = path; }

  bool skin_fails = false;
  QString skin;
  QString caption;
  bool icon_shown = false;
  QString hover;
};

const QString kProgram = QStringLiteral("/opt/tagloom");
const QString kSamples = QStringLiteral("/opt/tagloom/Samples");

class Form1Test : public ::testing::Test {
 protected:
  FakeServices f;
  RecordingWindow window;
  Form1 form{f.services, window, kProgram};
};

TEST(ApplicationTitleTest, CutsAtTheLastSpaceOnceThenWhileLongerThanForty) {
  EXPECT_EQ(ApplicationTitleOf(QStringLiteral("Tagloom")), QStringLiteral("Tagloom"));
  EXPECT_EQ(ApplicationTitleOf(QStringLiteral("Tagloom Batch Tag Reader")),
            QStringLiteral("Tagloom Batch Tag"));
  EXPECT_EQ(ApplicationTitleOf(QStringLiteral("Tagloom reads the tags of many MP3 files in one "
                                              "batch")),
            QStringLiteral("Tagloom reads the tags of many MP3 files"));
  EXPECT_EQ(ApplicationTitleOf(QStringLiteral("A ")), QStringLiteral("A"));
}

TEST_F(Form1Test, StartUpWithNothingBesideTheProgramIsPlainAndSilent) {
  form.Form_Load();
  EXPECT_TRUE(f.ui.shown.empty());
  EXPECT_TRUE(window.skin.isEmpty());
  EXPECT_TRUE(window.hover.isEmpty());
  EXPECT_EQ(window.caption, QStringLiteral("Tagloom"));
  EXPECT_TRUE(window.icon_shown);
  EXPECT_EQ(f.ui.ApplicationTitle(), QStringLiteral("Tagloom"));
  EXPECT_TRUE(f.desktop.opened_addresses.isEmpty());  // 0.5 draws 51
  EXPECT_EQ(form.ProgressBar1.Caption(), QStringLiteral("Progress Bar"));
  EXPECT_EQ(form.ProgressBar1.Value(), 0);
}

TEST_F(Form1Test, StartUpCreatesTheColumnsOfBothLists) {
  form.Form_Load();
  ASSERT_EQ(form.ListView1.ColumnCount(), 1);
  EXPECT_EQ(form.ListView1.Header(1), QStringLiteral("File(s)"));
  EXPECT_EQ(form.ListView1.ColumnWidth(1), 7000);
  const QStringList headers = {"Filename",    "Title", "Artist",    "Album",
                               "TrackNumber", "Year",  "Comments",  "Lyrics",
                               "Composer",    "Band",  "Conductor", "Copyright"};
  const std::vector<int> widths = {5000,
                                   1500,
                                   1500,
                                   1500,
                                   1500,
                                   1500,
                                   1500,
                                   1500,
                                   1500,
                                   ReportListModel::kDefaultColumnWidth,
                                   ReportListModel::kDefaultColumnWidth,
                                   ReportListModel::kDefaultColumnWidth};
  ASSERT_EQ(form.ListView2.ColumnCount(), 12);
  for (int c = 1; c <= 12; ++c) {
    EXPECT_EQ(form.ListView2.Header(c), headers[c - 1]);
    EXPECT_EQ(form.ListView2.ColumnWidth(c), widths[c - 1]) << c;
  }
}

TEST_F(Form1Test, SkinAndHoverPictureAreUsedWhenPresent) {
  f.files.AddFile(kProgram + QStringLiteral("/x/o.cjs"));
  f.files.AddFile(kProgram + QStringLiteral("/HAND-M.CUR"));
  form.Form_Load();
  EXPECT_EQ(window.skin, kProgram + QStringLiteral("/x/o.cjs"));
  EXPECT_EQ(window.hover, kProgram + QStringLiteral("/HAND-M.CUR"));
  EXPECT_TRUE(f.ui.shown.empty());
}

TEST_F(Form1Test, HomePageOpensOnlyOnDrawSeven) {
  EXPECT_NO_THROW(FormLoad::VisitHomePageSometimes(f.random, f.desktop));  // 0.5: 51
  f.random.fractions = {0.059, 0.06, 0.0699, 0.07, 0.0, 0.999};
  for (int i = 0; i < 6; ++i) FormLoad::VisitHomePageSometimes(f.random, f.desktop);
  EXPECT_EQ(f.desktop.opened_addresses,
            QStringList({QStringLiteral("https://vendramel.example/tagloom"),
                         QStringLiteral("https://vendramel.example/tagloom")}));
}

TEST_F(Form1Test, StartUpFailuresAreReportedWithTheirStepAndStartUpGoesOn) {
  f.files.AddFile(kProgram + QStringLiteral("/x/o.cjs"));
  window.skin_fails = true;
  f.desktop.refuse = true;
  f.random.fractions = {0.06};
  form.Form_Load();
  const QStringList reports = f.ui.Reports();
  ASSERT_EQ(reports.size(), 2);
  EXPECT_EQ(reports[0],
            QStringLiteral("The skin file could not be read.\r\nin Quarnset2021/08/31.Form1."
                           "Form_Load at line 100\r\rPlease email screenshot of this message to "
                           "support@vendramel.example"));
  EXPECT_TRUE(reports[1].startsWith(QStringLiteral(
      "The desktop could not open the address.\r\nin Quarnset2021/08/31.Form1.Form_Load at line "
      "110\r\r")));
  EXPECT_EQ(window.caption, QStringLiteral("Tagloom"));
  EXPECT_EQ(form.ListView2.ColumnCount(), 12);
}

TEST_F(Form1Test, HelpTellsHowToUseTheProgramAndNamesTheContactPageUnderTheApplicationTitle) {
  form.Form_Load();
  form.PushButton9_Click();
  ASSERT_EQ(f.ui.shown.size(), 1u);
  EXPECT_EQ(f.ui.shown[0].kind, ScriptedUi::Kind::Message);
  const QString& text = f.ui.shown[0].text;
  EXPECT_TRUE(text.startsWith("Tagloom")) << text.toStdString();
  for (const char* step :
       {"\r1. Queue files", "\r2. Press \"Start Extracting Tags\" (F5)", "\r3. Clear the box"})
    EXPECT_TRUE(text.contains(QString::fromUtf8(step))) << step;
  EXPECT_TRUE(
      text.endsWith(QStringLiteral("\r\rQuestions? Please contact Team Vendramel at "
                                   "https://vendramel.example/contact")));
  EXPECT_EQ(f.ui.shown[0].title, QStringLiteral("Tagloom"));
}

TEST_F(Form1Test, HoverNeverReplacesTheBusyPointer) {
  form.PushButton_MouseMove();
  EXPECT_EQ(form.MousePointer.Shape(), Pointer::Hover);
  form.Form_MouseMove();
  EXPECT_EQ(form.MousePointer.Shape(), Pointer::Default);
  form.MousePointer.BeginLongAction();
  form.PushButton_MouseMove();
  form.Form_MouseMove();
  EXPECT_EQ(form.MousePointer.Shape(), Pointer::Busy);
}

TEST_F(Form1Test, ClosingDuringARunStopsItAtItsNextYield) {
  form.Form_Load();
  for (const char* name : {"/m/a.mp3", "/m/b.mp3", "/m/c.mp3"})
    form.ListView1.AppendRow(QString::fromLatin1(name));
  f.events.on_yield = [&](int n) {
    if (n == 1) form.Form_Unload();
  };
  form.PushButton10_Click();
  EXPECT_TRUE(form.Closing());
  EXPECT_EQ(form.ListView2.RowCount(), 0);
  EXPECT_EQ(f.events.yields, 1);
  EXPECT_TRUE(f.ui.shown.empty());
  EXPECT_FALSE(form.ExtractionRunning);
  EXPECT_FALSE(form.MousePointer.IsBusy());
}

class SampleFilesTest : public Form1Test {
 protected:
  void SetUp() override {
    form.Form_Load();
    f.files.AddFile(kSamples + QStringLiteral("/b.mp3"));
    f.files.AddFile(kSamples + QStringLiteral("/a.mp3"));
    f.files.AddFile(kSamples + QStringLiteral("/.hidden.mp3"), FileAttribute::kArchive | 2);
    f.files.AddFile(kSamples + QStringLiteral("/locked.mp3"));
    f.files.MakeUnopenable(kSamples + QStringLiteral("/locked.mp3"));
    f.files.AddFolder(kSamples + QStringLiteral("/More"));
  }
  QStringList Rows() const {
    QStringList rows;
    for (int r = 1; r <= form.ListView1.RowCount(); ++r) rows.append(form.ListView1.Text(r));
    return rows;
  }
  const QString kQuestion = QStringLiteral(
      "Would you like this software to open the folder where these sample files are stored (so "
      "that you can view them before working with them)?");
};

TEST_F(SampleFilesTest, AddsPresentUnlistedFilesInListingOrderThenAsks) {
  form.ListView1.AppendRow(kSamples + QStringLiteral("/a.mp3"));  // added by the user before
  form.ListView1.AppendRow(kSamples + QStringLiteral("/B.mp3"));  // differs in case only
  f.ui.yes_no_answers = {true};
  form.PushButton8_Click();
  EXPECT_EQ(Rows(), QStringList({kSamples + "/a.mp3", kSamples + "/B.mp3",
                                 kSamples + "/.hidden.mp3", kSamples + "/b.mp3"}));
  ASSERT_EQ(f.ui.shown.size(), 1u);
  EXPECT_EQ(f.ui.shown[0].kind, ScriptedUi::Kind::YesNo);
  EXPECT_EQ(f.ui.shown[0].text, kQuestion);
  EXPECT_EQ(f.ui.shown[0].title, QStringLiteral("Tagloom"));
  // The folder goes to the desktop as a plain path, without quotes.
  EXPECT_EQ(f.desktop.opened_folders, QStringList{kSamples + QStringLiteral("/")});
}

TEST_F(SampleFilesTest, SecondPressAddsNothingButAsksAgainAndNoOpensNothing) {
  form.PushButton8_Click();
  const QStringList first = Rows();
  EXPECT_EQ(first.size(), 3);
  form.PushButton8_Click();
  EXPECT_EQ(Rows(), first);
  EXPECT_EQ(f.ui.Texts(ScriptedUi::Kind::YesNo), QStringList({kQuestion, kQuestion}));
  EXPECT_TRUE(f.desktop.opened_folders.isEmpty());
}

TEST_F(SampleFilesTest, MissingFolderAddsNothingAndStillAsks) {
  FakeServices g;
  RecordingWindow w;
  Form1 other{g.services, w, QStringLiteral("/elsewhere")};
  other.PushButton8_Click();
  EXPECT_EQ(other.ListView1.RowCount(), 0);
  EXPECT_EQ(g.ui.Texts(ScriptedUi::Kind::YesNo).size(), 1);
  EXPECT_TRUE(g.ui.Reports().isEmpty());
}

TEST_F(SampleFilesTest, FailuresAreReportedByTheButtonAndSkipTheRest) {
  f.files.MakeUnreadable(kSamples);
  form.PushButton8_Click();
  ASSERT_EQ(f.ui.Reports().size(), 1);
  EXPECT_TRUE(f.ui.Reports()[0].startsWith(QStringLiteral(
      "Permission denied\r\nin Quarnset2021/08/31.Form1.PushButton8_Click at line 100\r\r")));
  EXPECT_TRUE(f.ui.Texts(ScriptedUi::Kind::YesNo).isEmpty());

  FakeServices g;
  RecordingWindow w;
  Form1 other{g.services, w, kProgram};
  g.files.AddFile(kSamples + QStringLiteral("/a.mp3"));
  g.ui.yes_no_answers = {true};
  g.desktop.refuse = true;
  other.PushButton8_Click();
  EXPECT_EQ(other.ListView1.RowCount(), 1);
  ASSERT_EQ(g.ui.Reports().size(), 1);
  EXPECT_TRUE(g.ui.Reports()[0].contains(QStringLiteral("PushButton8_Click at line 100")));
}

TEST(ListHasTextTest, ComparesWholeTextsWithCase) {
  ReportListModel list;
  list.AddColumn(QStringLiteral("File(s)"));
  EXPECT_FALSE(Samples::ListHasText(list, QString()));
  list.AppendRow(QStringLiteral("/m/a.mp3"));
  list.AppendRow(QStringLiteral("/m/b.mp3"));
  EXPECT_TRUE(Samples::ListHasText(list, QStringLiteral("/m/b.mp3")));
  EXPECT_FALSE(Samples::ListHasText(list, QStringLiteral("/m/B.mp3")));
  EXPECT_FALSE(Samples::ListHasText(list, QStringLiteral("/m/b.mp")));
}

}  // namespace
