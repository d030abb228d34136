#include <gtest/gtest.h>

#include <QString>
#include <QStringList>
#include <cstdio>
#include <string>
#include <vector>

#include "batch/ColumnCatalogue.h"
#include "batch/ExtractionRun.h"
#include "batch/ResultColumns.h"
#include "core/ErrorReport.h"
#include "platform/FileNames.h"
#include "readindex/ReadIndex.h"
#include "tests/support/TestFiles.h"
#include "tests/support/fakes/FakeServices.h"
#include "tests/support/fakes/RecordingProgress.h"
#include "tools/samples/SampleBuilder.h"

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

class ExtractionRunTest : public ::testing::Test {
 protected:
  ExtractionRunTest() {
    results.AddColumn(QStringLiteral("Filename"), 5000);
    for (const ResultColumns::Field& f : ResultColumns::kFields)
      results.AddColumn(QString::fromUtf16(f.header.data(), f.header.size()), f.width_twips);
  }

  /// A file with an ID3v1.1 tag; `title` also names the file.
  QString Mp3(const std::string& folder, const std::string& title) {
    SampleBuilder::Id3v1Fields v1;
    v1.title = title;
    v1.artist = "Artist " + title;
    v1.album = "Album";
    v1.year = "2001";
    v1.comment = "Note";
    v1.track = 4;
    return Q(
        dir.Write(folder + "/" + title + ".mp3",
                  SampleBuilder::Silence(SampleBuilder::kMpeg1, 0.2) + SampleBuilder::Id3v1(v1)));
  }

  void Queue(const QStringList& paths) {
    for (const QString& p : paths) file_list.AppendRow(p);
  }

  FakeServices f;
  ErrorReport errors{f.ui};
  ReportListModel file_list;
  ReportListModel results;
  ProgressBarModel progress;
  WindowPointer pointer;
  bool running = false;
  ExtractionRun run{file_list, results, progress, pointer, running, f.ui, f.events, errors};
  TestFiles::TempDir dir;
};

TEST_F(ExtractionRunTest, EmptyListSaysNoFilesAddedAndKeepsTheTable) {
  results.AppendRow(QStringLiteral("old.mp3"));
  progress.SetCaption(QStringLiteral("Progress Bar"));
  RecordingProgress recorded(progress);
  run.Start();
  run.Start();
  EXPECT_EQ(f.ui.Messages(),
            QStringList({QStringLiteral("No files added."), QStringLiteral("No files added.")}));
  EXPECT_EQ(f.ui.shown[0].title, QStringLiteral("Tagloom"));
  EXPECT_EQ(results.RowCount(), 1);
  EXPECT_TRUE(recorded.states.empty());
  EXPECT_FALSE(running);
  EXPECT_EQ(pointer.Shape(), Pointer::Default);
  EXPECT_EQ(f.events.yields, 0);
}

TEST_F(ExtractionRunTest, RowsHoldFileNameAndElevenFieldsAndAreCheckedAfterDone) {
  const QString a = Mp3("one", "Alpha");
  const QString b = Mp3("two", "Alpha");  // same name, other folder: two rows of the same text
  const QString missing = Q(dir.PathOf("gone/Missing.mp3"));
  const QString untagged = Q(dir.Write("Plain.mp3", std::string(300, '\0')));
  Queue({a, b, missing, untagged});
  results.AppendRow(QStringLiteral("from an earlier run"));
  bool checked_while_message = true;
  f.ui.on_show = [&] { checked_while_message = results.Checked(1); };

  run.Start();

  EXPECT_EQ(f.ui.Messages(), QStringList{QStringLiteral("Done.")});
  EXPECT_TRUE(f.ui.Reports().isEmpty());
  EXPECT_FALSE(checked_while_message);
  ASSERT_EQ(results.RowCount(), 4);
  const QStringList names = {QStringLiteral("Alpha.mp3"), QStringLiteral("Alpha.mp3"),
                             QStringLiteral("Missing.mp3"), QStringLiteral("Plain.mp3")};
  for (int r = 1; r <= 4; ++r) {
    EXPECT_EQ(results.Text(r), names[r - 1]);
    EXPECT_TRUE(results.Checked(r)) << r;
  }
  const QStringList expected = {QStringLiteral("Alpha"),
                                QStringLiteral("Artist Alpha"),
                                QStringLiteral("Album"),
                                QStringLiteral("4"),
                                QStringLiteral("2001"),
                                QStringLiteral("Note"),
                                QString(),
                                QString(),
                                QString(),
                                QString(),
                                QString()};
  for (int k = 1; k <= 11; ++k) {
    EXPECT_EQ(results.SubItem(1, k), expected[k - 1]) << k;
    EXPECT_EQ(results.SubItem(2, k), expected[k - 1]) << k;
    EXPECT_EQ(results.SubItem(3, k), QString()) << k;
    EXPECT_EQ(results.SubItem(4, k), QString()) << k;
  }
  EXPECT_FALSE(running);
}

