// A run through the window with the built-in host on real project files.

#include "batch/batch_options.h"
#include "batch/batch_run.h"
#include "host/builtin/builtin_host.h"
#include "platform/file_system.h"
#include "shell/form1.h"
#include "support/fake_host.h"
#include "support/fake_services.h"
#include "support/files.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace quillmere {
namespace {

using testing::ReadBytes;
using testing::ShownPrompt;
using testing::WriteBytes;

// The window with the built-in host, on real files; the dialogs are scripted.
struct BuiltinRun {
    testing::FakeServices fake;
    builtin::BuiltinHostFactory hosts;
    Services services{fake.dialogs,  hosts,       fake.files,
                      fake.settings, fake.events, fake.programFolder.path(),
                      fake.shell};
    Form1 form{services};
};

// The batch summary of a dry run over the files, as one text without its dry-run mark.
QString BatchAccount(HostFactory& hosts, const QStringList& sources, const QString& outFolder) {
    NativeFileSystem files;
    BatchOptions options;
    options.finds = {"harbour street"};
    options.replacements = {"Quay Road"};
    options.outFolder = outFolder;
    options.dryRun = true;
    BatchRun run(files, hosts, options, sources, 1);
    QStringList lines;
    RunTotals totals;
    for (qsizetype i = 0; i < sources.size(); ++i) {
        const FileResult result = run.result(i);
        lines << SummaryLine(result);
        totals.add(result);
    }
    return (lines << TotalsLine(totals, false)).join('\n');
}

TEST(RunWithBuiltinHost, SamplesAreReplacedAndSourcesKept) {
    BuiltinRun run;
    auto& [fake, hosts, services, form] = run;
    QTemporaryDir dir;
    QDir(dir.path()).mkdir("plans");
    QDir(dir.path()).mkdir("out");
    QMap<QString, QByteArray> sources;
    for (const QString& name :
         QDir(QUILLMERE_RESOURCES "/Samples").entryList(QDir::Files, QDir::Name)) {
        const QString path = dir.filePath("plans/" + name);
        QFile::copy(QUILLMERE_RESOURCES "/Samples/" + name, path);
        sources[path] = ReadBytes(path);
        form.ListView1->addTopLevelItem(new QTreeWidgetItem({path}));
    }
    const QString binary = dir.filePath("plans/old.mpp");
    WriteBytes(binary, QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + QByteArray(504, 0));
    form.ListView1->addTopLevelItem(new QTreeWidgetItem({binary}));

    form.Text1->setPlainText("harbour street");
    form.Text2->setPlainText("Quay Road");
    form.Text3->setText(dir.filePath("out"));
    // The batch's account of the same files (a dry run, which writes nothing) is the window's.
    const QString batchAccount = BatchAccount(hosts, sources.keys() << binary, dir.filePath("out"));
    fake.dialogs.allowErrorReports();
    fake.dialogs.expectMessage("Done.");
    form.PushButton7->click();
    const ShownPrompt& done = fake.dialogs.shown().back();
    EXPECT_EQ(done.details, batchAccount);
    EXPECT_TRUE(done.details.contains(": Name 6, Notes 9, Text2 10\n"))
        << done.details.toStdString();
    EXPECT_TRUE(done.details.endsWith("\n4 files: 1 changed, 2 unchanged, 1 failed"));

    const QByteArray office = ReadBytes(dir.filePath("out/Office Relocation.xml"));
    EXPECT_TRUE(office.contains("<Name>Confirm Quay Road lease</Name>"));
    EXPECT_TRUE(office.contains("<Value>Quay Road</Value>"));
    // Only task values change: the project's own fields stay.
    EXPECT_EQ(office.count("Harbour Street"), 0);
    EXPECT_EQ(ReadBytes(dir.filePath("out/Warehouse Fit-Out.xml")),
              sources[dir.filePath("plans/Warehouse Fit-Out.xml")]);
    EXPECT_EQ(ReadBytes(dir.filePath("out/Website Launch.mpx")),
              sources[dir.filePath("plans/Website Launch.mpx")]);
    // The binary file costs two reports (open and save) and leaves no output.
    EXPECT_EQ(fake.dialogs.errorReportLines(), (std::vector<int>{102, 304}));
    EXPECT_TRUE(fake.dialogs.errorReports()[0].text.startsWith(
        "old.mpp is a binary Microsoft Project file"));
    EXPECT_FALSE(QFile::exists(dir.filePath("out/old.mpp")));
    for (auto it = sources.cbegin(); it != sources.cend(); ++it)
        EXPECT_EQ(ReadBytes(it.key()), it.value()) << it.key().toStdString();
}

// A link at an output path that cannot be removed (in a folder the user may not change) is never
// written through: the file fails with the reason, and the file the link leads to stays as it was.
TEST(RunWithBuiltinHost, ALinkThatCannotBeRemovedIsNotWrittenThrough) {
    BuiltinRun run;
    auto& [fake, hosts, services, form] = run;
    QTemporaryDir dir;
    const QString source = dir.filePath("plans/Office Relocation.xml");
    QDir(dir.path()).mkpath("plans");
    QDir(dir.path()).mkpath("out");
    QFile::copy(QUILLMERE_RESOURCES "/Samples/Office Relocation.xml", source);
    WriteBytes(dir.filePath("mine.xml"), "mine");
    QFile::link(dir.filePath("mine.xml"), dir.filePath("out/Office Relocation.xml"));
    if (!testing::LockFolder(dir.filePath("out"), true)) GTEST_SKIP() << "no folder can be locked";
    form.ListView1->addTopLevelItem(new QTreeWidgetItem({source}));
    form.Text1->setPlainText("Harbour Street");
    form.Text2->setPlainText("Quay Road");
    form.Text3->setText(dir.filePath("out"));
    fake.dialogs.allowErrorReports();
    fake.dialogs.expectMessage("Done.");
    form.PushButton7->click();
    testing::LockFolder(dir.filePath("out"), false);
    EXPECT_EQ(ReadBytes(dir.filePath("mine.xml")), "mine");
    ASSERT_EQ(fake.dialogs.errorReportLines(), (std::vector<int>{136}));
    EXPECT_TRUE(fake.dialogs.errorReports()[0].text.contains("could not be removed"));
}

// The output folder, renamed away and replaced by a link to another folder while the run yields,
// takes no removal and no result after that: the later file fails and says why, the first result
// is where the folder went, and the other folder stays as it was.
TEST(RunWithBuiltinHost, AnOutputFolderSwappedUnderTheRunTakesNothingMore) {
    BuiltinRun run;
    auto& [fake, hosts, services, form] = run;
    QTemporaryDir dir;
    QDir(dir.path()).mkpath("out");
    for (const QString name : {"Office Relocation.xml", "Website Launch.mpx"}) {
        QFile::copy(QUILLMERE_RESOURCES "/Samples/" + name, dir.filePath(name));
        form.ListView1->addTopLevelItem(new QTreeWidgetItem({dir.filePath(name)}));
    }
    WriteBytes(dir.filePath("victim/Website Launch.mpx"), "victim's");
    int yields = 0;
    fake.events.atYield = [&] {
        if (++yields != 3) return;  // the second file's first yield
        QDir(dir.path()).rename("out", "away");
        QFile::link(dir.filePath("victim"), dir.filePath("out"));
    };
    form.Text1->setPlainText("Harbour Street");
    form.Text2->setPlainText("Quay Road");
    form.Text3->setText(dir.filePath("out"));
    fake.dialogs.allowErrorReports();
    fake.dialogs.expectMessage("Done.");
    form.PushButton7->click();
    EXPECT_EQ(ReadBytes(dir.filePath("victim/Website Launch.mpx")), "victim's");
    EXPECT_TRUE(ReadBytes(dir.filePath("away/Office Relocation.xml")).contains("Quay Road"));
    ASSERT_EQ(fake.dialogs.errorReportLines(), (std::vector<int>{136}));
    EXPECT_TRUE(fake.dialogs.errorReports()[0].text.contains("was replaced while the run went on"))
        << fake.dialogs.errorReports()[0].text.toStdString();
}

// The batch's run in this process, away from the batch's own tests, which start programs: a
// thread sanitizer loses track of this process's threads after such a start.
// A host whose results take their names at a commit, and whose naming of one result fails. The
// commit that meets it on a worker is slow: it returns only once the test has been told its
// results (or after a second), as a slow disk would let another commit pass it.
class SlowNamingHost : public testing::FakeHost {
  public:
    explicit SlowNamingHost(QString failing) : m_failing(std::move(failing)) { actOnFiles = true; }
    int concurrentInstances() const override { return 4; }
    QHash<QString, QString> commitSaves() override {
        std::unique_lock lock(m_mutex);
        const bool onWorker = std::this_thread::get_id() != m_main;
        // The test's own commit comes second where it can.
        if (!onWorker) m_changed.wait_for(lock, std::chrono::seconds(1), [&] { return m_taken; });
        if (m_taken) return {};
        m_taken = true;
        if (onWorker) m_changed.wait_for(lock, std::chrono::seconds(1), [&] { return m_told; });
        return {{m_failing, "naming failed"}};
    }
    void told() {
        const std::lock_guard lock(m_mutex);
        m_told = true;
        m_changed.notify_all();
    }

