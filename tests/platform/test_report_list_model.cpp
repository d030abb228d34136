#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <cmath>
#include <limits>

#include "platform/ProgressBarModel.h"
#include "platform/ReportListModel.h"
#include "platform/StepFailure.h"
#include "tests/support/fakes/RecordingProgress.h"

namespace {

ReportListModel& ThreeColumns(ReportListModel& list) {
  list.AddColumn(QStringLiteral("Filename"), 2500);
  list.AddColumn(QStringLiteral("Title"), 3000);
  list.AddColumn(QStringLiteral("Artist"));
  return list;
}

}  // namespace

TEST(ReportListModelTest, QtModelTesterAcceptsEveryOperation) {
  ReportListModel list;
  QAbstractItemModelTester tester(&list, QAbstractItemModelTester::FailureReportingMode::Fatal);
  ThreeColumns(list);
  for (int i = 0; i < 5; ++i) list.AppendRow(QStringLiteral("f%1.mp3").arg(i));
  list.AppendRows({QStringLiteral("x.mp3"), QStringLiteral("y.mp3")});
  list.SetSubItem(2, 2, QStringLiteral("Someone"));
  list.SetChecked(3, true);
  list.SetSelectedRow(4);
  list.MoveRow(1, 5);
  list.MoveRow(6, 2);
  list.RemoveRow(2);
  list.Clear();
  list.AppendRow(QStringLiteral("again.mp3"));
  EXPECT_EQ(list.rowCount(), 1);
}

