#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <set>
#include <string_view>

#include "core/ErrorReport.h"
#include "core/ErrorTrap.h"
#include "core/Locations.h"
#include "tests/support/fakes/ScriptedUi.h"

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

// Users quote the reports back: each names its own procedure, then the line after one space.
TEST(LocationsTest, EveryReportNamesItsProcedureThenTheLine) {
  std::set<std::u16string_view> texts;
  for (const loc::Location& l : loc::kAll) {
    const QString procedure = QString::fromUtf16(l.procedure.data(), l.procedure.size());
    EXPECT_TRUE(texts.insert(l.text).second) << procedure.toStdString() << " shares its text";
    const QString report = ComposeErrorReport(QStringLiteral("x"), QStringView(l.text), 7);
    EXPECT_TRUE(report.startsWith(QStringLiteral("x\r\nin ")) &&
                report.contains(u'.' + procedure + QStringLiteral(" at line 7\r\r")))
        << report.toStdString();
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
  EXPECT_EQ(ui.Reports(),
            QStringList{ComposeErrorReport(QStringLiteral("Invalid row index 9"),
                                           QStringView(loc::kPushButton10Click), 124)});
}

TEST_F(ErrorTrapTest, UnnumberedStatementsFailUnderThePreviousLine) {
  ErrorTrap trap(loc::kPushButton1Click, report);
  trap.Line(130);
  trap.Step(trap.CurrentLine(), [] { throw std::runtime_error("disk full"); });
  trap.Step(132, [] { throw 42; });
  const QStringView where(loc::kPushButton1Click);
  EXPECT_EQ(ui.Reports(),
            (QStringList{ComposeErrorReport(QStringLiteral("disk full"), where, 130),
                         ComposeErrorReport(QStringLiteral("Unknown error"), where, 132)}));
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
  const QStringView where(loc::kSaveListviewProperlySpaced);
  const QString unset = QStringLiteral("Object variable or With block variable not set");
  EXPECT_EQ(
      ui.Reports(),
      (QStringList{ComposeErrorReport(QStringLiteral("Path not found"), where, 104),
                   ComposeErrorReport(unset, where, 140), ComposeErrorReport(unset, where, 150)}));

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
