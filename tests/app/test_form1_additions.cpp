// What a user turns on in the window: chosen columns, sorting, Stop. With none of it used the
// window behaves as the other tests of Form1 say.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QStringList>
#include <filesystem>

#include "app/Form1.h"
#include "tests/support/TestFiles.h"
#include "tests/support/fakes/FakeServices.h"
#include "tests/support/fakes/NoWindow.h"
#include "tools/samples/SampleBuilder.h"

namespace {

QStringList Headers(const ReportListModel& list) {
  QStringList headers;
  for (int c = 1; c <= list.ColumnCount(); ++c) headers.append(list.Header(c));
  return headers;
}

class Form1Additions : public ::testing::Test {
 protected:
  QString Mp3(const std::string& name, const std::string& title) {
    SampleBuilder::Id3v1Fields v1;
    v1.title = title;
    v1.year = "2001";
    return QString::fromStdString(dir.Write(
        name, SampleBuilder::Silence(SampleBuilder::kMpeg1, 0.2) + SampleBuilder::Id3v1(v1)));
  }

  FakeServices f;
  NoWindow window;
  Form1 form{f.services, window, QStringLiteral("/opt/tagloom")};
  TestFiles::TempDir dir;
};

TEST_F(Form1Additions, AChoiceOfColumnsIsShownRememberedAndFilledByTheNextRun) {
  form.Form_Load();
  EXPECT_EQ(Headers(form.ListView2), ColumnCatalogue::DefaultHeaders());
  EXPECT_FALSE(f.settings.values.contains("Columns"));  // nothing chosen, nothing written

  form.ListView1.AppendRow(Mp3("b.mp3", "Bee"));
  form.ListView1.AppendRow(QString::fromStdString(dir.PathOf("gone.mp3")));
  form.PushButton10_Click();
  ASSERT_TRUE(form.SetResultColumns({"Title", "status", "Filename"}));
  EXPECT_EQ(Headers(form.ListView2), QStringList({"Title", "Status", "Filename"}));
  EXPECT_EQ(f.settings.values.value("Columns"), "Title|Status|Filename");
  // Rows already read keep what they had; the new column, never read for them, says so until
  // the next run fills it.
  EXPECT_EQ(form.ListView2.Cell(1, 1), "Bee");
  EXPECT_EQ(form.ListView2.Cell(1, 2), "");
  EXPECT_TRUE(form.ListView2.ColumnUnread(2));
  EXPECT_FALSE(form.ListView2.ColumnUnread(1));
  EXPECT_EQ(form.ProgressBar1.Caption(), "Run again to fill the new columns");
  form.PushButton6_Click();
  EXPECT_EQ(f.clipboard.text, "Bee\tb.mp3\r\n   \tgone.mp3\r\n");  // no Status column
  form.PushButton10_Click();
  EXPECT_FALSE(form.ListView2.HasUnreadColumns());
  EXPECT_EQ(form.ListView2.Cell(1, 2), "read");
  EXPECT_EQ(form.ListView2.Cell(2, 2), "missing");
  EXPECT_EQ(form.ProgressBar1.Caption(), "2 files, 1 not read");
  EXPECT_FALSE(form.SetResultColumns({"Title", "Mood"}));

  // The next session starts with the choice; "Old" keeps its own columns for its run.
  FakeServices next;
  next.settings.values = f.settings.values;
  Form1 later{next.services, window, QStringLiteral("/opt/tagloom")};
  later.Form_Load();
  EXPECT_EQ(Headers(later.ListView2), QStringList({"Title", "Status", "Filename"}));
  later.PushButton2_Click();
  EXPECT_EQ(Headers(later.ListView2), ColumnCatalogue::DefaultHeaders());
  EXPECT_EQ(later.ResultColumns(), QStringList({"Title", "Status", "Filename"}));
}

TEST_F(Form1Additions, HeaderClicksSortUpDownThenBackAndOnceARunHasEnded) {
  form.Form_Load();
  for (const auto& [name, title] : {std::pair{"1.mp3", "beta"}, {"2.mp3", "Alpha"}, {"3.mp3", ""}})
    form.ListView1.AppendRow(Mp3(name, title));
  form.PushButton10_Click();
  const auto titles = [&] {
    QStringList out;
    for (int r = 1; r <= form.ListView2.RowCount(); ++r) out.append(form.ListView2.Cell(r, 2));
    return out;
  };
  ASSERT_TRUE(form.SortResultsBy(2));
  EXPECT_EQ(titles(), QStringList({"Alpha", "beta", ""}));
  ASSERT_TRUE(form.SortResultsBy(2));
  EXPECT_EQ(titles(), QStringList({"beta", "Alpha", ""}));
  EXPECT_TRUE(form.SortDescending());
  ASSERT_TRUE(form.SortResultsBy(2));
  EXPECT_EQ(titles(), QStringList({"beta", "Alpha", ""}));  // the run's order
  EXPECT_EQ(form.SortColumn(), 0);

  // A click while rows arrive is kept and sorts the table when the run is over.
  bool refused = false;
  bool clicked = false;
  f.events.on_yield = [&](int) {
    if (!clicked && form.ExtractionRunning) refused = !form.SortResultsBy(2);
    clicked = clicked || form.ExtractionRunning;
    EXPECT_EQ(form.SortColumn(), 0);
  };
  form.PushButton10_Click();
  EXPECT_TRUE(refused);
  EXPECT_EQ(form.SortColumn(), 2);
  EXPECT_EQ(form.PendingSort(), 0);
  EXPECT_EQ(titles(), QStringList({"Alpha", "beta", ""}));
  // A run without a click keeps its order.
  f.events.on_yield = nullptr;
  form.PushButton10_Click();
  EXPECT_EQ(titles(), QStringList({"beta", "Alpha", ""}));
}

TEST_F(Form1Additions, AColumnWidthTheUserGaveIsKeptForItsHeaderAndRemembered) {
  form.Form_Load();
  const int title = 2;
  ASSERT_EQ(form.ListView2.Header(title), "Title");
  form.RememberColumnWidth(title, 3000);
  EXPECT_EQ(form.ListView2.ColumnWidth(title), 3000);
  EXPECT_EQ(f.settings.values.value("ColumnWidths"), "Title=3000");
  // Moved elsewhere by a choice of columns, the column keeps its width.
  ASSERT_TRUE(form.SetResultColumns({"Artist", "Title"}));
  EXPECT_EQ(form.ListView2.ColumnWidth(2), 3000);
  // The next session starts with it.
  FakeServices next;
  next.settings.values = f.settings.values;
  next.settings.values.remove("Columns");
  Form1 later{next.services, window, QStringLiteral("/opt/tagloom")};
  later.Form_Load();
  EXPECT_EQ(later.ListView2.ColumnWidth(title), 3000);
  EXPECT_NE(later.ListView2.ColumnWidth(3), 3000);
}

TEST_F(Form1Additions, StopEndsTheRunAtTheNextFileAndKeepsWhatWasRead) {
  form.Form_Load();
  EXPECT_FALSE(form.Stop());  // nothing busy
  for (const char* name : {"a.mp3", "b.mp3", "c.mp3"}) form.ListView1.AppendRow(Mp3(name, name));
  f.events.on_yield = [&](int n) {
    if (n == 2) {
      EXPECT_TRUE(form.Stop());
    }
  };
  form.PushButton10_Click();
  ASSERT_EQ(form.ListView2.RowCount(), 1);
  EXPECT_TRUE(form.ListView2.Checked(1));
  EXPECT_EQ(form.ProgressBar1.Caption(), "Stopped after 1 of 3 files");  // as every count reads
  EXPECT_TRUE(f.ui.Messages().isEmpty());  // no "Done." for a list not read through
  EXPECT_FALSE(form.ExtractionRunning);

  // The flag does not outlive the run it stopped.
  f.events.on_yield = nullptr;
  form.PushButton10_Click();
  EXPECT_EQ(form.ListView2.RowCount(), 3);
  EXPECT_EQ(f.ui.Messages(), QStringList({"Done."}));
}

}  // namespace

