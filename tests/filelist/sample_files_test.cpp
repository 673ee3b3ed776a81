#include "filelist/sample_files.h"

#include "platform/qt_settings_store.h"
#include "shell/form1.h"
#include "support/fake_services.h"
#include "support/files.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QPushButton>
#include <QTreeWidget>

namespace quillmere {
namespace {

using testing::FakeServices;

TEST(Scrambler, EveryCodeComesBackWithEveryKeyLetter) {
    QtEventLoop events;
    QByteArray codes;
    for (int c = 1; c <= 255; ++c) codes.append(char(c));
    for (char letter = 'a'; letter <= 'z'; ++letter) {
        const QByteArray scrambled = ScrambleCodes(codes, QByteArray(1, letter), events);
        EXPECT_FALSE(scrambled.contains('\0')) << letter;
        EXPECT_EQ(UnscrambleCodes(scrambled, QByteArray(1, letter), events), codes) << letter;
    }
    // A text in any script, scrambled, survives the real store and comes back whole.
    const QString text = QString::fromLatin1(codes) + QStringLiteral("/Проекты/計画|x");
    QTemporaryDir dir;
    QtSettingsStore store(dir.filePath("s.ini"));
    store.write("Snapshot", ScrambleText(text, "fenwicks", events));
    EXPECT_EQ(UnscrambleText(store.read("Snapshot", ""), "fenwicks", events), text);
}

// The program folder's samples, recorded at the first start and loaded by the button, twice.
TEST(SampleFiles, LoadAddsEachRecordedSampleThatExistsAndIsNotListedYet) {
    const struct {
        const char* programFolder;
        QStringList listed;  // entries before the load; "S/" stands for the Samples folder
        const char* deleted;
        QStringList added;
        const char* movedTo = "";   // the program's new folder after the first start
        bool storeRefused = false;  // the settings cannot be written after the first start
    } cases[] = {
        {"prog", {}, "", {"S/a.xml", "S/b.mpx", "S/c.xml"}},
        {"prog", {}, "b.mpx", {"S/a.xml", "S/c.xml"}},
        {"prog", {"S/A.XML", "S/c.xml"}, "", {"S/a.xml", "S/b.mpx"}},
        {"Проекты 計画", {}, "", {"S/a.xml", "S/b.mpx", "S/c.xml"}},
        {"prog", {}, "b.mpx", {"S/a.xml", "S/c.xml"}, "installed"},
        {"prog", {}, "", {"S/a.xml", "S/b.mpx", "S/c.xml"}, "installed", true},
    };
    for (const auto& c : cases) {
        FakeServices fake;
        Services services = fake.services;
        services.programFolder = fake.programFolder.filePath(c.programFolder);
        QString samples = QDir(services.programFolder).filePath("Samples") + "/";
        for (const char* name : {"a.xml", "b.mpx", "c.xml"}) testing::WriteBytes(samples + name);
        Form1 form(services);
        form.Form_Load();
        if (*c.movedTo) {
            const QString moved = fake.programFolder.filePath(c.movedTo);
            ASSERT_TRUE(QDir().rename(services.programFolder, moved));
            services.programFolder = moved;
            samples = QDir(moved).filePath("Samples") + "/";
        }
        if (*c.deleted) QFile::remove(samples + c.deleted);
        fake.settings.refuseWrites = c.storeRefused;
        fake.dialogs.allowErrorReports(c.storeRefused);
        const auto paths = [&](const QStringList& texts) {
            return texts.join('\n').replace("S/", samples).split('\n', Qt::SkipEmptyParts);
        };
        form.fileList().append(paths(c.listed));
        fake.dialogs.expectMessage(std::nullopt, Answer::Yes)
            .expectMessage(std::nullopt, Answer::No);
        form.PushButton8->click();
        form.PushButton8->click();
        QStringList entries;
        for (int i = 0; i < form.ListView1->topLevelItemCount(); ++i)
            entries << form.ListView1->topLevelItem(i)->text(0);
        EXPECT_EQ(entries, paths(c.listed) + paths(c.added))
            << c.programFolder << c.deleted << c.movedTo;
        EXPECT_EQ(fake.shell.opened, QStringList{samples});
        // Each click that found no recorded sample reports the record it could not store.
        EXPECT_EQ(fake.dialogs.errorReportLines().size(), c.storeRefused ? 2u : 0u);
    }
}

TEST(SampleFiles, AnEmptySamplesFolderIsRecordedAgainAtTheNextStart) {
    FakeServices fake;
    QDir(fake.programFolder.path()).mkdir("Samples");
    Form1(fake.services).Form_Load();
    EXPECT_EQ(fake.settings.values.value("Snapshot", "missing"), "");
    testing::WriteBytes(fake.programFolder.filePath("Samples/late.mpx"));
    Form1 again(fake.services);
    again.Form_Load();
    fake.dialogs.expectMessage(
        "Would you like this software to open the folder where these sample files are stored (so "
        "that you can view them before working with them)?",
        Answer::No);
    again.PushButton8->click();
    EXPECT_EQ(again.fileList().count(), 1);
    EXPECT_TRUE(fake.dialogs.errorReports().empty());
}

TEST(SampleFiles, AFolderTheDesktopCannotOpenIsNamedInAMessage) {
    FakeServices fake;
    fake.shell.opens = false;
    fake.dialogs.expectMessage(std::nullopt, Answer::Yes)
        .expectMessage("The folder where the sample files are stored could not be opened:\r\r" +
                       QDir(fake.programFolder.path()).filePath("Samples") + "/");
    Form1(fake.services).PushButton8->click();
}

}  // namespace
}  // namespace quillmere
