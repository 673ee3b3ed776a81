#include "host/field_catalogue.h"
#include "project/replace_passes.h"

#include "platform/failure.h"
#include "report/error_report.h"
#include "support/fake_host.h"
#include "support/files.h"
#include "support/scripted_dialogs.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <set>

namespace quillmere {
namespace {

using testing::FakeHost;
using testing::HostCall;
using testing::ReplaceCallArgs;
using testing::ScriptedDialogs;

TEST(FieldCatalogue, HundredEntriesWithDurationTwice) {
    const auto& fields = FieldCatalogue();
    const std::set<QString> distinct(fields.begin(), fields.end());
    EXPECT_EQ(distinct.size(), 99u);
    EXPECT_EQ(fields[0], "Duration");
    EXPECT_EQ(fields[18], "Duration");
    EXPECT_EQ(fields[15], "Contact");
    EXPECT_EQ(fields[39], "Name");
    EXPECT_EQ(fields[40], "Notes");
    EXPECT_EQ(fields[64], "Text1");
    EXPECT_EQ(fields[93], "Text30");
    EXPECT_EQ(fields[99], "WBS Successors");
    // Apart from the first entry the names stand in order, numbered families by number.
    EXPECT_EQ(fields[14], "Baseline10 Duration");
    EXPECT_EQ(fields[29], "Duration10");
    EXPECT_EQ(fields[50], "Outline Code10");
}

class SinglePairPass : public ::testing::Test {
  protected:
    SinglePairPass() { dialogs.allowErrorReports(); }
    void run(const QString& find = "Alpha", const QString& replacement = "Beta") {
        ReplaceByFileXY(context, "/in/plan.xml", find, replacement, "/out/plan.xml");
    }

