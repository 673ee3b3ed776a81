#include "platform/file_system.h"
#include "platform/event_loop.h"
#include "platform/failure.h"
#include "platform/file_reading.h"
#include "platform/qt_dialogs.h"
#include "support/files.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace quillmere {
namespace {

TEST(NativeFileSystem, AttributesInWindowsForm) {
    QTemporaryDir dir;
    NativeFileSystem fs;
    const QString file = dir.filePath("plan.mpp");
    testing::WriteBytes(file);
    const QString hidden = dir.filePath(".hidden");
    QFile::copy(file, hidden);
    QFile::link(dir.path(), dir.filePath("loop"));

    struct Case {
        QString path;
        quint32 expected;
    } cases[] = {
        {file, attr::kArchive},
        {dir.path(), attr::kDirectory},
        {dir.path() + "/", attr::kDirectory},
        {hidden, attr::kArchive | attr::kHidden},
        {dir.filePath("loop"), attr::kDirectory | attr::kReparsePoint},
    };
    for (const auto& c : cases)
        EXPECT_EQ(fs.attributes(c.path), c.expected) << c.path.toStdString();

    QFile::setPermissions(file, QFileDevice::ReadOwner);
    EXPECT_EQ(fs.attributes(file), attr::kArchive | attr::kReadOnly);
    try {
        fs.attributes(dir.filePath("missing"));
        FAIL();
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.number(), errors::kFileNotFound);
        EXPECT_TRUE(failure.description().contains("missing"));
    }
}

TEST(NativeFileSystem, PlainDeletionRefusesReadOnlyFiles) {
    QTemporaryDir dir;
    NativeFileSystem fs;
    const QString file = dir.filePath("a.mpp");
    testing::WriteBytes(file);
    QFile::setPermissions(file, QFileDevice::ReadOwner);
    EXPECT_THROW(fs.deleteFile(file), Failure);
    EXPECT_TRUE(QFile::exists(file));
    fs.deleteFileForced(file);
    EXPECT_FALSE(QFile::exists(file));
    EXPECT_THROW(fs.deleteFileForced(file), Failure);
    EXPECT_THROW(fs.deleteFile(dir.path()), Failure);
}

// Bytes that are not valid UTF-8 (a stray byte, a cut sequence, an overlong form, a surrogate)
// are shown as \xNN; the text around them as it is.
TEST(NativeFileSystem, NamesThatAreNotTextAreListedApartEscaped) {
    const struct {
        QByteArray name;
        const char* shown;
    } cases[] = {
        {"bad\xFF.mpp", "bad\\xFF.mpp"},       {"caf\xC3\xA9\xE9", "caf\u00E9\\xE9"},
        {"cut\xE2\x82", "cut\\xE2\\x82"},      {"\xC0\xAF", "\\xC0\\xAF"},
        {"\xED\xA0\x80x", "\\xED\\xA0\\x80x"}, {"\xF0\x9F\x93\x85\xF8", "\U0001F4C5\\xF8"},
    };
    for (const auto& c : cases) EXPECT_EQ(EscapedName(c.name), QString::fromUtf8(c.shown));

    QTemporaryDir dir;
    NativeFileSystem fs;
    testing::WriteBytes(dir.filePath("ok.mpp"));
    QStringList expected;
    for (const auto& c : cases) {
        const QByteArray path = QFile::encodeName(dir.path()) + "/" + c.name + ".mpp";
        ASSERT_EQ(::close(::open(path.constData(), O_CREAT | O_WRONLY, 0644)), 0);
        expected << EscapedName(c.name) + ".mpp";
    }
    const QByteArray folder = QFile::encodeName(dir.path()) + "/d\xFE";
    ASSERT_EQ(::mkdir(folder.constData(), 0755), 0);
    const FolderListing listing = fs.list(dir.path(), "*.mpp");
    EXPECT_EQ(listing.files.size(), 1);
    EXPECT_TRUE(listing.folders.isEmpty());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(listing.unreadable, expected);
    EXPECT_EQ(listing.unreadableFolders, QStringList{"d\\xFE"});
    EXPECT_EQ(fs.list(dir.path(), "*.txt").unreadable, QStringList{});
    // Qt's own clean-up cannot name these.
    for (const auto& c : cases)
        ::unlink((QFile::encodeName(dir.path()) + "/" + c.name + ".mpp").constData());
    ::rmdir(folder.constData());
}