TEST_F(ExtractionRunTest, NamesThatAreNotUtf8AreReadUnderTheTextTheListingGives) {
  Mp3("old", "caf\xE9");
  Queue({FileNames::ToText(dir.PathOf("old/caf\xE9.mp3"))});
  run.Start();
  ASSERT_EQ(results.RowCount(), 1);
  EXPECT_EQ(results.Text(1), QStringLiteral("caf") + QChar(0xEFE9) + QStringLiteral(".mp3"));
  EXPECT_EQ(results.SubItem(1, 1), QStringLiteral("caf\u00E9"));  // the tag's own Latin-1
}

// With the index on, a run forgets at its end the files gone from the folders it read; files
// still there, read or not, and those of other folders stay.
TEST_F(ExtractionRunTest, TheIndexForgetsFilesGoneFromTheFoldersRead) {
  const QString a = Mp3("one", "Alpha");
  const QString b = Mp3("one", "Beta");
  const QString c = Mp3("one", "Gamma");
  const QString d = Mp3("one/sub", "Delta");
  const std::string db = dir.PathOf("index.db");
  const auto with_index = [&](const QStringList& paths) {
    const auto index = ReadIndex::Open(db, [](const std::string&) {});
    ASSERT_TRUE(index);
    run.SetIndex(index.get());
    file_list.Clear();
    Queue(paths);
    run.Start();
    run.SetIndex(nullptr);
  };
  with_index({a, b, c, d});
  ASSERT_EQ(std::remove(b.toStdString().c_str()), 0);
  ASSERT_EQ(std::remove(d.toStdString().c_str()), 0);
  with_index({a});
  const auto index = ReadIndex::Open(db, [](const std::string&) {});
  ASSERT_TRUE(index);
  const std::vector<std::string> kept = index->PathsUnder(dir.PathOf("one"));
  EXPECT_EQ(kept, (std::vector<std::string>{a.toStdString(), c.toStdString(), d.toStdString()}));
  EXPECT_EQ(results.RowCount(), 1);
}

TEST_F(ExtractionRunTest, ProgressShowsFloorOfShareThenIdle) {
  Queue({Mp3("m", "A"), Mp3("m", "B"), QStringLiteral("C.mp3")});
  RecordingProgress recorded(progress);
  run.Start();
  const std::vector<std::pair<double, QString>> expected = {
      {33, QString()},
      {33, QStringLiteral("Processing: A.mp3")},
      {66, QStringLiteral("Processing: A.mp3")},
      {66, QStringLiteral("Processing: B.mp3")},
      {100, QStringLiteral("Processing: B.mp3")},
      {100, QStringLiteral("Processing: C.mp3")},
      {0, QStringLiteral("Processing: C.mp3")},
      {0, QStringLiteral("3 files, 1 not read")},  // C.mp3 is not there
  };
  EXPECT_EQ(recorded.states, expected);
  EXPECT_EQ(results.Text(3), QStringLiteral("C.mp3"));   // a path without a separator
  EXPECT_EQ(ExtractionRun::ProgressValue(29, 100), 28);  // floating point, as the bar always did
  EXPECT_EQ(ExtractionRun::ProgressValue(1, 0), 100);
}

