#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <cmath>
#include <limits>

#include "platform/ProgressBarModel.h"
#include "platform/ReportListModel.h"
#include "platform/StepFailure.h"
#include "tests/platform/fakes/RecordingProgress.h"

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
