#include "report/error_report.h"

#include "platform/failure.h"
#include "report/guard.h"
#include "report/locations.h"
#include "support/scripted_dialogs.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace quillmere {
namespace {

using testing::ScriptedDialogs;

TEST(ErrorReport, TextHasExactLineBreaks) {
    EXPECT_EQ(ErrorReportText("Permission denied", locations::kSaveSets, 114),
              "Permission denied\r\nin Tarnwick2021/08/31.Form1.PushButton9_Click at line 114\r\r"
              "Please email screenshot of this message to support@quillmere.org");
    // An empty description leaves the first line empty.
    EXPECT_TRUE(ErrorReportText("", locations::kFormLoad, 100)
                    .startsWith("\r\nin Tarnwick2021/08/31.Form1.Form_Load at line 100\r\r"));
}

TEST(ErrorReport, LocationTexts) {
    EXPECT_STREQ(locations::kStartReplacing, "in Tarnwick2021/08/31.Form1.Pushbutton7_Click ");
    EXPECT_STREQ(locations::kFolderWalk, "in Corvath2021/08/31.AddFolder.GetSubDirectories2016 ");
    EXPECT_STREQ(locations::kReplaceByFileXYCombo,
                 "in Tarnwick2021/08/31.MSProject1.ReplaceByFileXYCombo ");
}

TEST(ErrorReport, IsAWarningBoxWithItsOwnCaption) {
    ScriptedDialogs dialogs;
    dialogs.setApplicationTitle("Quillmere");
    dialogs.expectMessage(ErrorReportText("boom", locations::kClearList, 102));
    BoxErrorReport(dialogs).show("boom", locations::kClearList, 102);
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].caption, "Application Error");
    EXPECT_EQ(dialogs.shown()[0].icon, MessageIcon::Warning);
    EXPECT_EQ(dialogs.shown()[0].buttons, MessageButtons::Ok);
}

class GuardTest : public ::testing::Test {
  protected:
    GuardTest() { dialogs.allowErrorReports(); }
    static void Fail(const char* description = "failed") { throw Failure(5, description); }

    ScriptedDialogs dialogs;
    BoxErrorReport report{dialogs};
    Guard g{report, locations::kSaveSets};
    QStringList trace;
};

TEST_F(GuardTest, AFailingStepIsReportedAndTheNextStepRuns) {
    g.step(100, [&] { trace << "100"; });
    g.step(102, [&] {
        Fail("Disk full");
        trace << "never";
    });
    g.step(104, [&] { trace << "104"; });
    EXPECT_EQ(trace, QStringList({"100", "104"}));
    EXPECT_EQ(dialogs.errorReportLines(), std::vector<int>{102});
    EXPECT_TRUE(dialogs.errorReports()[0].text.startsWith(
        "Disk full\r\nin Tarnwick2021/08/31.Form1.PushButton9_Click at line 102\r\r"));
}

TEST_F(GuardTest, AFailingTestRunsTheStepsItGuards) {
    if (g.test(106, [&]() -> bool {
            Fail();
            return false;
        }))
        g.step(108, [&] { trace << "108"; });
    // A test that would only end the procedure does not end it when it fails.
    if (g.endsIf(110, [&]() -> bool {
            Fail();
            return true;
        }))
        return;
    g.step(112, [&] { trace << "112"; });
    EXPECT_EQ(trace, QStringList({"108", "112"}));
    EXPECT_EQ(dialogs.errorReportLines(), (std::vector<int>{106, 110}));
}

TEST_F(GuardTest, TestsThatSucceedDecideNormally) {
    EXPECT_FALSE(g.test(100, [] { return false; }));
    EXPECT_TRUE(g.endsIf(102, [] { return true; }));
    EXPECT_TRUE(dialogs.errorReports().empty());
}

TEST_F(GuardTest, AFailureInACalledRoutineAbandonsItAndReportsTheCallingStep) {
    int value = 7;
    auto routine = [&] {
        trace << "routine starts";
        throw std::runtime_error("Bad file name");
        trace << "routine ends";
    };
    g.step(114, [&] {
        routine();
        value = 9;
    });
    g.step(116, [&] { trace << "116"; });
    EXPECT_EQ(trace, QStringList({"routine starts", "116"}));
    EXPECT_EQ(value, 7);  // what the step was to produce keeps its old value
    EXPECT_EQ(dialogs.errorReportLines(), std::vector<int>{114});
    EXPECT_TRUE(dialogs.errorReports()[0].text.startsWith("Bad file name\r\n"));
}

TEST_F(GuardTest, TheProgramEndingIsNeverReported) {
    EXPECT_THROW(g.step(100, [] { throw ProgramEnding{}; }), ProgramEnding);
    EXPECT_TRUE(dialogs.shown().empty());
}

}  // namespace
}  // namespace quillmere
