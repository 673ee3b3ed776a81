#include "shell/form1.h"

#include "platform/qt_dialogs.h"
#include "support/fake_services.h"
#include "support/files.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QTreeWidget>
#include <QUrl>

#include <unistd.h>

namespace quillmere {
namespace {

using testing::FakeServices;

class FileList : public ::testing::Test {
  protected:
    void fill(const QStringList& paths) { form.fileList().append(paths); }
    QStringList entries() const {
        QStringList texts;
        for (int i = 0; i < form.ListView1->topLevelItemCount(); ++i)
            texts << form.ListView1->topLevelItem(i)->text(0);
        return texts;
    }
    QPoint rowCentre(int row) const {
        return form.ListView1->visualItemRect(form.ListView1->topLevelItem(row)).center();
    }
    void select(int row) { form.ListView1->setCurrentItem(form.ListView1->topLevelItem(row)); }
    void pressDelete() {
        QKeyEvent key(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
        QApplication::sendEvent(form.ListView1, &key);
    }
    // The mouse on the list, as the user works it: where it is on the list and, for a move, on
    // the screen, which decides the scrolling.
    void mouse(QEvent::Type type, const QPoint& at, const QPoint& onScreen, Qt::MouseButton button,
               Qt::MouseButtons held) {
        QMouseEvent event(type, at, onScreen, button, held, Qt::NoModifier);
        QApplication::sendEvent(form.ListView1->viewport(), &event);
    }
    void press(const QPoint& at) {
        m_at = at;
        mouse(QEvent::MouseButtonPress, at, at, Qt::LeftButton, Qt::LeftButton);
        m_held = Qt::LeftButton;
    }
    void moveTo(const QPoint& at, const QPoint& onScreen) {
        m_at = at;
        mouse(QEvent::MouseMove, at, onScreen, Qt::NoButton, m_held);
    }
    void release() {
        m_held = Qt::NoButton;
        mouse(QEvent::MouseButtonRelease, m_at, m_at, Qt::LeftButton, m_held);
    }
    void doubleClick(const QPoint& at) {
        mouse(QEvent::MouseButtonDblClick, at, at, Qt::LeftButton, Qt::LeftButton);
    }
    // Whether the list takes a drag that carries this, as it comes in and as it moves over.
    bool takesDrag(const QMimeData& data) {
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(form.ListView1->viewport(), &enter);
        QDragMoveEvent over(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(form.ListView1->viewport(), &over);
        EXPECT_EQ(enter.isAccepted(), over.isAccepted());
        return enter.isAccepted();
    }
    // A drag that comes in and is let go over the list: Qt hands the drop only to a list that
    // took the drag.
    void drop(const QMimeData& data) {
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(form.ListView1->viewport(), &enter);
        QDropEvent event(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(form.ListView1->viewport(), &event);
    }
    void dropFiles(const QStringList& paths) {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
        data.setUrls(urls);
        drop(data);
    }
    QString file(const QString& relative) {
        const QString path = dir.filePath(relative);
        testing::WriteBytes(path);
        return path;
    }

    FakeServices fake;
    Form1 form{fake.services};
    QTemporaryDir dir;

  private:
    QPoint m_at;
    Qt::MouseButtons m_held = Qt::NoButton;
};

TEST_F(FileList, DeleteKeyAndDoubleClickRemoveTheSelectedEntry) {
    fill({"a.mpp", "b.mpp", "c.mpp"});
    select(1);
    pressDelete();
    EXPECT_EQ(entries(), (QStringList{"a.mpp", "c.mpp"}));
    select(0);
    doubleClick(rowCentre(0));
    EXPECT_EQ(entries(), QStringList{"c.mpp"});
    form.ListView1->clear();
    pressDelete();
    doubleClick(QPoint(1, 1));
    EXPECT_TRUE(fake.dialogs.shown().empty());
}

TEST_F(FileList, NothingIsRemovedWhileTheHourglassShows) {
    fill({"a.mpp", "b.mpp"});
    select(0);
    form.setPointer(Form1::Pointer::Hourglass);
    pressDelete();
    doubleClick(rowCentre(0));
    form.PushButton2->click();
    EXPECT_EQ(entries().size(), 2);
    form.setPointer(Form1::Pointer::Default);
    form.PushButton2->click();
    EXPECT_TRUE(entries().isEmpty());
}

TEST_F(FileList, DraggingSwapsTheDraggedEntryWithTheOneReached) {
    form.show();
    fill({"1", "2", "3", "4", "5", "6"});
    press(rowCentre(1));
    moveTo(rowCentre(4), QPoint(0, 330));
    EXPECT_EQ(entries(), (QStringList{"1", "5", "3", "4", "2", "6"}));
    EXPECT_EQ(form.ListView1->currentItem()->text(0), "2");
    EXPECT_EQ(form.ListView1->viewport()->cursor().shape(), Qt::DragMoveCursor);
    release();
    EXPECT_EQ(form.ListView1->viewport()->cursor().shape(), Qt::ArrowCursor);
    // Moves without a pressed button change nothing.
    moveTo(rowCentre(3), QPoint(0, 330));
    EXPECT_EQ(entries(), (QStringList{"1", "5", "3", "4", "2", "6"}));
}

TEST_F(FileList, APressOnEmptySpaceAfterAReleaseGoesOnWithTheEntryDraggedLast) {
    form.show();
    fill({"a", "b"});
    press(rowCentre(1));
    release();
    const QPoint empty(5, form.ListView1->viewport()->height() - 2);
    ASSERT_EQ(form.ListView1->itemAt(empty), nullptr);
    press(empty);
    moveTo(rowCentre(0), QPoint(0, 330));
    EXPECT_EQ(entries(), (QStringList{"b", "a"}));
}

TEST_F(FileList, ASwapNearTheScreensTopOrBottomScrollsTheNeighbourIntoView) {
    form.show();
    QStringList many;
    for (int i = 0; i < 40; ++i) many << QString::number(i);
    fill(many);
    const auto visible = [&](int row) {
        const QRect rect = form.ListView1->visualItemRect(form.ListView1->topLevelItem(row));
        return form.ListView1->viewport()->rect().contains(rect);
    };
    form.ListView1->scrollToItem(form.ListView1->topLevelItem(20),
                                 QAbstractItemView::PositionAtTop);
    ASSERT_FALSE(visible(19));
    press(rowCentre(21));
    moveTo(rowCentre(20), QPoint(0, 100));  // above row 305 of the screen
    EXPECT_TRUE(visible(19));
    release();

    form.ListView1->scrollToItem(form.ListView1->topLevelItem(5),
                                 QAbstractItemView::PositionAtBottom);
    ASSERT_FALSE(visible(6));
    press(rowCentre(4));
    moveTo(rowCentre(5), QPoint(0, 400));  // row 365 or below
    EXPECT_TRUE(visible(6));
    release();

    // Between the two nothing scrolls.
    form.ListView1->scrollToItem(form.ListView1->topLevelItem(30),
                                 QAbstractItemView::PositionAtTop);
    const int scrolled = form.ListView1->verticalScrollBar()->value();
    press(rowCentre(31));
    moveTo(rowCentre(30), QPoint(0, 330));
    EXPECT_EQ(form.ListView1->verticalScrollBar()->value(), scrolled);
}

TEST_F(FileList, EqualTextsAndRemovedEntriesDoNotSwap) {
    form.show();
    fill({"same", "same", "x"});
    press(rowCentre(0));
    moveTo(rowCentre(1), QPoint(0, 330));
    EXPECT_EQ(entries(), (QStringList{"same", "same", "x"}));
    release();
    press(rowCentre(2));
    delete form.ListView1->takeTopLevelItem(2);
    moveTo(rowCentre(0), QPoint(0, 330));
    EXPECT_EQ(entries(), (QStringList{"same", "same"}));
}

TEST_F(FileList, AMoveOverTheListEndsTheHandPointer) {
    form.setPointer(Form1::Pointer::Custom);
    moveTo(QPoint(1, 1), QPoint(0, 0));
    EXPECT_EQ(form.pointer(), Form1::Pointer::Default);
    form.setPointer(Form1::Pointer::Hourglass);
    moveTo(QPoint(1, 1), QPoint(0, 0));
    EXPECT_EQ(form.pointer(), Form1::Pointer::Hourglass);
}

TEST_F(FileList, OnlyFileListsMayBeDropped) {
    const struct {
        const char* label;
        QString text;
        QList<QUrl> urls;
        bool taken;
    } cases[] = {
        {"text", "plan.mpp", {}, false},
        {"a web address", {}, {QUrl("https://example.org/plan.mpp")}, false},
        {"a file and a web address",
         {},
         {QUrl::fromLocalFile("/tmp/plan.mpp"), QUrl("https://example.org/plan.mpp")},
         false},
        {"files", {}, {QUrl::fromLocalFile("/tmp/plan.mpp"), QUrl::fromLocalFile("/tmp/b")}, true},
    };
    for (const auto& c : cases) {
        QMimeData data;
        if (!c.text.isEmpty()) data.setText(c.text);
        if (!c.urls.isEmpty()) data.setUrls(c.urls);
        EXPECT_EQ(takesDrag(data), c.taken) << c.label;
    }
}

TEST_F(FileList, ADroppedFolderIsImportedAndADroppedTextFileOfferedForRemoval) {
    file("A/a.mpp");
    file("A/sub/b.mpp");
    file("A/~$a.mpp");
    file("B/c.xml");
    const QString notes = file("notes.txt");
    fake.dialogs.expectMessage(
        "These files: \r\n\r\n" + notes +
            "\r\n\r\ndo not appear to be in "
            "the expected file format because of their file extension.\r\n\r\n"
            "Would you like to remove them from list?",
        Answer::No);
    dropFiles({dir.filePath("A"), dir.filePath("B"), notes});
    EXPECT_EQ(entries(), (QStringList{dir.filePath("A/a.mpp"), dir.filePath("A/sub/b.mpp"),
                                      dir.filePath("B/c.xml"), notes}));
}

TEST_F(FileList, ClosingTheWindowDuringAFolderImportEndsItCleanly) {
    file("tree/a/one.mpp");
    file("tree/b/two.mpp");
    form.show();
    fake.dialogs.expectPrompt("mpp").expectBrowseFolder(dir.filePath("tree"));
    fake.events.atYield = [&] { form.close(); };
    form.PushButton6->click();  // no validation question follows
    EXPECT_TRUE(fake.events.ending());
    EXPECT_TRUE(entries().isEmpty());
}

TEST_F(FileList, ADropIsTakenFromTheDesktopAsFileUrls) {
    const QString plan = file("plan.mpp");
    form.show();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(plan)});
    EXPECT_TRUE(takesDrag(data));
    drop(data);
    EXPECT_EQ(entries(), QStringList{plan});
    QMimeData text;
    text.setText(plan);
    drop(text);
    EXPECT_EQ(entries(), QStringList{plan});
}

TEST_F(FileList, TheAddDialogsResultForms) {
    fake.dialogs.expectOpenFiles("/plans/one.mpp")
        .expectOpenFiles(QString("/") + QChar(0) + "x.mpp" + QChar(0) + "y.mpp")
        .expectOpenFiles(QString("/plans") + QChar(0) + "z.mpp")
        .expectOpenFiles("/plans/one.mpp")
        .expectOpenFiles(ClassicMultiSelect({"/a/x.mpp", "/b/y.mpp"}));
    for (int i = 0; i < 5; ++i) form.PushButton3->click();
    EXPECT_EQ(entries(), (QStringList{"/plans/one.mpp", "/x.mpp", "/y.mpp", "/plans/z.mpp",
                                      "/plans/one.mpp", "/a/x.mpp", "/b/y.mpp"}));
    EXPECT_EQ(fake.dialogs.shown()[0].caption, "Add File(s) - Hold Ctrl to select multiple files");
    EXPECT_TRUE(fake.dialogs.shown()[0].text.startsWith("MS Project Files (*.mpp);;"));
}

TEST_F(FileList, CancellingTheDialogStillValidatesAndTooManyFilesAddsNothing) {
    fill({"old.txt"});
    fake.dialogs.expectOpenFiles("").expectMessage(std::nullopt, Answer::No);
    form.PushButton3->click();
    fake.dialogs.expectOpenFilesFailure(20476).expectMessage(
        "You've selected too many files to add.\r\rPlease try adding via the \"Add All\" button.");
    form.PushButton3->click();
    EXPECT_EQ(entries(), QStringList{"old.txt"});
    EXPECT_EQ(fake.dialogs.shown().size(), 4u);
}

TEST_F(FileList, FolderImportRemembersExtensionAndFolder) {
    file("tree/a.mpp");
    file("tree/deep/b.mpp");
    file("tree/c.xml");
    const QString prompt =
        "Enter file extension to load:\r\r(* for all files, txt for all txt files, doc for all "
        "doc files, etc.) | mpp";
    fake.dialogs.expectPrompt("mpp").expectBrowseFolder(dir.filePath("tree"));
    Form1::Pointer during = Form1::Pointer::Default;
    fake.events.atYield = [&] { during = form.pointer(); };
    form.PushButton6->click();
    EXPECT_EQ(fake.dialogs.shown()[0].text, prompt);
    EXPECT_EQ(fake.dialogs.shown()[1].caption, "Please select folder:");
    EXPECT_EQ(fake.dialogs.shown()[1].text, QDir::homePath());  // no folder chosen yet
    EXPECT_EQ(during, Form1::Pointer::Hourglass);
    EXPECT_EQ(form.pointer(), Form1::Pointer::Default);
    EXPECT_EQ(entries(),
              (QStringList{dir.filePath("tree/a.mpp"), dir.filePath("tree/deep/b.mpp")}));
    EXPECT_EQ(fake.settings.values["Extension"], "mpp");
    EXPECT_EQ(fake.settings.values["LastFolder"], dir.filePath("tree"));

    // The next use starts from there; a cancelled browse keeps the new extension.
    fake.dialogs.expectPrompt("xml").expectBrowseFolder("");
    form.PushButton6->click();
    EXPECT_EQ(fake.dialogs.shown()[2].text.right(3), "mpp");
    EXPECT_EQ(fake.dialogs.shown()[3].text, dir.filePath("tree"));
    EXPECT_EQ(fake.settings.values["Extension"], "xml");
    // A cancelled prompt changes nothing and still validates.
    form.fileList().append({"x.doc"});
    fake.dialogs.expectPrompt(std::nullopt).expectMessage(std::nullopt, Answer::Yes);
    form.PushButton6->click();
    EXPECT_EQ(fake.settings.values["Extension"], "xml");
    EXPECT_EQ(entries().size(), 2);
}

// Run as root (as CI runs): the links of another user that the import did not follow out of the
// tree are named in one message after it; their files are not listed.
TEST_F(FileList, TheFolderImportNamesTheLinksItDidNotFollow) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root, to give a link to another user";
    const QString plan = file("tree/a.mpp");
    const QString theirs = dir.filePath("tree/theirs.mpp");
    ASSERT_TRUE(QFile::link(file("private/secret.mpp"), theirs));
    ASSERT_EQ(::lchown(QFile::encodeName(theirs).constData(), 65534, 65534), 0);
    fake.dialogs.expectPrompt("mpp")
        .expectBrowseFolder(dir.filePath("tree"))
        .expectMessage(
            "These links were not followed: each leads out of the folder through a link of another "
            "user, which may aim at a file that only you may read.\r\r" +
            theirs);
    form.PushButton6->click();
    EXPECT_TRUE(fake.dialogs.allExpectedShown());
    EXPECT_EQ(entries(), QStringList{plan});
}

// A long path loses its middle, not its file name; the whole path is the entry's text and its
// tooltip, however the entry came, and goes with the text when a drag swaps two entries.
TEST_F(FileList, EveryEntryShowsItsWholePathAsItsTooltip) {
    const QString plan = file("tree/" + QString(80, 'd') + "/Office Relocation.mpp");
    const QString sample = QDir(fake.programFolder.path()).filePath("Samples/Website Launch.mpp");
    testing::WriteBytes(sample);
    fake.dialogs.expectOpenFiles(plan).expectPrompt("mpp").expectBrowseFolder(dir.filePath("tree"));
    fake.dialogs.expectMessage(std::nullopt, Answer::No);
    form.PushButton3->click();
    form.PushButton6->click();
    dropFiles({plan});
    form.PushButton8->click();
    form.show();
    press(rowCentre(0));
    moveTo(rowCentre(3), QPoint(0, 330));
    EXPECT_EQ(entries(), (QStringList{sample, plan, plan, plan}));
    for (int row = 0; row < 4; ++row)
        EXPECT_EQ(form.ListView1->topLevelItem(row)->toolTip(0), entries()[row]) << row;
    EXPECT_EQ(form.ListView1->textElideMode(), Qt::ElideMiddle);
}

}  // namespace
}  // namespace quillmere
