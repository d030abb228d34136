#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "core/ErrorReport.h"
#include "core/ErrorTrap.h"
#include "core/Locations.h"
#include "tests/platform/fakes/ScriptedUi.h"

TEST(ErrorReportTest, TextIsComposedByteForByte) {
  const QString text = ComposeErrorReport(QStringLiteral("Permission denied"),
                                          QStringView(loc::kPushButton1Click), 124);
  EXPECT_EQ(text,
            QStringLiteral("Permission denied\r\nin Quarnset2021/08/31.Form1.PushButton1_Click "
                           "at line 124\r\rPlease email screenshot of this message to "
                           "support@vendramel.example"));
}

TEST(ErrorReportTest, ShowsAnExclamationBoxTitledApplicationError) {
  ScriptedUi ui;
  ErrorReport report(ui);
  report.ShowErrorReport(QStringView(loc::kGetSubDirectories2016), 116, QStringLiteral("x"));
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_EQ(ui.shown[0].kind, ScriptedUi::Kind::Exclamation);
  EXPECT_EQ(ui.shown[0].title, QStringLiteral("Application Error"));
  EXPECT_TRUE(ui.shown[0].text.contains(
      QStringLiteral("in Pellivant2021/08/31.AddFolder.GetSubDirectories2016 at line 116\r\r")));
}

TEST(LocationsTest, FourteenTextsEachEndingInOneSpaceAndNamingTheirProcedure) {
  EXPECT_EQ(loc::kAll.size(), 14u);
  for (const loc::Location& l : loc::kAll) {
    EXPECT_TRUE(l.text.starts_with(u"in ")) << QStringView(l.text).toString().toStdString();
    EXPECT_TRUE(l.text.ends_with(std::u16string(l.procedure) + u" "));
    EXPECT_FALSE(l.text.ends_with(u"  "));
  }
}

class ErrorTrapTest : public ::testing::Test {
 protected:
  ScriptedUi ui;
  ErrorReport report{ui};
};

TEST_F(ErrorTrapTest, FailingStepIsReportedWithItsLineAndTheNextStepRuns) {
  ErrorTrap trap(loc::kPushButton10Click, report);
  std::vector<int> ran;
  trap.Line(122);
  trap.Step(124, [&] { throw StepFailure("Invalid row index 9"); });
  trap.Step(126, [&] { ran.push_back(126); });
  EXPECT_EQ(ran, std::vector<int>{126});
  ASSERT_EQ(ui.Reports().size(), 1);
  EXPECT_TRUE(ui.Reports()[0].startsWith(
      QStringLiteral("Invalid row index 9\r\nin Quarnset2021/08/31.Form1.PushButton10_Click "
                     "at line 124\r\r")));
}

TEST_F(ErrorTrapTest, UnnumberedStatementsFailUnderThePreviousLine) {
  ErrorTrap trap(loc::kPushButton1Click, report);
  trap.Line(130);
  trap.Step(trap.CurrentLine(), [] { throw std::runtime_error("disk full"); });
  trap.Step(132, [] { throw 42; });
  ASSERT_EQ(ui.Reports().size(), 2);
  EXPECT_TRUE(ui.Reports()[0].contains(QStringLiteral("at line 130")));
  EXPECT_TRUE(ui.Reports()[1].startsWith(QStringLiteral("Unknown error\r\n")));
}

TEST_F(ErrorTrapTest, SameStepFailingInLaterPassesIsReportedOnceOtherStepsStillReport) {
  std::unique_ptr<int> stream;  // never created
  ErrorTrap trap(loc::kSaveListviewProperlySpaced, report);
  trap.Step(104, [&] { throw StepFailure("Path not found"); });
  int written = 0;
  for (int row = 1; row <= 3; ++row) {
    trap.Step(140, [&] { written += Require(stream); });
    trap.Step(142, [&] { ++written; });
  }
  trap.Step(150, [&] { Require(stream); });
  EXPECT_EQ(written, 3);
  const QStringList reports = ui.Reports();
  ASSERT_EQ(reports.size(), 3);
  EXPECT_TRUE(reports[0].contains(QStringLiteral("at line 104")));
  EXPECT_TRUE(
      reports[1].startsWith(QStringLiteral("Object variable or With block variable not set\r\n")));
  EXPECT_TRUE(reports[1].contains(QStringLiteral("at line 140")));
  EXPECT_TRUE(reports[2].contains(QStringLiteral("at line 150")));

  // A new call of the procedure has its own trap, and reports again.
  ErrorTrap next_call(loc::kSaveListviewProperlySpaced, report);
  next_call.Step(140, [&] { Require(stream); });
  EXPECT_EQ(ui.Reports().size(), 4);
}

TEST_F(ErrorTrapTest, RequireGivesTheHeldObject) {
  std::optional<int> held = 7;
  EXPECT_EQ(Require(held), 7);
  held.reset();
  EXPECT_THROW(Require(held), StepFailure);
}