TEST_F(ExtractionRunTest, BusyWhileFilesAreReadAndASecondClickDoesNothing) {
  Queue({Mp3("m", "A"), Mp3("m", "B")});
  std::vector<Pointer> shapes;
  f.events.on_yield = [&](int) {
    shapes.push_back(pointer.Shape());
    EXPECT_TRUE(running);
    pointer.SetHover();  // the pointer passes over a button
    run.Start();         // and the user clicks again
  };
  run.Start();
  EXPECT_EQ(shapes, std::vector<Pointer>({Pointer::Busy, Pointer::Busy}));
  EXPECT_EQ(f.ui.Messages(), QStringList{QStringLiteral("Done.")});
  EXPECT_EQ(results.RowCount(), 2);
  EXPECT_EQ(f.events.yields, 2);
  EXPECT_EQ(pointer.Shape(), Pointer::Default);
  pointer.SetHover();
  EXPECT_EQ(pointer.Shape(), Pointer::Hover);
}

TEST_F(ExtractionRunTest, AnotherLongActionEndingDuringTheRunKeepsTheLock) {
  Queue({Mp3("m", "A"), Mp3("m", "B")});
  f.events.on_yield = [&](int n) {
    if (n == 1) {  // "Add All" runs to its end inside the first yield
      pointer.BeginLongAction();
      pointer.EndLongAction();
    }
    EXPECT_TRUE(pointer.IsBusy());
  };
  run.Start();
  EXPECT_FALSE(pointer.IsBusy());
}

TEST_F(ExtractionRunTest, ListChangesDuringYieldsNeitherRepeatNorSkipFiles) {
  Queue({Mp3("m", "A"), Mp3("m", "B"), Mp3("m", "C")});
  RecordingProgress recorded(progress);
  f.events.on_yield = [&](int n) {
    if (n == 1) file_list.MoveRow(3, 1);  // a reorder drag
    if (n == 2) file_list.Clear();        // every row gone
    if (n == 3) file_list.AppendRow(QStringLiteral("/later.mp3"));
  };
  run.Start();
  ASSERT_EQ(results.RowCount(), 3);
  EXPECT_EQ(results.Text(1), QStringLiteral("A.mp3"));
  EXPECT_EQ(results.Text(2), QStringLiteral("B.mp3"));
  EXPECT_EQ(results.Text(3), QStringLiteral("C.mp3"));
  for (const auto& [value, caption] : recorded.states) EXPECT_LE(value, 100);
  EXPECT_TRUE(f.ui.Reports().isEmpty());
}

TEST_F(ExtractionRunTest, ClearResultsDuringTheRunKeepsAppending) {
  Queue({Mp3("m", "A"), Mp3("m", "B")});
  f.events.on_yield = [&](int n) {
    if (n == 2) results.Clear();
  };
  run.Start();
  ASSERT_EQ(results.RowCount(), 1);
  EXPECT_EQ(results.Text(1), QStringLiteral("B.mp3"));
  EXPECT_TRUE(results.Checked(1));
}

TEST_F(ExtractionRunTest, FailingStepsReportTheirNumberOnceAndTheRunGoesOn) {
  ReportListModel narrow;  // a table with the file name column only
  narrow.AddColumn(QStringLiteral("Filename"));
  ExtractionRun narrow_run{file_list, narrow, progress, pointer, running, f.ui, f.events, errors};
  Queue({Mp3("m", "A"), Mp3("m", "B")});
  narrow_run.Start();
  const QStringList reports = f.ui.Reports();
  ASSERT_EQ(reports.size(), 11);  // one per sub-item statement, not one per file
  for (int k = 0; k < 11; ++k) {
    EXPECT_TRUE(reports[k].startsWith(QStringLiteral("Invalid sub-item index %1\r\n").arg(k + 1)));
    EXPECT_TRUE(reports[k].contains(
        QStringLiteral("in Quarnset2021/08/31.Form1.PushButton10_Click at line %1\r\r")
            .arg(126 + 2 * k)));
  }
  EXPECT_EQ(f.ui.shown[0].title, QStringLiteral("Application Error"));
  EXPECT_EQ(narrow.RowCount(), 2);
  EXPECT_EQ(f.ui.Messages(), QStringList{QStringLiteral("Done.")});
  EXPECT_TRUE(narrow.Checked(2));
  EXPECT_FALSE(running);
}

