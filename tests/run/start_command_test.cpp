#include "shell/form1.h"

#include "controls/progress_bar.h"
#include "controls/tab_control.h"
#include "support/fake_services.h"
#include "support/files.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>

namespace quillmere {
namespace {

using testing::FakeServices;
using testing::HostCall;
using testing::ReadBytes;
using testing::WriteBytes;

const QString kDone = "Done.";
const QString kNoFolder = "Folder does not exist. Please select another folder.";
const QString kNoFiles = "No files added.";

class StartReplacing : public ::testing::Test {
  protected:
    StartReplacing() {
        fake.host.actOnFiles = true;
        out = dir.filePath("out");
        QDir().mkpath(out);
        form.Text3->setText(out + "/");
        form.Text1->setPlainText("Alpha");
        form.Text2->setPlainText("Omega");
    }
    ~StartReplacing() override {
        // No run may ever change a source file.
        for (auto it = sources.cbegin(); it != sources.cend(); ++it)
            EXPECT_EQ(ReadBytes(it.key()), it.value()) << it.key().toStdString();
    }

    QString addSource(const QString& relative, const QByteArray& content = "Task Alpha") {
        const QString path = dir.filePath(relative);
        WriteBytes(path, content);
        sources[path] = content;
        form.ListView1->addTopLevelItem(new QTreeWidgetItem({path}));
        return path;
    }
    void start() { form.PushButton7->click(); }
    QStringList savedTo() const {
        QStringList paths;
        for (const auto& call : fake.host.callsOf("FileSaveAs")) paths << call.args[0];
        return paths;
    }

