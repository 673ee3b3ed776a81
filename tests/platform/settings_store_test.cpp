#include "platform/failure.h"
#include "platform/qt_settings_store.h"
#include "support/files.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

namespace quillmere {
namespace {

TEST(SettingsStore, ReadsDefaultsAndKeepsEveryWrite) {
    QTemporaryDir dir;
    const QString ini = dir.filePath("Vandrel.conf");
    {
        QtSettingsStore store(ini);
        EXPECT_EQ(store.read("Extension", "mpp"), "mpp");
        store.write("Output Folder", "/home/me/Out/");
        store.write("Form2.Text2", "::");
        store.write("Extension", "");
    }
    QtSettingsStore again(ini);
    EXPECT_EQ(again.read("Output Folder", "x"), "/home/me/Out/");
    EXPECT_EQ(again.read("Form2.Text2", "x"), "::");
    EXPECT_EQ(again.read("Extension", "mpp"), "");
    EXPECT_TRUE(testing::ReadBytes(ini).startsWith("[Quillmere]"));
}

TEST(SettingsStore, AFailedWriteFailsNoLaterOne) {
    QTemporaryDir dir;
    const QString folder = dir.filePath("config");
    testing::WriteBytes(folder);  // a file where the store's folder belongs
    QtSettingsStore store(folder + "/Vandrel.conf");
    EXPECT_THROW(store.write("Check2", "1"), Failure);
    QFile::remove(folder);
    QDir().mkdir(folder);
    EXPECT_NO_THROW(store.write("Extension", "xml"));
    EXPECT_NO_THROW(store.write("LastFolder", "/p"));
    const QByteArray stored = testing::ReadBytes(folder + "/Vandrel.conf");
    EXPECT_TRUE(stored.contains("Extension=xml\n") && stored.contains("LastFolder=/p\n"));
}

// A damaged file is written over, unless it cannot be replaced.
TEST(SettingsStore, ADamagedFileIsWrittenOverAndOnlyAWriteThatFailsIsReported) {
    QByteArray damaged(4096, '\0');
    QRandomGenerator random(21);
    for (char& byte : damaged) byte = char(random.bounded(256));
    for (const bool locked : {false, true}) {
        QTemporaryDir dir;
        const QString ini = dir.filePath("Vandrel.conf");
        testing::WriteBytes(ini, damaged);
        QtSettingsStore store(ini);
        EXPECT_EQ(store.read("Snapshot", ""), "");
        if (locked && !testing::LockFolder(dir.path(), true)) GTEST_SKIP() << "cannot lock";
        bool failed = false;
        try {
            store.write("Snapshot", "recorded");
        } catch (const Failure&) {
            failed = true;
        }
        testing::LockFolder(dir.path(), false);
        EXPECT_EQ(failed, locked);
        EXPECT_EQ(testing::ReadBytes(ini).contains("\nSnapshot=recorded\n"), !locked);
    }
}

TEST(SettingsStore, TheUsersStoreLivesInTheConfigFolder) {
    QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
    QtSettingsStore store;
    store.write("Check2", "1");
    EXPECT_EQ(testing::ReadBytes(dir.filePath("Vandrel.conf")), "[Quillmere]\nCheck2=1\n");
}

}  // namespace
}  // namespace quillmere