namespace {

TEST_F(Form1Additions, LegacyTextIsRememberedAndReadsTheNextRunsTitles) {
  form.Form_Load();
  EXPECT_EQ(form.LegacyText(), "windows-1252");
  EXPECT_FALSE(f.settings.values.contains("LegacyText"));
  // "Кино" in Windows-1251.
  form.ListView1.AppendRow(Mp3("kino.mp3", "\xCA\xE8\xED\xEE - \xC3\xF0\xF3\xEF\xEF\xE0"));
  form.PushButton10_Click();
  EXPECT_EQ(form.ListView2.Cell(1, 2),
            QString::fromLatin1("\xCA\xE8\xED\xEE - \xC3\xF0\xF3\xEF\xEF\xE0"));

  EXPECT_FALSE(form.SetLegacyText("klingon-1"));
  EXPECT_FALSE(f.settings.values.contains("LegacyText"));
  ASSERT_TRUE(form.SetLegacyText("windows-1251"));
  EXPECT_EQ(f.settings.values.value("LegacyText"), "windows-1251");
  form.PushButton10_Click();
  EXPECT_EQ(form.ListView2.Cell(1, 2), QString::fromUtf8("Кино - Группа"));

  // The next session reads as this one left it; back to the default reads as always.
  FakeServices next;
  next.settings.values = f.settings.values;
  Form1 later{next.services, window, QStringLiteral("/opt/tagloom")};
  later.Form_Load();
  EXPECT_EQ(later.LegacyText(), "windows-1251");
  ASSERT_TRUE(later.SetLegacyText("Windows-1252"));
  EXPECT_EQ(next.settings.values.value("LegacyText"), "windows-1252");
}

TEST_F(Form1Additions, EachRunLeavesItsTotalsPerFolderForTheSummary) {
  form.Form_Load();
  form.ListView1.AppendRow(Mp3("a/1.mp3", "One"));
  form.ListView1.AppendRow(Mp3("b/2.mp3", ""));
  form.PushButton10_Click();
  ReportListModel summary;
  form.FillSummaryTable(summary);
  ASSERT_EQ(summary.RowCount(), 3);  // two folders and all of them
  EXPECT_EQ(summary.Text(1), QString::fromStdString(dir.PathOf("a")));
  EXPECT_EQ(summary.Cell(2, 8), "1");  // b's file has no title
  EXPECT_EQ(summary.Text(3), "All folders");
  EXPECT_EQ(summary.Cell(3, 2), "2");
  // A new run starts the totals again.
  form.ListView1.RemoveRow(2);
  form.PushButton10_Click();
  EXPECT_EQ(form.Summary().Folders().size(), 1u);
}

}  // namespace