    FakeServices fake;
    Form1 form{fake.services};
    QTemporaryDir dir;
    QString out;
    QMap<QString, QByteArray> sources;
};

TEST_F(StartReplacing, TheFolderIsCheckedFirstEvenWithAnEmptyList) {
    for (const QString& folder : {QString(), dir.filePath("nowhere")}) {
        form.Text3->setText(folder);
        fake.dialogs.expectMessage(kNoFolder);
        start();
    }
    EXPECT_EQ(fake.dialogs.shown()[0].caption, fake.dialogs.applicationTitle());
    EXPECT_EQ(fake.dialogs.shown()[0].buttons, MessageButtons::Ok);
    EXPECT_TRUE(fake.host.calls().empty());
}

TEST_F(StartReplacing, AnEmptyListLeavesBarAndPointerAlone) {
    fake.dialogs.expectMessage(kNoFiles);
    start();
    EXPECT_EQ(form.ProgressBar1->text(), "Progress Bar");
    EXPECT_EQ(form.ProgressBar1->value(), 0);
    EXPECT_EQ(form.pointer(), Form1::Pointer::Default);
    EXPECT_EQ(fake.events.yields, 0);
}

TEST_F(StartReplacing, BesideTheSourceTheFolderTextIsIgnored) {
    const QString source = addSource("plans/alpha.mpp");
    form.Option2->setChecked(true);
    form.Text3->setText("no such folder");
    fake.dialogs.expectMessage(kDone);
    start();
    EXPECT_EQ(savedTo(), QStringList{dir.filePath("plans/alpha_replaced.mpp")});
    EXPECT_EQ(ReadBytes(dir.filePath("plans/alpha_replaced.mpp")), "Task Omega");
}

TEST_F(StartReplacing, NoOutputOptionRefusesTheRun) {
    addSource("alpha.mpp");
    for (QRadioButton* option : {form.Option1, form.Option2}) {
        option->setAutoExclusive(false);
        option->setChecked(false);
    }
    fake.dialogs.expectMessage("Please choose where to save the results.");
    start();
    EXPECT_TRUE(fake.host.calls().empty());
}

TEST_F(StartReplacing, RunningProjectQuestion) {
    const QString source = addSource("alpha.mpp");
    WriteBytes(out + "/alpha.mpp", "stale");
    fake.host.runningName = "Microsoft Project";
    const QString question =
        "Project may be open. It is recommended that you close Project first.\r\n\r\n"
        "Would you like to proceed anyway?";
    fake.dialogs.expectMessage(question, Answer::No);
    start();
    // Declined: nothing touched, not even the stale output.
    EXPECT_EQ(fake.host.ops(), (QStringList{"Attach", "Name", "Release"}));
    EXPECT_EQ(ReadBytes(out + "/alpha.mpp"), "stale");
    EXPECT_EQ(form.ProgressBar1->text(), "Progress Bar");

    fake.dialogs.expectMessage(question, Answer::Yes).expectMessage(kDone);
    start();
    EXPECT_EQ(ReadBytes(out + "/alpha.mpp"), "Task Omega");
    EXPECT_EQ(fake.dialogs.shown()[0].buttons, MessageButtons::YesNo);
}

TEST_F(StartReplacing, AnInstanceWithAnotherNameIsNotProject) {
    addSource("alpha.mpp");
    fake.host.runningName = "Microsoft Excel";
    fake.dialogs.expectMessage(kDone);
    start();
    EXPECT_EQ(fake.host.callsOf("Quit").size(), 1u);  // only the pass's own instance quits
    EXPECT_EQ(fake.host.callsOf("Quit")[0].instance, 2);
}

TEST_F(StartReplacing, ASecondPressDuringAYieldDoesNothing) {
    addSource("a.mpp");
    addSource("b.mpp");
    fake.events.atYield = [&] {
        if (fake.events.yields == 1) form.PushButton7->click();
    };
    fake.dialogs.expectMessage(kDone);
    start();
    EXPECT_EQ(fake.host.callsOf("Create").size(), 2u);
    EXPECT_EQ(fake.dialogs.shown().size(), 1u);
    // The flag is clear again afterwards.
    fake.events.atYield = nullptr;
    fake.dialogs.expectMessage(kDone);
    start();
    EXPECT_EQ(fake.host.callsOf("Create").size(), 4u);
}

// While the host waits for another run, the progress text says so; a second press of Start
// gives the wait up and ends the run there, saying so.
TEST_F(StartReplacing, ASecondPressWhileTheHostWaitsEndsTheRun) {
    for (const bool press : {false, true}) {
        SCOPED_TRACE(press);
        fake.host.waitsBeforeCreate = 3;
        const size_t createdBefore = fake.host.callsOf("Create").size();
        addSource("a.mpp");
        addSource("b.mpp");
        QStringList waitTexts;
        QStringList onSave;  // the progress text once the wait is over
        fake.host.onCall = [&](const HostCall& call) {
            if (call.op == "FileSaveAs") onSave << form.ProgressBar1->text();
        };
        fake.events.atYield = [&] {
            if (!form.ProgressBar1->text().startsWith("Another run")) return;
            waitTexts << form.ProgressBar1->text();
            if (press) form.PushButton7->click();
        };
        fake.dialogs.expectMessage(kDone);
        start();
        const QString details = fake.dialogs.shown().back().details;
        EXPECT_EQ(waitTexts.first(),
                  "Another run is using Project. Press Start Replacing to give up.");
        EXPECT_EQ(waitTexts.size(), press ? 1 : 6);
        EXPECT_EQ(fake.host.callsOf("Create").size() - createdBefore, press ? 1u : 2u);
        const QStringList processing{"Processing: a.mpp", "Processing: b.mpp"};
        EXPECT_EQ(onSave, press ? QStringList() : processing);
        EXPECT_EQ(details.count("You gave up waiting for another run"), press ? 1 : 0)
            << details.toStdString();
        EXPECT_EQ(form.ProgressBar1->text(), "Progress Bar");
        form.ListView1->clear();
    }
    // The next run waits again.
    fake.events.atYield = nullptr;
    fake.host.onCall = nullptr;
    addSource("c.mpp");
    fake.dialogs.expectMessage(kDone);
    start();
    EXPECT_EQ(fake.host.callsOf("FileSaveAs").size(), 3u);
}

// An empty find text is handed to the host, which finds nothing; the account says why.
TEST_F(StartReplacing, AnEmptyFindTextLeavesTheFileUnchangedAndSaysWhy) {
    addSource("a.mpp");
    form.Text1->setPlainText("");
    fake.dialogs.expectMessage(kDone);
    start();
    EXPECT_EQ(fake.host.callsOf("Replace").size(), 100u);
    EXPECT_TRUE(fake.dialogs.shown().back().details.startsWith(
        "unchanged: " + dir.filePath("a.mpp") + " -> " + out +
        "/a.mpp: the find text is empty, "
        "so nothing was looked for\n"))
        << fake.dialogs.shown().back().details.toStdString();
}

TEST_F(StartReplacing, ProgressForFourFiles) {
    for (const char* name : {"a.mpp", "b.mpp", "c.mpp", "d%p.mpp"}) addSource(name);
    QList<int> values;
    QStringList texts;
    fake.host.onCall = [&](const HostCall& call) {
        if (call.op != "Create") return;
        values << form.ProgressBar1->value();
        texts << form.ProgressBar1->text();
        EXPECT_EQ(form.pointer(), Form1::Pointer::Hourglass);
    };
    fake.dialogs.expectMessage(kDone);
    fake.dialogs.whilePromptOpen([&] {
        EXPECT_EQ(form.ProgressBar1->value(), 0);
        EXPECT_EQ(form.ProgressBar1->text(), "Progress Bar");
        EXPECT_EQ(form.pointer(), Form1::Pointer::Default);
    });
    start();
    EXPECT_EQ(values, (QList<int>{25, 50, 75, 100}));
    EXPECT_EQ(texts, (QStringList{"Processing: a.mpp", "Processing: b.mpp", "Processing: c.mpp",
                                  "Processing: d%p.mpp"}));
}

TEST_F(StartReplacing, TheOutputFolderBeingTheSourcesFolderGivesTheReplacedName) {
    const QString source = addSource("plans/alpha.mpp");
    QFile::link(dir.filePath("plans"), dir.filePath("alias"));
    const QStringList spellings{dir.filePath("plans") + "/", dir.filePath("plans/../plans"),
                                dir.filePath("alias")};
    for (const QString& spelling : spellings) {
        form.Text3->setText(spelling);
        fake.dialogs.expectMessage(kDone);
        start();
    }
    ASSERT_EQ(savedTo().size(), 3);
    EXPECT_EQ(savedTo()[0], dir.filePath("plans/alpha_replaced.mpp"));
    EXPECT_EQ(savedTo()[1], dir.filePath("plans/../plans/alpha_replaced.mpp"));
    EXPECT_EQ(savedTo()[2], dir.filePath("alias/alpha_replaced.mpp"));
    EXPECT_EQ(ReadBytes(dir.filePath("plans/alpha_replaced.mpp")), "Task Omega");
}

TEST_F(StartReplacing, TwoSourcesWithOneNameShareTheOutput) {
    addSource("one/plan.mpp", "Alpha one");
    addSource("two/plan.mpp", "Alpha two");
    fake.dialogs.expectMessage(kDone);
    start();
    EXPECT_EQ(savedTo(), (QStringList{out + "/plan.mpp", out + "/plan.mpp"}));
    EXPECT_EQ(ReadBytes(out + "/plan.mpp"), "Omega two");
}

// No result ever replaces a file on the list; a file whose every output name is taken by one is
// skipped and reported.
TEST(StartReplacingWithListedOutputs, NoResultReplacesAListedFile) {
    const struct {
        const char* name;
        QStringList listed;        // relative to a temporary folder
        const char* outputFolder;  // nullptr: beside the source
        QStringList savedTo;
        QStringList reported;  // the source, its output, and what the output would replace
    } cases[] = {
        {"the later source's own name",
         {"y/plan.mpp", "x/plan.mpp"},
         "x",
         {"x/plan_replaced.mpp", "x/plan_replaced.mpp"},
         {}},
        {"a listed file through a link",
         {"y/plan.mpp", "alias/plan.mpp"},
         "x",
         {"x/plan_replaced.mpp", "x/plan_replaced.mpp"},
         {}},
        {"the suffixed name is listed too",
         {"alpha.mpp", "alpha_replaced.mpp"},
         nullptr,
         {"alpha_replaced_replaced.mpp"},
         {"alpha.mpp", "alpha_replaced.mpp", "alpha_replaced.mpp, which is on the file list."}},
        {"the suffixed name is the source",
         {"x/same.mpp"},
         nullptr,
         {},
         {"x/same.mpp", "x/same_replaced.mpp", "the source file itself."}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir root;
        const auto at = [&](const QString& relative) { return root.filePath(relative); };
        QDir().mkpath(at("x"));
        QFile::link(at("x"), at("alias"));
        FakeServices fake;
        fake.host.actOnFiles = true;
        Form1 form{fake.services};
        form.Text1->setPlainText("Alpha");
        form.Text2->setPlainText("Omega");
        for (const QString& entry : c.listed) {
            WriteBytes(at(entry), "Alpha");
            form.ListView1->addTopLevelItem(new QTreeWidgetItem({at(entry)}));
        }
        // A second name of the source on disk, which its suffixed output would reach.
        QFile::link(at("x/same.mpp"), at("x/same_replaced.mpp"));
        form.Text3->setText(c.outputFolder ? at(c.outputFolder) : QString());
        form.Option2->setChecked(!c.outputFolder);
        fake.dialogs.allowErrorReports();
        fake.dialogs.expectMessage(kDone);
        form.PushButton7->click();

        for (const QString& entry : c.listed)
            EXPECT_EQ(ReadBytes(at(entry)), "Alpha") << entry.toStdString();
        QStringList saved;
        for (const auto& call : fake.host.callsOf("FileSaveAs")) saved << call.args[0];
        QStringList expected;
        for (const QString& path : c.savedTo) expected << at(path);
        EXPECT_EQ(saved, expected);
        if (c.reported.isEmpty()) {
            EXPECT_TRUE(fake.dialogs.errorReports().empty());
            continue;
        }
        ASSERT_EQ(fake.dialogs.errorReportLines(), std::vector<int>{136});
        const QString report = fake.dialogs.errorReports()[0].text;
        EXPECT_TRUE(report.contains(at(c.reported[0]) + " was not processed: its result " +
                                    at(c.reported[1]) + " would replace "))
            << report.toStdString();
        EXPECT_TRUE(report.contains(c.reported[2])) << report.toStdString();
    }
}

TEST_F(StartReplacing, AFileListedWhileTheOldOutputIsDeletedIsKept) {
    addSource("y/plan.mpp");
    const QString users = out + "/plan.mpp";
    WriteBytes(users, "user's own");
    // The second yield is the one inside the deletion of the old output.
    fake.events.atYield = [&] {
        if (fake.events.yields != 2) return;
        form.ListView1->addTopLevelItem(new QTreeWidgetItem({users}));
        sources[users] = "user's own";
    };
    fake.dialogs.allowErrorReports();
    fake.dialogs.expectMessage(kDone);
    start();
    EXPECT_EQ(fake.dialogs.errorReportLines(), std::vector<int>{136});
    EXPECT_TRUE(savedTo().isEmpty());
}

TEST_F(StartReplacing, AStaleReadOnlyOutputIsRemovedBeforeThePass) {
    addSource("alpha.mpp");
    const QString stale = out + "/alpha.mpp";
    WriteBytes(stale, "stale");
    QFile::setPermissions(stale, QFileDevice::ReadOwner);
    // The pass fails: afterwards nothing is left at the output path.
    fake.host.failWhen = [&](const HostCall& call) -> std::optional<QString> {
        if (call.op == "FileOpen") {
            EXPECT_FALSE(QFile::exists(stale));
            return "The file is not a project file.";
        }
        if (call.op == "FileSaveAs") return "No project is open, so nothing was saved.";
        return std::nullopt;
    };
    fake.host.actOnFiles = false;
    fake.dialogs.allowErrorReports();
    fake.dialogs.expectMessage(kDone);
    start();
    EXPECT_FALSE(QFile::exists(stale));
    EXPECT_EQ(fake.dialogs.errorReportLines(), (std::vector<int>{102, 304}));
}

// Every result is on disk before the run says "Done."; a failed sync is reported instead.
TEST_F(StartReplacing, ResultsAreSyncedBeforeDone) {
    addSource("a.mpp");
    fake.host.onSync = [&] {
        for (const auto& shown : fake.dialogs.shown()) EXPECT_NE(shown.text, kDone);
    };
    fake.dialogs.allowErrorReports();
    fake.host.syncFailure = "The disk is gone.";
    start();
    ASSERT_EQ(fake.dialogs.errorReportLines(), std::vector<int>{156});
    EXPECT_TRUE(fake.dialogs.errorReports()[0].text.contains("The disk is gone."));
    fake.host.syncFailure.reset();
    fake.dialogs.expectMessage(kDone);
    start();
    EXPECT_EQ(fake.host.syncs, 2);
    EXPECT_TRUE(fake.dialogs.allExpectedShown());
    // The window closed while the run yields on the second file: what was saved is synced all
    // the same, and the run says nothing.
    addSource("b.mpp");
    fake.host.onSync = nullptr;
    form.show();
    fake.events.atYield = [&] {
        if (!savedTo().isEmpty()) form.close();
    };
    start();
    EXPECT_EQ(fake.host.syncs, 3);
    EXPECT_TRUE(fake.dialogs.allExpectedShown());  // no second "Done."
}

TEST_F(StartReplacing, ChangesDuringAYieldApplyFromTheNextFile) {
    const QString first = addSource("plans/a.mpp");
    const QString second = addSource("plans/b.mpp");
    form.Combo1->addItem("Task");
    form.Combo2->addItem("Job");
    // Yields per file: before its work, and inside the deletion of a stale output.
    fake.events.atYield = [&] {
        if (fake.events.yields != 3) return;
        form.TabControl1->setCurrentIndex(1);
        form.Option2->setChecked(true);
    };
    fake.dialogs.expectMessage(kDone);
    start();
    EXPECT_EQ(savedTo(), (QStringList{out + "/a.mpp", dir.filePath("plans/b_replaced.mpp")}));
    EXPECT_EQ(ReadBytes(out + "/a.mpp"), "Task Omega");
    EXPECT_EQ(ReadBytes(dir.filePath("plans/b_replaced.mpp")), "Job Alpha");
}

TEST_F(StartReplacing, FilesAddedDuringARunCountButAreNotProcessed) {
    addSource("a.mpp");
    addSource("b.mpp");
    QList<int> values;
    fake.host.onCall = [&](const HostCall& call) {
        if (call.op == "Create") values << form.ProgressBar1->value();
    };
    fake.events.atYield = [&] {
        if (fake.events.yields == 1) {
            addSource("c.mpp");
            addSource("d.mpp");
        }
    };
    fake.dialogs.expectMessage(kDone);
    start();
    EXPECT_EQ(values, (QList<int>{50, 50}));
    EXPECT_EQ(savedTo(), (QStringList{out + "/a.mpp", out + "/b.mpp"}));
}

TEST_F(StartReplacing, EntriesRemovedDuringARunEndItAtTheListsEnd) {
    addSource("a.mpp");
    addSource("b.mpp");
    addSource("c.mpp");
    fake.events.atYield = [&] {
        if (fake.events.yields == 1) {
            delete form.ListView1->takeTopLevelItem(2);
            delete form.ListView1->takeTopLevelItem(1);
        }
    };
    fake.dialogs.expectMessage(kDone);
    start();
    EXPECT_EQ(savedTo(), QStringList{out + "/a.mpp"});
}

TEST_F(StartReplacing, ClosingTheWindowDuringARunEndsItBetweenFiles) {
    addSource("a.mpp");
    addSource("b.mpp");
    fake.host.onSync = nullptr;
    form.show();
    fake.events.atYield = [&] {
        if (fake.events.yields == 1) form.close();
    };
    start();  // no "Done." expected
    EXPECT_TRUE(fake.host.callsOf("Create").empty());
    EXPECT_TRUE(fake.events.ending());
}

TEST_F(StartReplacing, EachFileGetsItsOwnInstance) {
    addSource("a.mpp");
    addSource("b.mpp");
    fake.dialogs.expectMessage(kDone);
    start();
    QStringList perFile{"Create", "FileOpen"};
    for (int k = 0; k < 100; ++k) perFile << "Replace";
    perFile << "FileSaveAs"
            << "Quit"
            << "Release";
    EXPECT_EQ(fake.host.ops(), QStringList{"Attach"} + perFile + perFile);
    EXPECT_EQ(fake.host.liveInstances(), 0);
}

}  // namespace
}  // namespace quillmere