TEST(ReportListModelTest, ColumnsKeepHeaderAndWidthOrTakeTheDefault) {
  ReportListModel list;
  ThreeColumns(list);
  EXPECT_EQ(list.ColumnCount(), 3);
  EXPECT_EQ(list.Header(2), QStringLiteral("Title"));
  EXPECT_EQ(list.ColumnWidth(2), 3000);
  EXPECT_EQ(list.ColumnWidth(3), ReportListModel::kDefaultColumnWidth);
  EXPECT_EQ(list.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Filename"));
}

TEST(ReportListModelTest, NewRowIsUncheckedWithEmptyCells) {
  ReportListModel list;
  ThreeColumns(list);
  EXPECT_EQ(list.AppendRow(QStringLiteral("a.mp3")), 1);
  EXPECT_EQ(list.AppendRow(QStringLiteral("b.mp3")), 2);
  list.SetSubItem(2, 1, QStringLiteral("Title B"));
  EXPECT_FALSE(list.Checked(1));
  EXPECT_EQ(list.SubItem(1, 2), QString());
  EXPECT_EQ(list.Cell(2, 1), QStringLiteral("b.mp3"));
  EXPECT_EQ(list.Cell(2, 2), QStringLiteral("Title B"));
  EXPECT_EQ(list.Cell(2, 3), QString());
  EXPECT_EQ(list.data(list.index(1, 1)).toString(), QStringLiteral("Title B"));
  EXPECT_EQ(list.data(list.index(0, 2)).toString(), QString());
}

TEST(ReportListModelTest, RemovingRowTwoOfThreeMovesRowThreeUpAndKeepsSelection) {
  ReportListModel list;
  ThreeColumns(list);
  for (const char* name : {"1.mp3", "2.mp3", "3.mp3"}) list.AppendRow(QString::fromLatin1(name));
  list.SetSubItem(3, 1, QStringLiteral("third"));
  list.SetChecked(3, true);
  list.SetSelectedRow(3);
  list.RemoveRow(2);
  ASSERT_EQ(list.RowCount(), 2);
  EXPECT_EQ(list.Text(2), QStringLiteral("3.mp3"));
  EXPECT_EQ(list.SubItem(2, 1), QStringLiteral("third"));
  EXPECT_TRUE(list.Checked(2));
  EXPECT_EQ(list.SelectedRow(), 2);
  list.RemoveRow(2);
  EXPECT_EQ(list.SelectedRow(), std::nullopt);
}

TEST(ReportListModelTest, IndicesOutOfRangeThrowStepFailure) {
  ReportListModel list;
  ThreeColumns(list);
  list.AppendRow(QStringLiteral("a.mp3"));
  EXPECT_THROW(list.Text(0), StepFailure);
  EXPECT_THROW(list.Text(2), StepFailure);
  EXPECT_THROW(list.SubItem(1, 0), StepFailure);
  EXPECT_THROW(list.SetSubItem(1, 3, QStringLiteral("beyond the last column")), StepFailure);
  EXPECT_THROW(list.SetChecked(2, true), StepFailure);
  EXPECT_THROW(list.RemoveRow(2), StepFailure);
  EXPECT_THROW(list.Header(4), StepFailure);
  EXPECT_THROW(list.SetSelectedRow(9), StepFailure);
  EXPECT_EQ(list.RowCount(), 1);
}

TEST(ReportListModelTest, CheckBoxInColumnOneIsUserCheckable) {
  ReportListModel list;
  ThreeColumns(list);
  list.AppendRow(QStringLiteral("a.mp3"));
  const QModelIndex first = list.index(0, 0);
  EXPECT_TRUE(list.flags(first) & Qt::ItemIsUserCheckable);
  EXPECT_FALSE(list.flags(list.index(0, 1)) & Qt::ItemIsUserCheckable);
  EXPECT_EQ(list.data(first, Qt::CheckStateRole).value<Qt::CheckState>(), Qt::Unchecked);
  EXPECT_TRUE(list.setData(first, Qt::Checked, Qt::CheckStateRole));
  EXPECT_TRUE(list.Checked(1));
  EXPECT_FALSE(list.setData(list.index(0, 1), QStringLiteral("edit"), Qt::EditRole));
}

TEST(ReportListModelTest, BulkAppendAnnouncesOneInsertion) {
  ReportListModel list;
  list.AddColumn(QStringLiteral("File(s)"));
  QStringList many;
  for (int i = 0; i < 100000; ++i) many.append(QStringLiteral("/music/%1.mp3").arg(i));
  QSignalSpy inserted(&list, &QAbstractItemModel::rowsInserted);
  list.AppendRows(many);
  EXPECT_EQ(inserted.count(), 1);
  EXPECT_EQ(list.RowCount(), 100000);
  EXPECT_EQ(list.Text(100000), QStringLiteral("/music/99999.mp3"));
}

TEST(ReportListModelTest, MoveRowShiftsRowsBetweenAndFollowsSelection) {
  ReportListModel list;
  list.AddColumn(QStringLiteral("File(s)"));
  for (const char* name : {"a", "b", "c", "d"}) list.AppendRow(QString::fromLatin1(name));
  list.SetSelectedRow(1);
  list.MoveRow(1, 3);  // b c a d
  EXPECT_EQ(list.Text(1), QStringLiteral("b"));
  EXPECT_EQ(list.Text(3), QStringLiteral("a"));
  EXPECT_EQ(list.SelectedRow(), 3);
  list.SetSelectedRow(2);
  list.MoveRow(4, 1);  // d b c a
  EXPECT_EQ(list.Text(1), QStringLiteral("d"));
  EXPECT_EQ(list.Text(4), QStringLiteral("a"));
  EXPECT_EQ(list.SelectedRow(), 3);
}

TEST(ProgressBarModelTest, ValuesFillProportionallyAndAbove100ShowFull) {
  ProgressBarModel bar;
  RecordingProgress recorded(bar);
  bar.SetValue(33.333);
  EXPECT_EQ(bar.FillPermille(), 333);
  bar.SetCaption(QStringLiteral("Processing: a.mp3"));
  bar.SetValue(100.05);
  EXPECT_EQ(bar.FillPermille(), 1000);
  EXPECT_DOUBLE_EQ(bar.Value(), 100.05);
  bar.SetValue(std::numeric_limits<double>::quiet_NaN());
  EXPECT_EQ(bar.FillPermille(), 0);
  bar.SetValue(-3);
  EXPECT_EQ(bar.FillPermille(), 0);
  ASSERT_EQ(recorded.states.size(), 5u);
  EXPECT_EQ(recorded.states[1].second, QStringLiteral("Processing: a.mp3"));
  EXPECT_DOUBLE_EQ(recorded.states[2].first, 100.05);
}

// Packed cells give back exactly the text they were made of, whatever its units, and know
// their length without unpacking.
TEST(PackedCellsTest, TextsComeBackUnitForUnitAndLongOnesShrink) {
  QString lone_surrogates = QStringLiteral("a");
  lone_surrogates.append(QChar(0xD800)).append(QChar(0xDC00)).append(QChar(0xDFFF));
  QString lyric;
  for (int i = 0; i < 80; ++i) lyric += QStringLiteral("Golden River Night Song\r\n");
  QString noise;
  for (int i = 0; i < 600; ++i) noise.append(QChar(0x4E00 + (i * 7919) % 20000));
  const QStringList texts = {QString(),
                             QStringLiteral("plain.mp3"),
                             QString::fromUtf16(u"Caf\u00E9 M\u00FCller \u00FF"),
                             QString::fromUtf16(u"\u6771\u4EAC\u306E\u591C \U0001F600"),
                             QString::fromUtf16(u"nul\0inside", 10),
                             lone_surrogates,
                             lyric,
                             lyric + QString::fromUtf16(u"\u0100"),
                             noise};
  for (const bool compress : {true, false}) {
    for (const QString& text : texts) {
      const PackedText packed(text, compress);
      EXPECT_EQ(packed.ToString(), text) << text.left(20).toStdString();
      EXPECT_EQ(packed.size(), text.size());
      EXPECT_EQ(packed.isEmpty(), text.isEmpty());
      EXPECT_EQ(PackedText::UnpackPrefix(packed.Bytes(), 7), text.left(7));
    }
  }
  // One byte a unit for Latin-1, and a repetitive lyric compressed well below that.
  EXPECT_LE(PackedText(QStringLiteral("plain.mp3")).Bytes().size(), 11u);
  EXPECT_LT(PackedText(lyric).Bytes().size(), size_t(lyric.size()) / 4);
  EXPECT_GE(PackedText(lyric, false).Bytes().size(), size_t(lyric.size()));
}

TEST(PackedCellsTest, RowsShareTheirBlockAndChangeByCopy) {
  RowCells row(PackedText(QStringLiteral("a.mp3")).Bytes());
  const RowCells before = row;
  row = row.With(3, PackedText(QStringLiteral("third")).Bytes());
  EXPECT_EQ(before.Count(), 1);
  EXPECT_EQ(row.Count(), 4);
  EXPECT_EQ(row.Text(0), QStringLiteral("a.mp3"));
  EXPECT_TRUE(row.IsEmpty(1));
  EXPECT_EQ(row.Text(3), QStringLiteral("third"));
  EXPECT_EQ(row.Text(9), QString());
  EXPECT_EQ(row.Rest(), QStringList({QString(), QString(), QStringLiteral("third")}));
  const int from[] = {3, -1, 0, 1};
  const RowCells picked = row.Picked(from, 4);
  EXPECT_EQ(picked.Count(), 3);  // the empty last cell is not kept
  EXPECT_EQ(picked.Text(0), QStringLiteral("third"));
  EXPECT_EQ(picked.Text(2), QStringLiteral("a.mp3"));
  // A block past 64 KiB keeps its cells apart too.
  const QString big(40000, u'\u0101');
  const RowCells wide =
      row.With(1, PackedText(big, false).Bytes()).With(2, PackedText(big).Bytes());
  EXPECT_EQ(wide.Text(1), big);
  EXPECT_EQ(wide.Text(2), big);
  EXPECT_EQ(wide.Text(3), QStringLiteral("third"));
}

// A table of many rows of the default columns is one block a row, a few hundred bytes, not
// an object per cell.
TEST(ReportListModelTest, RowsAreCompactAndLongCellsShowTheirStart) {
  ReportListModel list;
  list.AddColumn(QStringLiteral("Filename"));
  for (int c = 0; c < 11; ++c) list.AddColumn(QString::number(c));
  QString lyric;
  for (int i = 0; i < 100; ++i) lyric += QStringLiteral("Silver Dream Fire Winter %1\n").arg(i % 7);
  for (int r = 1; r <= 1000; ++r) {
    list.AppendRow(QStringLiteral("%1 - Some Song.mp3").arg(r, 5, 10, QChar(u'0')));
    list.SetSubItem(r, 1, QStringLiteral("Some Song"));
    list.SetSubItem(r, 2, QString::fromUtf16(u"S\u00E9bastien Someone"));
    list.SetSubItem(r, 4, QStringLiteral("3/12"));
    list.SetSubItem(r, 5, QStringLiteral("1999"));
    list.SetSubItem(r, 7, PackedText(lyric));
  }
  size_t bytes = 0;
  for (int r = 1; r <= list.RowCount(); ++r) bytes += list.Cells(r).BlockBytes();
  EXPECT_LT(bytes / 1000, 400u);
  EXPECT_EQ(list.SubItem(500, 7), lyric);
  const QString shown = list.index(0, 7).data().toString();
  EXPECT_EQ(shown,
            ReportListModel::OneLine(lyric.left(ReportListModel::kLongestShown)) + QChar(0x2026));
  EXPECT_TRUE(shown.startsWith(QString::fromUtf16(u"Silver Dream Fire Winter 0 \u21B5 Silver")));
  EXPECT_EQ(list.index(0, 7).data(Qt::ToolTipRole).toString(), lyric);
}

// Paths packed straight from their folder and name read as the joined text would.
TEST(PackedCellsTest, PathsPackedInPlaceReadAsTheirText) {
  const QString long_name(200, u'n');
  for (const auto& [folder, name] : std::vector<std::pair<QString, QString>>{
           {QStringLiteral("/music/a"), QStringLiteral("b.mp3")},
           {QStringLiteral("/m"), QString::fromUtf16(u"Caf\u00E9 \u00FF.mp3")},
           {QStringLiteral("/m"), QString::fromUtf16(u"\u6771\u4EAC.mp3")},
           {QStringLiteral("/m"), long_name},
           {QString(), QStringLiteral("x")}}) {
    const QString joined = folder + u'/' + name;
    EXPECT_EQ(RowCells::OfPath(folder, u'/', name).Text(0), joined);
    EXPECT_EQ(RowCells::OfPath(folder, u'/', name).Length(0), joined.size());
    EXPECT_EQ(RowCells::OfText(joined).Text(0), joined);
  }
  EXPECT_EQ(RowCells::OfText(QString()).Text(0), QString());
}

// A run fills the row it just appended cell by cell: nobody can have read the row yet, so the
// cells need no notices of their own, and they are all there for whoever reads it next.
TEST(ReportListModelTest, CellsOfARowNobodyReadYetNeedNoNotice) {
  ReportListModel list;
  ThreeColumns(list);
  QSignalSpy changed(&list, &QAbstractItemModel::dataChanged);
  const int a = list.AppendRow(QStringLiteral("a.mp3"));
  list.SetSubItem(a, 2, PackedText(QStringLiteral("Artist")));
  list.SetSubItem(a, 1, QStringLiteral("Title"));
  EXPECT_EQ(changed.count(), 0);
  EXPECT_EQ(list.SubItems(a), QStringList({"Title", "Artist"}));
  list.SetSubItem(a, 1, QStringLiteral("Title 2"));  // read since: noticed
  EXPECT_EQ(changed.count(), 1);

  const int b = list.AppendRow(QStringLiteral("b.mp3"));
  EXPECT_EQ(list.index(b - 1, 0).data().toString(), QStringLiteral("b.mp3"));  // a view looks
  list.SetSubItem(b, 1, QStringLiteral("B"));
  EXPECT_EQ(changed.count(), 2);
  EXPECT_EQ(list.index(b - 1, 1).data().toString(), QStringLiteral("B"));

  // Whatever comes next, the open row's cells go with it.
  list.AppendRow(QStringLiteral("c.mp3"));
  list.SetSubItem(3, 2, QStringLiteral("C"));
  list.MoveRow(3, 1);
  EXPECT_EQ(list.Text(1), QStringLiteral("c.mp3"));
  EXPECT_EQ(list.SubItem(1, 2), QStringLiteral("C"));
  list.AppendRow(QStringLiteral("d.mp3"));
  list.SetSubItem(4, 1, QStringLiteral("D"));
  list.ReorderRows({3, 0, 1, 2});
  EXPECT_EQ(list.SubItem(1, 1), QStringLiteral("D"));
  list.AppendRow(QStringLiteral("e.mp3"));
  list.SetSubItem(5, 1, QStringLiteral("E"));
  list.ReplaceColumns({QStringLiteral("Title"), QStringLiteral("Filename")}, {});
  EXPECT_EQ(list.Text(5), QStringLiteral("E"));
  EXPECT_EQ(list.SubItem(5, 1), QStringLiteral("e.mp3"));
  list.AppendRow(QStringLiteral("f.mp3"));
  list.RemoveRow(6);
  EXPECT_EQ(list.RowCount(), 5);
  list.AppendRow(QStringLiteral("g.mp3"));
  list.Clear();
  list.AppendRow(QStringLiteral("h.mp3"));
  EXPECT_EQ(list.Texts(), QStringList{"h.mp3"});
}

// A row's own tip shows in the columns marked for it and follows its row through a sort, a
// move, a filter and a removal; the cells, and the other columns' tips, never change.
TEST(ReportListModelTest, RowToolTipsFollowTheirRows) {
  ReportListModel list;
  ThreeColumns(list);
  list.SetListToolTip(3, true);
  list.SetRowToolTipColumn(3, true);
  for (const char* name : {"a", "b", "c", "d"}) {
    const int row = list.AppendRow(QString::fromLatin1(name));
    list.SetSubItem(row, 1, QString::fromLatin1(name) + QStringLiteral(" title"));
    list.SetSubItem(row, 2, QStringLiteral("x; y"));
  }
  list.SetRowToolTip(2, QStringLiteral("tip of b"));
  list.SetRowToolTip(4, QStringLiteral("tip of d"));
  const auto tip = [&](int row, int column) {
    return list.data(list.index(row - 1, column - 1), Qt::ToolTipRole).toString();
  };
  const auto tips = [&] {
    QStringList all;
    for (int r = 1; r <= list.RowCount(); ++r) all.append(list.Text(r) + u'=' + tip(r, 3));
    return all.join(u' ');
  };
  EXPECT_EQ(tips(), "a=x\ny b=tip of b c=x\ny d=tip of d");
  EXPECT_EQ(tip(2, 2), "b title");
  EXPECT_EQ(list.Cell(2, 3), "x; y");
  list.ReorderRows({3, 2, 1, 0});
  EXPECT_EQ(tips(), "d=tip of d c=x\ny b=tip of b a=x\ny");
  list.MoveRow(1, 4);
  EXPECT_EQ(tips(), "c=x\ny b=tip of b a=x\ny d=tip of d");
  list.ShowOnly({false, true, false, true});  // in arrival order: b and d
  EXPECT_EQ(tips(), "b=tip of b d=tip of d");
  list.SetRowToolTip(2, QString());
  list.RemoveRow(1);
  EXPECT_EQ(tips(), "d=x\ny");
  list.SetRowToolTip(1, QStringLiteral("tip of d"));
  list.SetRowToolTipColumn(3, false);
  EXPECT_EQ(tips(), "d=x\ny");
  list.SetRowToolTipColumn(3, true);
  list.Clear();
  for (const char* name : {"e", "f", "g", "h"}) {
    const int row = list.AppendRow(QString::fromLatin1(name));
    list.SetSubItem(row, 2, QStringLiteral("z"));
  }
  // A new row that arrives where an old one did takes none of its tip.
  EXPECT_EQ(tips(), "e=z f=z g=z h=z");
}
