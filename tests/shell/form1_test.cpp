#include "shell/form1.h"

#include "controls/cursor_file.h"
#include "controls/progress_bar.h"
#include "controls/tab_control.h"
#include "paths/path_routines.h"
#include "platform/failure.h"
#include "shell/twips.h"
#include "shell/window_dressing.h"
#include "support/fake_services.h"
#include "support/files.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOptionComboBox>
#include <QTabBar>
#include <QTreeWidget>

namespace quillmere {
namespace {

using testing::FakeServices;

QString CaptionOf(QWidget* w) {
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
    if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
    if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title();
    if (auto* p = qobject_cast<ProgressBar*>(w)) return p->text();
    return {};
}

class Form1Test : public ::testing::Test {
  protected:
    void copyResource(const QString& name) {
        const QString target = fake.programFolder.filePath(name);
        QDir().mkpath(QFileInfo(target).path());
        ASSERT_TRUE(QFile::copy(QStringLiteral(QUILLMERE_RESOURCES "/") + name, target));
    }
    QPoint mapped(QWidget* w) const { return w->mapTo(w->parentWidget(), QPoint(0, 0)); }

    FakeServices fake;
    Form1 form{fake.services};
};

TEST_F(Form1Test, ControlsFollowTheDesignTable) {
    struct Row {
        QWidget* control;
        const char* caption;
        QWidget* container;
        int left, top, width, height;
    };
    QWidget* tab0 = form.TabControl1->page(0);
    QWidget* tab1 = form.TabControl1->page(1);
    const Row rows[] = {
        {form.ListView1, "", &form, 120, 120, 7800, 1335},
        {form.PushButton3, "Add Project File(s)", &form, 120, 1550, 3840, 405},
        {form.PushButton6, "Add All Project Files In Folder", &form, 4080, 1550, 3840, 405},
        {form.PushButton2, "Clear List", &form, 120, 2060, 3840, 405},
        {form.PushButton8, "Load Sample/Example Files", &form, 4080, 2060, 3840, 405},
        {form.Frame1, "Match Option", &form, 120, 2530, 7800, 735},
        {form.Check2, "Match Case", form.Frame1, 240, 300, 1455, 255},
        {form.TabControl1, "", &form, 120, 3370, 7800, 3345},
        {form.Label1, " Find what (exact case):", tab0, 240, 480, 5415, 255},
        {form.Text1, "", tab0, 240, 720, 7320, 1020},
        {form.Label2, " Replace with:", tab0, 240, 1800, 6015, 255},
        {form.Text2, "", tab0, 240, 2040, 7320, 1020},
        {form.Label3, " Find what (exact case):", tab1, 240, 495, 5415, 255},
        {form.Combo1, "", tab1, 240, 810, 7320, 345},
        {form.Label4, " Replace with:", tab1, 240, 1320, 6015, 255},
        {form.Combo2, "", tab1, 240, 1600, 7320, 345},
        {form.Pushbutton1, "Add Set", tab1, 240, 2100, 3600, 405},
        {form.PushButton10, "Load Sets", tab1, 3960, 2100, 1740, 405},
        {form.PushButton9, "Save Sets", tab1, 5820, 2100, 1740, 405},
        {form.PushButton4, "Remove Selected Set", tab1, 240, 2640, 3600, 405},
        {form.PushButton5, "Clear Sets", tab1, 3960, 2640, 3600, 405},
        {form.Frame2, "Save Option", &form, 120, 6780, 7800, 1815},
        {form.Option1, "Save results to this folder:", form.Frame2, 240, 300, 3615, 255},
        {form.Frame3, "", form.Frame2, 480, 510, 6840, 810},
        {form.Text3, "", form.Frame3, 240, 300, 5670, 345},
        {form.PushButton14, "...", form.Frame3, 6000, 300, 600, 345},
        {form.Option2, "Save results in folder of original file", form.Frame2, 240, 1410, 3615,
         255},
        {form.PushButton7, "Start Replacing", &form, 120, 8710, 7800, 405},
        {form.ProgressBar1, "Progress Bar", &form, 120, 9230, 7800, 405},
    };
    form.show();
    const int dpi = form.logicalDpiX();
    for (const Row& r : rows) {
        const std::string name = r.control->objectName().toStdString();
        EXPECT_EQ(CaptionOf(r.control), QString::fromUtf8(r.caption)) << name;
        EXPECT_EQ(r.control->parentWidget(), r.container) << name;
        QRect expected = TwipsToPixels(r.left, r.top, r.width, r.height, dpi);
        // Controls on a tab are placed relative to the whole tab control.
        if (r.container == tab0 || r.container == tab1) {
            EXPECT_EQ(r.container->geometry(), form.TabControl1->rect()) << name;
        }
        EXPECT_EQ(r.control->geometry(), expected) << name;
    }
    // The Tab key visits the controls that take it in the table's order.
    QStringList designed;
    for (const Row& r : rows)
        if (r.control->focusPolicy() & Qt::TabFocus) designed << r.control->objectName();
    QStringList tabbed;
    for (QWidget* w = form.nextInFocusChain(); w != &form; w = w->nextInFocusChain())
        if (designed.contains(w->objectName())) tabbed << w->objectName();
    EXPECT_EQ(tabbed, designed);
    EXPECT_EQ(form.pushButtons().size(), 11);
    EXPECT_EQ(form.TabControl1->count(), 2);
    EXPECT_EQ(form.TabControl1->tabBar()->tabText(0), "Find and replace");
    EXPECT_EQ(form.TabControl1->tabBar()->tabText(1), "Multiple find and replace (sets)");
}

TEST_F(Form1Test, InitialStateOfTheWindow) {
    EXPECT_EQ(form.ListView1->toolTip(),
              "Drag and drop files here. Double-click item to remove it. Move | line to right and "
              "out of window to reveal full names.");
    EXPECT_TRUE(form.Option1->isChecked());
    EXPECT_FALSE(form.Option2->isChecked());
    EXPECT_EQ(form.ProgressBar1->value(), 0);
    EXPECT_EQ(form.ProgressBar1->text(), "Progress Bar");
    EXPECT_EQ(form.TabControl1->currentIndex(), 0);
    EXPECT_EQ(CheckBoxValue(form.Check2), 0);
    EXPECT_EQ(form.Label1->palette().color(QPalette::Window), QColor(Qt::white));
    EXPECT_EQ(form.Frame2->palette().color(QPalette::Window), QColor(Qt::white));
}

TEST_F(Form1Test, CheckBoxValuesIncludeTheGrayedState) {
    form.Check2->setCheckState(Qt::Checked);
    EXPECT_EQ(CheckBoxValue(form.Check2), 1);
    form.Check2->setCheckState(Qt::PartiallyChecked);
    EXPECT_EQ(CheckBoxValue(form.Check2), 2);
}

TEST_F(Form1Test, ProgressTextIsShownVerbatimAndIsTheAccessibleDescription) {
    form.ProgressBar1->setText("Processing: 100% done.mpp");
    form.ProgressBar1->setValue(40);
    EXPECT_EQ(form.ProgressBar1->text(), "Processing: 100% done.mpp");
    EXPECT_EQ(form.ProgressBar1->accessibleDescription(), "Processing: 100% done.mpp");
}

TEST_F(Form1Test, EveryControlHasAnAccessibleName) {
    for (QPushButton* b : form.pushButtons()) {
        if (b != form.PushButton14) {
            EXPECT_EQ(b->accessibleName(), b->text());
        }
    }
    EXPECT_EQ(form.PushButton14->accessibleName(), "Browse for the output folder");
    EXPECT_EQ(form.ListView1->accessibleName(), "MS Project File(s)");
    EXPECT_EQ(form.Text1->accessibleName(), "Find what (exact case):");
    EXPECT_EQ(form.Text2->accessibleName(), "Replace with:");
    EXPECT_EQ(form.Combo1->accessibleName(), "Find what (exact case):");
    EXPECT_EQ(form.Combo2->accessibleName(), "Replace with:");
    EXPECT_EQ(form.Text3->accessibleName(), "Save results to this folder:");
    EXPECT_EQ(form.Label1->buddy(), form.Text1);
}

void Hover(QWidget* widget) {
    QMouseEvent move(QEvent::MouseMove, QPointF(2, 2), widget->mapToGlobal(QPointF(2, 2)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

TEST_F(Form1Test, HoverRuleShowsTheHandOverButtonsOnly) {
    copyResource("HAND-M.CUR");
    form.Form_Load();
    form.show();
    form.TabControl1->setCurrentIndex(1);
    for (QPushButton* button : form.pushButtons()) {
        Hover(button);
        EXPECT_EQ(form.pointer(), Form1::Pointer::Custom) << button->text().toStdString();
        EXPECT_EQ(form.cursor().shape(), Qt::BitmapCursor);
        Hover(form.Frame1);
        EXPECT_EQ(form.pointer(), Form1::Pointer::Default);
    }
    for (QWidget* background :
         {static_cast<QWidget*>(&form), static_cast<QWidget*>(form.Frame2),
          static_cast<QWidget*>(form.Frame3), static_cast<QWidget*>(form.Text3),
          static_cast<QWidget*>(form.TabControl1)}) {
        Hover(form.PushButton7);
        Hover(background);
        EXPECT_EQ(form.pointer(), Form1::Pointer::Default);
        EXPECT_EQ(form.cursor().shape(), Qt::ArrowCursor);
    }
    form.setPointer(Form1::Pointer::Hourglass);
    Hover(form.PushButton7);
    Hover(form.Frame1);
    EXPECT_EQ(form.pointer(), Form1::Pointer::Hourglass);
    EXPECT_EQ(form.cursor().shape(), Qt::WaitCursor);
}

TEST_F(Form1Test, WithoutTheCursorFileButtonsShowNoHand) {
    form.Form_Load();
    form.show();
    Hover(form.PushButton3);
    EXPECT_EQ(form.cursor().shape(), Qt::ArrowCursor);
}

TEST_F(Form1Test, CursorFileKeepsItsHotspot) {
    const QCursor hand = LoadCursorFile(QStringLiteral(QUILLMERE_RESOURCES "/HAND-M.CUR"));
    EXPECT_EQ(hand.hotSpot(), QPoint(11, 2));
    const QString junk = fake.programFolder.filePath("junk.cur");
    testing::WriteBytes(junk, "not a cursor");
    EXPECT_THROW(LoadCursorFile(junk), Failure);
}

TEST_F(Form1Test, FormLoadSetsCaptionTitleAndColumn) {
    form.Form_Load();
    EXPECT_EQ(form.windowTitle(), "Quillmere");
    EXPECT_EQ(fake.dialogs.applicationTitle(), "Quillmere");
    EXPECT_FALSE(form.windowIcon().availableSizes().isEmpty());
    EXPECT_EQ(form.ListView1->headerItem()->text(0), "MS Project File(s)");
    EXPECT_EQ(form.ListView1->columnWidth(0),
              TwipsToPixels(0, 0, 7000, 0, form.logicalDpiX()).width());
    EXPECT_TRUE(fake.dialogs.shown().empty());
}

// What the list shows where its drop-down arrow goes: the dark pixels there.
int DarkPixelsOfTheArrow(QComboBox* list) {
    QStyleOptionComboBox option;
    option.initFrom(list);
    option.subControls = QStyle::SC_All;
    const QRect arrow =
        list->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxArrow, list);
    const QImage image = list->grab().toImage();
    int dark = 0;
    for (int y = arrow.top(); y <= arrow.bottom(); ++y)
        for (int x = arrow.left(); x <= arrow.right(); ++x)
            dark += QColor(image.pixel(x, y)).lightness() < 128;
    return dark;
}

TEST_F(Form1Test, SkinGivesTheButtonFaceColourAndStyleSheet) {
    for (const QString& name : QDir(QUILLMERE_RESOURCES "/x").entryList(QDir::Files))
        copyResource("x/" + name);
    form.Form_Load();
    // A list that holds entries, none selected, still shows its arrow: the skin's image beside it
    // is found wherever the program was started from, whatever its folder is called.
    for (const QString folder : {"", "q\"x", "b\\x", "it's (1)"}) {
        Services services = fake.services;
        services.programFolder = fake.programFolder.filePath(folder);
        QDir(services.programFolder).mkpath("x");
        for (const QString& name : QDir(QUILLMERE_RESOURCES "/x").entryList(QDir::Files))
            QFile::copy(QUILLMERE_RESOURCES "/x/" + name, services.programFolder + "/x/" + name);
        Form1 moved(services);
        moved.Form_Load();
        moved.Combo1->addItem("find");
        moved.Combo1->setCurrentIndex(-1);
        EXPECT_GT(DarkPixelsOfTheArrow(moved.Combo1), 10) << folder.toStdString();
    }
    const QColor face = QApplication::palette().color(QPalette::Button);
    for (QWidget* w : {static_cast<QWidget*>(&form), static_cast<QWidget*>(form.Label1),
                       static_cast<QWidget*>(form.Frame1), static_cast<QWidget*>(form.Frame3),
                       static_cast<QWidget*>(form.Check2), static_cast<QWidget*>(form.Option2)})
        EXPECT_EQ(w->palette().color(QPalette::Window), face) << w->objectName().toStdString();
    EXPECT_TRUE(form.styleSheet().contains("QPushButton"));
}

TEST_F(Form1Test, AnUnreadableSkinIsReportedAndStartUpGoesOn) {
    // A folder where the skin should be is no ordinary file: no skin, no report.
    QDir(fake.programFolder.path()).mkpath("x/o.cjs");
    form.Form_Load();
    EXPECT_TRUE(form.styleSheet().isEmpty());
    EXPECT_EQ(form.Label1->palette().color(QPalette::Window), QColor(Qt::white));
    EXPECT_EQ(form.windowTitle(), "Quillmere");
}

TEST_F(Form1Test, ABadCursorFileIsReportedAtItsStep) {
    testing::WriteBytes(fake.programFolder.filePath("HAND-M.CUR"), "garbage");
    fake.dialogs.allowErrorReports();
    form.Form_Load();
    EXPECT_EQ(fake.dialogs.errorReportLines(), std::vector<int>{104});
    EXPECT_EQ(form.windowTitle(), "Quillmere");
}

TEST(ApplicationTitle, CutAtTheLastBlankWhileLongerThanForty) {
    EXPECT_EQ(ApplicationTitle("Quillmere"), "Quillmere");
    const QString forty(40, 'x');
    EXPECT_EQ(ApplicationTitle(forty), forty);
    EXPECT_EQ(ApplicationTitle("Quillmere find and replace for many project schedule files"),
              "Quillmere find and replace for many");
    EXPECT_EQ(ApplicationTitle(QString(41, 'y')), QString(41, 'y'));
}

TEST_F(Form1Test, ClosingTheWindowEndsTheProgramAtTheNextYield) {
    form.show();
    int ranAfterYield = 0;
    fake.events.atYield = [&] { form.close(); };
    EXPECT_THROW(
        {
            fake.events.doEvents();
            ++ranAfterYield;
        },
        ProgramEnding);
    EXPECT_EQ(ranAfterYield, 0);
    EXPECT_TRUE(fake.events.ending());
}

}  // namespace
}  // namespace quillmere

namespace quillmere {
namespace {

TEST(Form1StartUp, WithoutAProjectHostTheProgramEndsAfterTheMessage) {
    testing::FakeServices fake;
    fake.host.absent = true;
    fake.dialogs.expectMessage(
        "Microsoft Project is not installed on this computer. You need to have it installed to "
        "use this software without error.");
    Form1 form(fake.services);
    EXPECT_THROW(form.Form_Load(), ProgramEnding);
    EXPECT_EQ(form.Text3->text(), GetDesktopFolder(fake.files));  // restored before the message
    EXPECT_EQ(fake.dialogs.shown().size(), 1u);
    EXPECT_EQ(fake.dialogs.shown()[0].caption, "Quillmere");
    EXPECT_FALSE(form.isVisible());
}

}  // namespace
}  // namespace quillmere
