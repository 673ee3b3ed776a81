// A run through the window with the built-in host on real project files.

#include "batch/batch_options.h"
#include "batch/batch_run.h"
#include "platform/file_system.h"
#include "platform/host/builtin/builtin_host.h"
#include "shell/form1.h"
#include "support/fake_services.h"
#include "support/files.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>

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

}  // namespace
}  // namespace quillmere