    ScriptedDialogs dialogs;
    BoxErrorReport report{dialogs};
    FakeHost host;
    int matchCase = 0;
    PassContext context{host, report, [this] { return matchCase; }};
};

TEST_F(SinglePairPass, CallsTheHostInOrderWithTheFixedArguments) {
    matchCase = 1;
    run();
    QStringList expectedOps{"Create", "FileOpen"};
    for (int k = 0; k < kFieldCount; ++k) expectedOps << "Replace";
    expectedOps << "FileSaveAs"
                << "Quit"
                << "Release";
    EXPECT_EQ(host.ops(), expectedOps);
    EXPECT_EQ(host.calls()[0].args, QStringList{"MSProject.Application"});
    EXPECT_EQ(host.calls()[1].args, QStringList{"/in/plan.xml"});
    const auto replaces = host.callsOf("Replace");
    for (int k = 0; k < kFieldCount; ++k)
        EXPECT_EQ(replaces[k].args, ReplaceCallArgs(FieldCatalogue()[k], "Alpha", "Beta", true));
    EXPECT_EQ(host.callsOf("FileSaveAs")[0].args, QStringList{"/out/plan.xml"});
    EXPECT_EQ(host.liveInstances(), 0);
    EXPECT_TRUE(dialogs.shown().empty());
}

TEST_F(SinglePairPass, MatchCaseIsReadBeforeEveryCall) {
    struct Case {
        int value;
        const char* expected;
    } cases[] = {{0, "false"}, {1, "true"}, {2, "false"}};
    for (const auto& c : cases) {
        FakeHost fresh;
        PassContext ctx{fresh, report, [&] { return c.value; }};
        ReplaceByFileXY(ctx, "a", "x", "y", "b");
        for (const auto& call : fresh.callsOf("Replace")) EXPECT_EQ(call.args[6], c.expected);
    }
    // The box changes while the pass runs: only the later calls see it.
    host.onCall = [&](const HostCall& call) {
        if (call.op == "Replace" && call.args[0] == "Name") matchCase = 1;
    };
    run();
    const auto replaces = host.callsOf("Replace");
    EXPECT_EQ(replaces[39].args[6], "false");
    EXPECT_EQ(replaces[40].args[6], "true");
    EXPECT_EQ(replaces[99].args[6], "true");
}

TEST_F(SinglePairPass, ARejectedFieldCostsOneReportAndTheFileIsStillSaved) {
    host.failWhen = [](const HostCall& call) -> std::optional<QString> {
        if (call.op == "Replace" && call.args[0] == "Hyperlink Href")
            return "The field \"Hyperlink Href\" does not exist.";
        return std::nullopt;
    };
    run();
    // "Hyperlink Href" is entry 37: line 102 + 2 * 37.
    EXPECT_EQ(dialogs.errorReportLines(), std::vector<int>{176});
    EXPECT_TRUE(dialogs.errorReports()[0].text.startsWith(
        "The field \"Hyperlink Href\" does not exist.\r\n"
        "in Tarnwick2021/08/31.MSProject1.ReplaceByFileXY at line 176"));
    EXPECT_EQ(host.callsOf("Replace").size(), 100u);
    EXPECT_EQ(host.callsOf("FileSaveAs").size(), 1u);
    EXPECT_EQ(host.callsOf("Quit").size(), 1u);
}

// A call that changed some values and left others is reported, and what it changed is counted.
TEST_F(SinglePairPass, AFieldWithValuesLeftAloneCountsWhatChangedAndIsReported) {
    std::vector<std::pair<QString, int>> heard;
    context.replaced = [&](const QString& field, int changed) {
        heard.push_back({field, changed});
    };
    host.onCall = [](const HostCall& call) {
        if (call.op == "Replace" && call.args[0] == "Contact")
            throw PartlyReplaced(errors::kHostInvalidArgument, "The Contact of task 1 was left.",
                                 3);
    };
    run();
    ASSERT_EQ(dialogs.errorReports().size(), 1u);
    EXPECT_TRUE(dialogs.errorReports()[0].text.startsWith("The Contact of task 1 was left."));
    EXPECT_EQ(heard.size(), 100u);
    EXPECT_TRUE(std::count(heard.begin(), heard.end(), std::pair<QString, int>("Contact", 3)));
    EXPECT_EQ(host.callsOf("FileSaveAs").size(), 1u);
}

TEST_F(SinglePairPass, AFailedSaveStillQuits) {
    host.failWhen = [](const HostCall& call) -> std::optional<QString> {
        if (call.op == "FileSaveAs") return "Disk full";
        return std::nullopt;
    };
    run();
    EXPECT_EQ(dialogs.errorReportLines(), std::vector<int>{304});
    EXPECT_EQ(host.ops().mid(host.ops().size() - 3),
              (QStringList{"FileSaveAs", "Quit", "Release"}));
}

TEST_F(SinglePairPass, AnAbsentHostGivesOneReportPerStep) {
    host.absent = true;
    run();
    std::vector<int> expected;
    for (int line = 100; line <= 306; line += 2) expected.push_back(line);
    EXPECT_EQ(dialogs.errorReportLines(), expected);
    EXPECT_EQ(expected.size(), 104u);
    EXPECT_EQ(host.ops(), QStringList{"Create"});
}

TEST_F(SinglePairPass, AnEmptyFindTextIsPassedThrough) {
    run("", "");
    for (const auto& call : host.callsOf("Replace")) {
        EXPECT_EQ(call.args[2], "");
        EXPECT_EQ(call.args[3], "");
    }
}

}  // namespace
}  // namespace quillmere

namespace quillmere {
namespace {

class SetListPass : public ::testing::Test {
  protected:
    SetListPass() { dialogs.allowErrorReports(); }
    static TextList ListOf(QStringList& texts) {
        return {[&texts] { return int(texts.size()); },
                [&texts](int i) {
                    if (i < 0 || i >= texts.size())
                        throw Failure(381, "Invalid property array index");
                    return texts[i];
                }};
    }
    void run(const QString& source = "/in/plan.xml", const QString& output = "/out/plan.xml") {
        ReplaceByFileXYCombo(context, source, ListOf(finds), ListOf(replacements), output);
    }