  private:
    const QString m_failing;
    const std::thread::id m_main = std::this_thread::get_id();
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_taken = false, m_told = false;
};

BatchOptions HarbourToQuay(const QString& outFolder) {
    BatchOptions options;
    options.finds = {"Harbour"};
    options.replacements = {"Quay"};
    options.outFolder = outFolder;
    return options;
}

// A result whose naming fails in a commit that a worker makes is told as failed, whichever
// commit comes first.
TEST(BatchRunInProcess, ANamingFailureOnAWorkerIsNeverLost) {
    QTemporaryDir dir;
    const auto path = [&](const QString& name) { return dir.filePath(name); };
    QDir(dir.path()).mkdir("out");
    WriteBytes(path("in/a/plan.txt"), "Harbour Street");
    WriteBytes(path("in/b/plan.txt"), "Harbour Street");
    SlowNamingHost hosts(path("out/plan.txt"));
    NativeFileSystem files;
    const BatchOptions options = HarbourToQuay(path("out"));
    BatchRun run(files, hosts, options, {path("in/a/plan.txt"), path("in/b/plan.txt")}, 4);
    QList<FileResult> results{run.result(0)};
    run.commit(results);
    hosts.told();
    EXPECT_EQ(results[0].status, FileResult::Status::Failed);
    EXPECT_EQ(run.result(1).status, FileResult::Status::Failed);
}

// A file system that gives a removed result's number to an unrelated file, as it may.
class ReusingFileSystem : public NativeFileSystem {
  public:
    QString identity(const QString& path) override {
        const bool reused = path.endsWith("out/plan.txt") || path.endsWith("out/other.txt");
        return reused && QFile::exists(path) ? "reused" : NativeFileSystem::identity(path);
    }
};

// An earlier result is known by its file's number only while it still has that number: a file
// given the number of a result removed since is not taken for it.
TEST(BatchRunInProcess, AReusedFileNumberIsNotAnEarlierResult) {
    QTemporaryDir dir;
    const auto path = [&](const QString& name) { return dir.filePath(name); };
    WriteBytes(path("in/plan.txt"), "Harbour Street");
    WriteBytes(path("in/other.txt"), "Harbour Street");
    WriteBytes(path("out/other.txt"), "older");
    testing::FakeHost hosts;
    hosts.actOnFiles = true;
    ReusingFileSystem files;
    const BatchOptions options = HarbourToQuay(path("out"));
    BatchRun run(files, hosts, options, {path("in/plan.txt"), path("in/other.txt")}, 1);
    QList<FileResult> results{run.result(0)};
    run.commit(results);
    QFile::remove(path("out/plan.txt"));
    const FileResult other = run.result(1);
    EXPECT_NE(other.status, FileResult::Status::Failed) << other.failures.join("; ").toStdString();
}

}  // namespace
}  // namespace quillmere
