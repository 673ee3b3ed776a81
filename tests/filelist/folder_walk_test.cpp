#include "filelist/folder_walk.h"

#include "platform/failure.h"
#include "report/error_report.h"
#include "support/fake_file_system.h"
#include "support/fake_services.h"
#include "support/files.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillmere {
namespace {

using testing::FakeFileSystem;
using testing::FakeServices;
using testing::VectorEntries;

class RealTree : public ::testing::Test {
  protected:
    void file(const QString& relative, QFileDevice::Permissions permissions = {}) {
        const QString path = dir.filePath(relative);
        testing::WriteBytes(path);
        if (permissions) QFile::setPermissions(path, permissions);
    }
    QStringList import(const QString& pattern, const QString& start = QString()) {
        VectorEntries list;
        AddFolderTree(context, list, start.isEmpty() ? dir.path() : start, pattern);
        return list.texts;
    }
    QStringList relative(const QStringList& paths) {
        QStringList out;
        for (const QString& p : paths) out << QDir(dir.path()).relativeFilePath(p);
        return out;
    }

    FakeServices fake;
    BoxErrorReport report{fake.dialogs};
    WalkContext context{fake.files, fake.events, report, PathStyle::Posix};
    QTemporaryDir dir;
};

TEST_F(RealTree, BreadthFirstWithItsFilters) {
    for (const char* f : {"z.mpp", "B/y.mpp", "a/x.MPP", "a/deep/w.mpp", "a/notes.txt", "a/~$x.mpp",
                          "b2/.hidden.mpp"})
        file(f);
    file("b2/.kept.mpp", QFileDevice::ReadOwner);  // hidden and read-only: not exactly 34
    EXPECT_EQ(relative(import("*.mpp")),
              (QStringList{"z.mpp", "a/x.MPP", "B/y.mpp", "b2/.kept.mpp", "a/deep/w.mpp"}));
    EXPECT_EQ(relative(import("*.*")).size(), 6);
    EXPECT_EQ(relative(import("*.txt")), QStringList{"a/notes.txt"});
    EXPECT_TRUE(fake.dialogs.shown().empty());
    EXPECT_GT(fake.events.yields, 4);
}

TEST_F(RealTree, APatternNamingAPathMatchesNothing) {
    file("inside/a.mpp");
    file("inside/b..mpp");
    file("inside/c.a\\b");
    file("outside.mpp");
    for (const char* answer :
         {"*./../*", "*.mpp/..", "*./etc/passwd", "*...\\x", "*..mpp", "*.a\\b"}) {
        EXPECT_TRUE(import(answer, dir.filePath("inside")).isEmpty()) << answer;
        EXPECT_TRUE(ListFolderFiles(fake.files, dir.filePath("inside"), answer, PathStyle::Posix)
                        .isEmpty());
    }
    EXPECT_EQ(ListFolderFiles(fake.files, dir.filePath("inside"), "*.MPP", PathStyle::Posix),
              (QStringList{"a.mpp", "b..mpp"}));
}

TEST_F(RealTree, NamesInAnyScriptAreWalkedButControlCharactersAndQuestionMarksAreNot) {
    file(QString::fromUtf8("Пла́ны/計画.mpp"));
    file(QString::fromUtf8("bad\x01name/a.mpp"));
    file("what?/b.mpp");
    file(QString::fromUtf8("ctl\u0085/c.mpp"));
    EXPECT_EQ(relative(import("*.mpp")), QStringList{QString::fromUtf8("Пла́ны/計画.mpp")});
    EXPECT_FALSE(HasUnreadableCharacters(QString::fromUtf8("Ærøskøbing 東京")));
    EXPECT_FALSE(HasUnreadableCharacters(""));
}

TEST_F(RealTree, ALinkBackIntoTheTreeIsWalkedOnce) {
    file("a/plan.mpp");
    QFile::link(dir.path(), dir.filePath("a/loop"));
    QFile::link(dir.filePath("a"), dir.filePath("alias"));
    EXPECT_EQ(relative(import("*.mpp")), QStringList{"a/plan.mpp"});
}

TEST_F(RealTree, LinksOutOfTheChosenFolderAreNotFollowed) {
    file("top.mpp");
    file("outside/b.mpp");
    file("chosen/a.mpp");
    file("chosen/sub/c.mpp");
    QFile::link(dir.filePath("outside"), dir.filePath("chosen/out"));
    QFile::link(dir.path(), dir.filePath("chosen/up"));
    QFile::link("/", dir.filePath("chosen/root"));
    QFile::link(dir.filePath("chosen/sub"), dir.filePath("chosen/in"));
    EXPECT_EQ(relative(import("*.mpp", dir.filePath("chosen"))),
              (QStringList{"chosen/a.mpp", "chosen/in/c.mpp"}));
}

// Run as root (as CI runs): a file link out of the tree is followed only when no link on its way
// is another user's; within the tree, any link is. Each link not followed is noted.
TEST_F(RealTree, AnotherUsersFileLinkOutOfTheTreeIsNotFollowed) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root, to give a link to another user";
    file("outside/secret.mpp");
    file("chosen/a.mpp");
    const struct {
        const char* name;
        const char* target;
        bool theirs;
    } links[] = {
        {"chosen/theirs.mpp", "../outside/secret.mpp", true},
        {"chosen/mine.mpp", "../outside/secret.mpp", false},
        {"chosen/inside.mpp", "a.mpp", true},
        {"way", "outside", true},
        {"chosen/through.mpp", "../way/secret.mpp", false},  // their folder link on the way
        {"chosen/chain.mpp", "theirs.mpp", false},           // their link further on
    };
    for (const auto& link : links) {
        ASSERT_TRUE(QFile::link(link.target, dir.filePath(link.name)));
        const QByteArray name = QFile::encodeName(dir.filePath(link.name));
        if (link.theirs) {
            ASSERT_EQ(::lchown(name.constData(), 65534, 65534), 0);
        }
    }
    QStringList notFollowed;
    context.linksNotFollowed = &notFollowed;
    EXPECT_EQ(relative(import("*.mpp", dir.filePath("chosen"))),
              (QStringList{"chosen/a.mpp", "chosen/inside.mpp", "chosen/mine.mpp"}));
    EXPECT_EQ(relative(notFollowed),
              (QStringList{"chosen/chain.mpp", "chosen/theirs.mpp", "chosen/through.mpp"}));
}