    ScriptedDialogs dialogs;
    BoxErrorReport report{dialogs};
    FakeHost host;
    PassContext context{host, report, [] { return 0; }};
    QStringList finds;
    QStringList replacements;
};

TEST_F(SetListPass, PairsOutsideFieldsInside) {
    finds = {"A", "B", "C"};
    replacements = {"1", "2", "3"};
    run();
    const auto replaces = host.callsOf("Replace");
    ASSERT_EQ(replaces.size(), 300u);
    for (int pair = 0; pair < 3; ++pair)
        for (int k = 0; k < kFieldCount; ++k)
            EXPECT_EQ(replaces[pair * kFieldCount + k].args,
                      ReplaceCallArgs(FieldCatalogue()[k], finds[pair], replacements[pair], false));
    EXPECT_EQ(host.callsOf("Create").size(), 1u);
    EXPECT_EQ(host.callsOf("FileSaveAs").size(), 1u);
    EXPECT_EQ(host.ops().last(), "Release");
}

TEST_F(SetListPass, AnEmptyListStillOpensSavesAndQuits) {
    run();
    EXPECT_EQ(host.ops(), (QStringList{"Create", "FileOpen", "FileSaveAs", "Quit", "Release"}));
    EXPECT_TRUE(dialogs.shown().empty());
}

TEST_F(SetListPass, ItemsAreReadAfreshForEveryCall) {
    finds = {"A"};
    replacements = {"1"};
    host.onCall = [&](const HostCall& call) {
        if (call.op == "Replace" && call.args[0] == "Name") replacements[0] = "2";
    };
    run();
    const auto replaces = host.callsOf("Replace");
    EXPECT_EQ(replaces[39].args[3], "1");
    EXPECT_EQ(replaces[40].args[3], "2");
}

TEST_F(SetListPass, PairsChainInListOrder) {
    QTemporaryDir dir;
    const QString source = dir.filePath("plan.txt");
    testing::WriteBytes(source, "Job X");
    host.actOnFiles = true;
    const struct {
        QStringList finds, replacements;
        const char* expected;
    } cases[] = {
        {{"X", "Y"}, {"Y", "Z"}, "Job Z"},
        {{"Y", "X"}, {"Z", "Y"}, "Job Y"},
    };
    for (const auto& c : cases) {
        finds = c.finds;
        replacements = c.replacements;
        run(source, dir.filePath("out.txt"));
        EXPECT_EQ(testing::ReadBytes(dir.filePath("out.txt")), QByteArray(c.expected));
    }
}

TEST_F(SetListPass, ARejectedFieldCostsOneReportPerPair) {
    finds = {"A", "B"};
    replacements = {"1", "2"};
    host.failWhen = [](const HostCall& call) -> std::optional<QString> {
        if (call.op == "Replace" && call.args[0] == "Project") return "Unknown field";
        return std::nullopt;
    };
    run();
    // "Project" is entry 54: line 104 + 2 * 54.
    EXPECT_EQ(dialogs.errorReportLines(), (std::vector<int>{212, 212}));
    EXPECT_TRUE(dialogs.errorReports()[0].text.contains(
        "in Tarnwick2021/08/31.MSProject1.ReplaceByFileXYCombo at line 212"));
}

TEST_F(SetListPass, AnAbsentHostGivesFourReportsAndAHundredPerPair) {
    finds = {"A", "B"};
    replacements = {"1", "2"};
    host.absent = true;
    run();
    const auto lines = dialogs.errorReportLines();
    ASSERT_EQ(lines.size(), 204u);  // create, open, save, quit, and 100 replaces per pair
    EXPECT_EQ(lines.front(), 100);
    EXPECT_EQ(lines[2], 106);
    EXPECT_EQ(lines[101], 304);
    EXPECT_EQ(lines[102], 106);
    EXPECT_EQ(lines[lines.size() - 2], 308);
    EXPECT_EQ(lines.back(), 310);
}

TEST_F(SetListPass, AMissingReplacementFailsThatCallInsteadOfErasingText) {
    finds = {"A", "B"};
    replacements = {"1"};
    run();
    EXPECT_EQ(host.callsOf("Replace").size(), 100u);
    EXPECT_EQ(dialogs.errorReportLines().size(), 100u);
    EXPECT_EQ(dialogs.errorReportLines().front(), 106);
}

TEST_F(SetListPass, AnUnreadableCountStillEntersTheLoopOnce) {
    finds = {"A"};
    replacements = {"1"};
    TextList broken{[]() -> int { throw Failure(5, "Invalid procedure call"); },
                    ListOf(finds).item};
    ReplaceByFileXYCombo(context, "/in", broken, ListOf(replacements), "/out");
    EXPECT_EQ(dialogs.errorReportLines(), std::vector<int>{104});
    EXPECT_EQ(host.callsOf("Replace").size(), 100u);
}

}  // namespace
}  // namespace quillmere