// A source reached through another user's link is read only where the link leads to a file of
// that user's own: root following a user's link to root's file would hand it to that user. The
// check is made as the path is opened, so a link swapped in after a folder walk is met too.
TEST(NativeFileSystem, ASourceIsNotReadThroughAnotherUsersLinkToAFileNotTheirs) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give links to another user";
    QTemporaryDir dir;
    testing::WriteBytes(dir.filePath("root.xml"), "root's");
    testing::WriteBytes(dir.filePath("theirs.xml"), "theirs");
    ::chown(QFile::encodeName(dir.filePath("theirs.xml")).constData(), 65534, 65534);
    QDir(dir.path()).mkpath("tree/sub");
    QDir(dir.path()).mkpath("shared");
    ::chmod(QFile::encodeName(dir.filePath("shared")).constData(), 01777);
    const struct {
        const char* link;
        const char* target;
        uid_t owner;
        bool read;
    } cases[] = {
        {"tree/to-root.xml", "../root.xml", 65534, false},
        {"tree/to-theirs.xml", "../theirs.xml", 65534, true},
        {"tree/roots-own.xml", "../root.xml", 0, true},
        // A folder link of theirs on the way, and a chain through a link of root's.
        {"tree/up", "..", 65534, true},
        {"tree/chain.xml", "up/root.xml", 0, false},
        // In a shared sticky folder, as the system rules there, not even to a file of theirs.
        {"shared/theirs.xml", "../theirs.xml", 65534, false},
    };
    for (const auto& c : cases) {
        const QByteArray link = QFile::encodeName(dir.filePath(c.link));
        ASSERT_EQ(::symlink(c.target, link.constData()), 0);
        ASSERT_EQ(::lchown(link.constData(), c.owner, c.owner), 0);
    }
    for (const auto& c : cases) {
        if (QByteArray(c.link) == "tree/up") continue;
        SCOPED_TRACE(c.link);
        if (c.read) {
            EXPECT_FALSE(ReadRegularFile(dir.filePath(c.link), 100).isEmpty());
        } else {
            EXPECT_THROW(ReadRegularFile(dir.filePath(c.link), 100), Failure);
        }
    }
    EXPECT_EQ(ReadRegularFile(dir.filePath("tree/up/tree/up/theirs.xml"), 100), "theirs");
}

TEST(QtDialogs, TextsAndMultiSelectResult) {
    EXPECT_EQ(DisplayText("a\r\nb\rc\nd"), "a\nb\nc\nd");
    EXPECT_EQ(DisplayText("x\r\r\r\ny"), "x\n\n\ny");
    EXPECT_EQ(ClassicMultiSelect({}), "");
    EXPECT_EQ(ClassicMultiSelect({"/p/a.mpp"}), "/p/a.mpp");
    EXPECT_EQ(ClassicMultiSelect({"/p/a.mpp", "/p/b.mpp"}),
              QString("/p") + QChar(0) + "a.mpp" + QChar(0) + "b.mpp");
    EXPECT_EQ(ClassicMultiSelect({"/a/x.mpp", "/b/y.mpp"}),
              QString(QChar(0)) + "/a/x.mpp" + QChar(0) + "/b/y.mpp");
}

// A question listing 2,000 paths keeps its text, and its buttons stay on the screen.
TEST(QtDialogs, AQuestionTallerThanTheScreenKeepsItsButtonsOnTheScreen) {
    QStringList lines{"These files: ", ""};
    for (int i = 0; i < 2000; ++i) lines << QString("/plans/site %1/schedule.txt").arg(i);
    const QString text = lines.join("\r\n") + "\r\n\r\nWould you like to remove them from list?";
    QtEventLoop events;
    QtDialogs dialogs(events);
    int checked = 0;
    QTimer::singleShot(0, [&] {
        QWidget* box = QApplication::activeModalWidget();
        const QRect screen = box->screen()->availableGeometry();
        EXPECT_LE(box->frameGeometry().height(), screen.height());
        EXPECT_EQ(box->windowTitle(), "Quillmere");
        for (QLabel* label : box->findChildren<QLabel*>())
            checked += label->text() == DisplayText(text) &&
                       QAccessible::queryAccessibleInterface(label)->text(QAccessible::Name) ==
                           DisplayText(text);
        for (QAbstractButton* button : box->findChildren<QAbstractButton*>()) {
            const QRect onScreen(button->mapToGlobal(QPoint(0, 0)), button->size());
            EXPECT_TRUE(button->isVisible() && screen.contains(onScreen))
                << button->text().toStdString();
            checked += button->text() == "&Yes" || button->text() == "&No";
        }
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(box, &enter);
    });
    EXPECT_EQ(dialogs.message({"Quillmere", text, MessageButtons::YesNo}), Answer::Yes);
    EXPECT_EQ(checked, 3);
}

}  // namespace
}  // namespace quillmere