TEST_F(RealTree, NamesThatAreNotValidTextAreToldWithTheirFolder) {
    file("ok.mpp");
    const QByteArray root = QFile::encodeName(dir.path());
    const QByteArray badFile = root + "/bad\xff.mpp", badFolder = root + "/d\xfe",
                     otherFile = root + "/bad\xff.txt";
    ASSERT_EQ(::close(::open(badFile.constData(), O_CREAT | O_WRONLY, 0644)), 0);
    ASSERT_EQ(::close(::open(otherFile.constData(), O_CREAT | O_WRONLY, 0644)), 0);
    ASSERT_EQ(::mkdir(badFolder.constData(), 0755), 0);
    ASSERT_EQ(::close(::open((badFolder + "/e.mpp").constData(), O_CREAT | O_WRONLY, 0644)), 0);
    fake.dialogs.allowErrorReports();
    EXPECT_EQ(relative(import("*.mpp")), QStringList{"ok.mpp"});
    // A file the pattern would not take is no loss.
    ASSERT_EQ(fake.dialogs.errorReportLines(), (std::vector<int>{112, 112}));
    const auto reports = fake.dialogs.errorReports();
    for (const auto& [shown, name] :
         {std::pair{reports[0], "d\\xFE"}, {reports[1], "bad\\xFF.mpp"}}) {
        EXPECT_TRUE(shown.text.contains(dir.path() + "/") && shown.text.contains(name))
            << shown.text.toStdString();
    }
    // Qt's own clean-up cannot name these.
    ::unlink(badFile.constData());
    ::unlink(otherFile.constData());
    ::unlink((badFolder + "/e.mpp").constData());
    ::rmdir(badFolder.constData());
}

TEST_F(RealTree, FoldersAtTheLengthLimitAreNotEntered) {
    QString deep;
    while (dir.path().size() + deep.size() < 300) deep += QString(40, 'd') + "/";
    file(deep + "far.mpp");
    file("near.mpp");
    EXPECT_EQ(relative(import("*.mpp")), QStringList{"near.mpp"});
}

TEST_F(RealTree, AnEmptyFolderAddsNothing) {
    QDir(dir.path()).mkdir("empty");
    EXPECT_TRUE(import("*", dir.filePath("empty")).isEmpty());
    EXPECT_TRUE(fake.dialogs.shown().empty());
}

