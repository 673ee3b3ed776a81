#include "project/host_checks.h"

#include "platform/failure.h"
#include "support/fake_host.h"
#include "support/scripted_dialogs.h"

#include <gtest/gtest.h>

namespace quillmere {
namespace {

using testing::FakeHost;
using testing::ScriptedDialogs;

const QString kNotInstalled =
    "Microsoft Project is not installed on this computer. You need to have it installed to use "
    "this software without error.";

TEST(HostChecks, InstalledHostIsReleasedWithoutQuit) {
    FakeHost host;
    ScriptedDialogs dialogs;
    EXPECT_NO_THROW(CheckProjectInstalled(host, dialogs));
    EXPECT_EQ(host.ops(), (QStringList{"Create", "Release"}));
}

// A host that another run holds is there: the start-up check neither waits nor ends the program.
TEST(HostChecks, AHostInAnotherRunsUseIsInstalled) {
    FakeHost host;
    host.waitsBeforeCreate = 1;
    ScriptedDialogs dialogs;
    EXPECT_NO_THROW(CheckProjectInstalled(host, dialogs));
    EXPECT_TRUE(dialogs.shown().empty());
}

TEST(HostChecks, AbsentHostTellsTheUserAndEndsTheProgram) {
    FakeHost host;
    host.absent = true;
    ScriptedDialogs dialogs;
    dialogs.setApplicationTitle("Quillmere");
    dialogs.expectMessage(kNotInstalled);
    EXPECT_THROW(CheckProjectInstalled(host, dialogs), ProgramEnding);
    EXPECT_EQ(dialogs.shown()[0].caption, "Quillmere");
    EXPECT_EQ(dialogs.shown()[0].icon, MessageIcon::None);
}

TEST(HostChecks, RunningMeansAnInstanceNamedMicrosoftProject) {
    const struct {
        std::optional<QString> running;
        bool expected;
    } cases[] = {
        {std::nullopt, false},
        {"Microsoft Project", true},
        {"microsoft project", false},
        {"Microsoft Excel", false},
    };
    for (const auto& c : cases) {
        FakeHost host;
        host.runningName = c.running;
        EXPECT_EQ(IsProjectRunning(host), c.expected) << c.running.value_or("none").toStdString();
        EXPECT_TRUE(host.callsOf("Quit").empty());
        EXPECT_EQ(host.liveInstances(), 0);
    }
}

TEST(HostChecks, AFailingNameCountsAsNotRunning) {
    FakeHost host;
    host.runningName = "Microsoft Project";
    host.failWhen = [](const testing::HostCall& call) -> std::optional<QString> {
        if (call.op == "Name") return "RPC server unavailable";
        return std::nullopt;
    };
    EXPECT_FALSE(IsProjectRunning(host));
}

TEST(HostChecks, TheQuestionDecidesWhetherToAbort) {
    FakeHost host;
    ScriptedDialogs dialogs;
    EXPECT_FALSE(AbortForOpenProject(host, dialogs));  // nothing running: no question
    host.runningName = "Microsoft Project";
    dialogs.expectMessage(std::nullopt, Answer::Yes).expectMessage(std::nullopt, Answer::No);
    EXPECT_FALSE(AbortForOpenProject(host, dialogs));
    EXPECT_TRUE(AbortForOpenProject(host, dialogs));
    EXPECT_EQ(dialogs.shown()[0].buttons, MessageButtons::YesNo);
}

}  // namespace
}  // namespace quillmere