TEST_F(ExtractionRunTest, ClosingTheWindowStopsAtTheNextYieldWithoutMessages) {
  Queue({Mp3("m", "A"), Mp3("m", "B"), Mp3("m", "C")});
  f.events.on_yield = [&](int n) { f.events.closing = n == 2; };
  run.Start();
  EXPECT_EQ(results.RowCount(), 1);
  EXPECT_TRUE(f.ui.shown.empty());
  EXPECT_FALSE(running);
  EXPECT_FALSE(pointer.IsBusy());
}

// Threads read ahead, but what the run shows is the one-thread run's: the rows, their order,
// every progress state, the yields and the closing caption, for the default and chosen columns.
TEST_F(ExtractionRunTest, ReadingAheadChangesNothingTheRunShows) {
  QStringList queued;
  for (int i = 0; i < 40; ++i) {
    queued.append(i % 7 == 3    ? Q(dir.PathOf("gone/" + std::to_string(i) + ".mp3"))
                  : i % 11 == 5 ? Q(dir.Path().string())
                                : Mp3("m" + std::to_string(i % 3), "T" + std::to_string(i)));
  }
  Queue(queued);
  const QStringList chosen = {"Status", "Title", "Full path", "Size", "Filename"};
  RecordingProgress recorded(progress);
  for (const QStringList& columns : {ColumnCatalogue::DefaultHeaders(), chosen}) {
    struct Seen {
      std::vector<std::pair<double, QString>> progress;
      std::vector<QStringList> rows;
      int yields = 0;
    };
    const auto run_with = [&](int jobs) {
      ReportListModel table;
      ColumnCatalogue::AddColumns(table, columns);
      ExtractionRun r{file_list, table, progress, pointer, running, f.ui, f.events, errors};
      r.SetColumns(columns);
      r.SetJobs(jobs);
      progress.SetCaption(QStringLiteral("Progress Bar"));  // as every run starts
      const size_t states_before = recorded.states.size();
      const int yields_before = f.events.yields;
      r.Start();
      Seen seen{{recorded.states.begin() + static_cast<std::ptrdiff_t>(states_before),
                 recorded.states.end()},
                {},
                f.events.yields - yields_before};
      for (int row = 1; row <= table.RowCount(); ++row) {
        QStringList cells;
        for (int c = 1; c <= table.ColumnCount(); ++c) cells.append(table.Cell(row, c));
        seen.rows.push_back(cells);
      }
      return seen;
    };
    const Seen one = run_with(1);
    ASSERT_EQ(one.rows.size(), 40u);
    EXPECT_EQ(one.progress.back().second, QStringLiteral("40 files, 9 not read"));
    for (const int jobs : {2, 5}) {
      const Seen many = run_with(jobs);
      EXPECT_EQ(many.rows, one.rows) << jobs;
      EXPECT_EQ(many.progress, one.progress) << jobs;
      EXPECT_EQ(many.yields, one.yields) << jobs;
    }
  }
  EXPECT_TRUE(f.ui.Reports().isEmpty());
}

TEST_F(ExtractionRunTest, StopWhileThreadsReadAheadKeepsTheRowsSoFar) {
  QStringList queued;
  for (int i = 0; i < 300; ++i) queued.append(Mp3("s", "S" + std::to_string(i % 5)));
  Queue(queued);
  bool stop = false;
  run.SetStopFlag(&stop);
  run.SetJobs(4);
  f.events.on_yield = [&](int n) { stop = n == 3; };
  run.Start();
  ASSERT_EQ(results.RowCount(), 2);
  EXPECT_EQ(results.Text(2), QStringLiteral("S1.mp3"));
  EXPECT_EQ(progress.Caption(), QStringLiteral("Stopped after 2 of 300 files"));
  EXPECT_TRUE(f.ui.Messages().isEmpty());
  EXPECT_FALSE(running);
}

// The run says which files it could not read at all, so a caller need not look at every file
// again to name them.
TEST_F(ExtractionRunTest, TheFilesThatCouldNotBeReadAreKnownAfterTheRun) {
  Queue({Mp3("m", "A"), Q(dir.PathOf("gone.mp3")), Q(dir.Path().string()), Mp3("m", "B")});
  for (const int jobs : {1, 3}) {
    run.SetJobs(jobs);
    run.Start();
    EXPECT_EQ(run.UnreadFiles(), std::vector<int>({2, 3})) << jobs;
  }
}

}  // namespace