namespace {

TEST_F(Form1Additions, TheChooserSetsLegacyTextAndTheSummarySheetAndRemembersOnlyChanges) {
  form.Form_Load();
  f.ui.column_answers.push_back({ColumnCatalogue::DefaultHeaders(), "windows-1252", false});
  form.ChooseColumns();  // nothing changed
  ASSERT_EQ(f.ui.column_requests.size(), 1u);
  EXPECT_EQ(f.ui.column_requests[0].legacy_text, "windows-1252");
  EXPECT_TRUE(f.settings.values.isEmpty());

  f.ui.column_answers.push_back({{"Filename", "Decoded as"}, "windows-1251", true});
  form.ChooseColumns();
  EXPECT_EQ(form.ResultColumns(), QStringList({"Filename", "Decoded as"}));
  EXPECT_EQ(form.LegacyText(), "windows-1251");
  EXPECT_TRUE(form.SummarySheet());
  EXPECT_EQ(f.settings.values.value("SummarySheet"), "1");

  // The workbook then carries the folder totals on a sheet of their own.
  form.ListView1.AppendRow(Mp3("s/a.mp3", "A"));
  form.PushButton10_Click();
  form.PushButton13_Click();
  EXPECT_TRUE(f.spreadsheet.calls.contains("AddSheet Summary"))
      << f.spreadsheet.calls.join(", ").toStdString();

  f.ui.column_answers.push_back({});  // cancelled
  form.ChooseColumns();
  EXPECT_EQ(form.LegacyText(), "windows-1251");
}

}  // namespace

namespace {

TEST_F(Form1Additions, RememberedFilesAreTakenUntilTheyChangeOrAreForgotten) {
  TestFiles::TempDir cache;
  const QByteArray before = qgetenv("XDG_CACHE_HOME");
  qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(cache.Path().string()));
  form.Form_Load();
  EXPECT_FALSE(form.RememberFiles());
  const std::string index = cache.Path().string() + "/tagloom/index.db";
  EXPECT_EQ(form.IndexPath().toStdString(), index);
  form.ListView1.AppendRow(Mp3("a.mp3", "First"));
  form.PushButton10_Click();
  EXPECT_FALSE(std::filesystem::exists(index));  // off unless turned on