// What Linux cannot make: system attributes, drive roots, and a listing refused.
class FakeTree : public ::testing::Test {
  protected:
    QStringList import(const QString& start) {
        VectorEntries list;
        AddFolderTree(context, list, start, "*.mpp");
        return list.texts;
    }
    FakeServices fake;
    FakeFileSystem fs;
    BoxErrorReport report{fake.dialogs};
    WalkContext context{fs, fake.events, report, PathStyle::Windows};
};

const quint32 kHiddenSystem = attr::kHidden | attr::kSystem;

TEST_F(FakeTree, HiddenSystemFoldersAreNeitherListedNorEntered) {
    fs.addFolder("C:\\p");
    fs.addFile("C:\\p\\a.mpp");
    fs.addFolder("C:\\p\\sys", kHiddenSystem);
    fs.addFile("C:\\p\\sys\\b.mpp");
    fs.addFolder("C:\\p\\link", kHiddenSystem | attr::kReparsePoint);
    fs.addFile("C:\\p\\link\\c.mpp");
    fs.addFolder("C:\\p\\plain", attr::kHidden);
    fs.addFile("C:\\p\\plain\\d.mpp");
    fs.addFile("C:\\p\\e.mpp", attr::kArchive | attr::kHidden);
    EXPECT_EQ(import("C:\\p"), (QStringList{"C:\\p\\a.mpp", "C:\\p\\plain\\d.mpp"}));
}

TEST_F(FakeTree, AChosenHiddenSystemFolderListsOnlyItsOwnFiles) {
    fs.addFolder("C:\\s", kHiddenSystem);
    fs.addFile("C:\\s\\top.mpp");
    fs.addFolder("C:\\s\\below");
    fs.addFile("C:\\s\\below\\deep.mpp");
    EXPECT_EQ(import("C:\\s"), QStringList{"C:\\s\\top.mpp"});
    // Its files are read apart from the walk: an odd failure there is reported too.
    fs.addFolder("C:\\t", kHiddenSystem, 5L);
    fake.dialogs.allowErrorReports();
    EXPECT_TRUE(import("C:\\t").isEmpty());
    EXPECT_EQ(fake.dialogs.errorReportLines(), std::vector<int>{112});
}

TEST_F(FakeTree, ADriveRootIsAlwaysWalkedAndEntriesHaveSingleSeparators) {
    fs.addFolder("C:\\", kHiddenSystem);
    fs.addFile("C:\\root.mpp");
    fs.addFolder("C:\\p");
    fs.addFile("C:\\p\\a.mpp");
    EXPECT_EQ(import("C:\\"), (QStringList{"C:\\root.mpp", "C:\\p\\a.mpp"}));
}

TEST_F(FakeTree, AFolderThatCannotBeListed) {
    fs.addFolder("C:\\p");
    fs.addFolder("C:\\p\\denied", attr::kDirectory, errors::kPermissionDenied);
    fs.addFile("C:\\p\\denied\\a.mpp");
    fs.addFolder("C:\\p\\odd", attr::kDirectory, 5L);
    fs.addFile("C:\\p\\odd\\b.mpp");
    fs.addFolder("C:\\p\\odd\\sub");
    fs.addFile("C:\\p\\odd\\sub\\c.mpp");
    fs.addFolder("C:\\p\\fine");
    fs.addFile("C:\\p\\fine\\d.mpp");
    // A folder that cannot be read adds nothing and the walk goes on; only a failure other than
    // access denied or not found is reported, at the listing's step.
    fake.dialogs.allowErrorReports();
    EXPECT_EQ(import("C:\\p"), QStringList{"C:\\p\\fine\\d.mpp"});
    ASSERT_EQ(fake.dialogs.errorReportLines(), std::vector<int>{112});
    EXPECT_TRUE(fake.dialogs.errorReports()[0].text.contains("Listing failed"));
    // A walk for a script reports the folder it may not read, too.
    context.reportMissing = true;
    EXPECT_EQ(import("C:\\p"), QStringList{"C:\\p\\fine\\d.mpp"});
    EXPECT_EQ(fake.dialogs.errorReportLines(), (std::vector<int>{112, 112, 112}));
}

}  // namespace
}  // namespace quillmere