  form.SetRememberFiles(true);
  EXPECT_EQ(f.settings.values.value("RememberFiles"), "1");
  form.PushButton10_Click();
  struct stat st {};
  ASSERT_EQ(::stat(index.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  form.PushButton10_Click();
  EXPECT_EQ(form.ListView2.Cell(1, 2), "First");
  // A new title of the same length, the time put back: still seen.
  const std::string path = form.ListView1.Text(1).toStdString();
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  Mp3("a.mp3", "Fir2t");
  const timespec times[2] = {st.st_atim, st.st_mtim};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  form.PushButton10_Click();
  EXPECT_EQ(form.ListView2.Cell(1, 2), "Fir2t");

  // The next session opens it again; forgetting removes it.
  FakeServices next;
  next.settings.values = f.settings.values;
  Form1 later{next.services, window, QStringLiteral("/opt/tagloom")};
  later.Form_Load();
  EXPECT_TRUE(later.RememberFiles());
  later.SetRememberFiles(false);
  EXPECT_TRUE(std::filesystem::exists(index));  // turned off, kept for a later turn on
  EXPECT_TRUE(later.ForgetFiles());
  EXPECT_FALSE(std::filesystem::exists(index));
  EXPECT_TRUE(f.ui.Messages().filter("index").isEmpty())
      << f.ui.Messages().join("\n").toStdString();
  if (before.isNull()) {
    qunsetenv("XDG_CACHE_HOME");
  } else {
    qputenv("XDG_CACHE_HOME", before);
  }
}

// Reads every ".other" file as a FLAC titled after the file's first line.
class NamedOtherReader : public OtherFormatReader {
 public:
  void Read(const std::string& path, OtherFormatRead& out) const override {
    out.Clear();
    if (!path.ends_with(".other")) return;
    out.outcome = OtherFormatRead::Outcome::kRead;
    out.format = "FLAC";
    out.tags = "Vorbis comment";
    out[OtherField::kTitle] = {u"Other title", "Vorbis TITLE"};
    out.has_audio = true;
    out.seconds = 2.5;
  }
};

TEST_F(Form1Additions, ReadingEveryFormatIsChosenRememberedAndWidensTheDialogs) {
  form.SetOtherFormatReader(std::make_shared<NamedOtherReader>());
  form.Form_Load();
  EXPECT_FALSE(form.EveryFormat());
  const QString other = QString::fromStdString(dir.Write("x.other", "not MPEG at all"));
  form.ListView1.AppendRow(other);
  ASSERT_TRUE(form.SetResultColumns({"Title", "Format", "Duration (exact)", "Sources", "Status"}));
  form.PushButton10_Click();
  EXPECT_EQ(form.ListView2.Cell(1, 5), "not MPEG audio");  // off: the engine alone, as before
  EXPECT_EQ(form.ListView2.Cell(1, 2), "");

  f.ui.column_answers.push_back({form.ResultColumns(), "windows-1252", false, true});
  form.ChooseColumns();
  EXPECT_TRUE(f.ui.column_requests.back().every_format == false);
  EXPECT_TRUE(form.EveryFormat());
  EXPECT_EQ(f.settings.values.value("EveryFormat"), "1");
  form.PushButton10_Click();
  EXPECT_EQ(form.ListView2.Cell(1, 1), "Other title");
  EXPECT_EQ(form.ListView2.Cell(1, 2), "FLAC");
  EXPECT_EQ(form.ListView2.Cell(1, 3), "2.500");
  EXPECT_EQ(form.ListView2.Cell(1, 4), "Title Vorbis TITLE");
  EXPECT_EQ(form.ListView2.Cell(1, 5), "read");

  // "Add MP3 File(s)" and the folder prompt offer the audio formats.
  form.PushButton4_Click();
  form.PushButton3_Click();
  QString filter, offered;
  for (const ScriptedUi::Shown& shown : f.ui.shown) {
    if (shown.kind == ScriptedUi::Kind::OpenFiles) filter = shown.detail;
    if (shown.kind == ScriptedUi::Kind::Input) offered = shown.detail;
  }
  EXPECT_TRUE(filter.contains("*.flac") && filter.contains("*.opus")) << filter.toStdString();
  EXPECT_TRUE(offered.startsWith("mp3/*.flac/")) << offered.toStdString();

  // The next session starts with it on.
  FakeServices next;
  next.settings.values = f.settings.values;
  Form1 later{next.services, window, QStringLiteral("/opt/tagloom")};
  later.Form_Load();
  EXPECT_TRUE(later.EveryFormat());
}

}  // namespace
