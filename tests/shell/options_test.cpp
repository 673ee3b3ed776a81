#include "controls/tab_control.h"
#include "paths/path_routines.h"
#include "shell/form1.h"
#include "support/fake_services.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace quillmere {
namespace {

using testing::FakeServices;

TEST(StartUp, RestoresEveryStoredOptionAndReportsOnlyWhatDoesNotConvert) {
    const struct {
        const char* stored;  // key=value;...
        int check2, tab;
        const char* text3;  // nullptr: the desktop folder with its separator
        bool option1, option2;
        const char* reportLines;
    } cases[] = {
        {"", 0, 0, nullptr, true, false, ""},
        {"Check2=1;TabControl1=1;Output Folder=/out/;Option1=False;Option2=True", 1, 1, "/out/",
         false, true, ""},
        {"Option1=0;Option2=0", 0, 0, nullptr, false, false, ""},
        {"Check2=checked;TabControl1=2;Option1=maybe;Option2=-", 0, 0, nullptr, true, false,
         "136 138 142 144"},
    };
    for (const auto& c : cases) {
        FakeServices fake;
        for (const QString& pair : QString(c.stored).split(';', Qt::SkipEmptyParts))
            fake.settings.values[pair.section('=', 0, 0)] = pair.section('=', 1);
        fake.dialogs.allowErrorReports();
        Form1 form(fake.services);
        form.Form_Load();
        const QString text3 = c.text3 ? c.text3 : GetDesktopFolder(fake.files);
        EXPECT_EQ(CheckBoxValue(form.Check2), c.check2) << c.stored;
        EXPECT_EQ(form.TabControl1->currentIndex(), c.tab) << c.stored;
        EXPECT_EQ(form.Text3->text(), text3) << c.stored;
        EXPECT_EQ(fake.settings.values.value("Output Folder"), text3) << c.stored;
        EXPECT_EQ(form.Option1->isChecked(), c.option1) << c.stored;
        EXPECT_EQ(form.Option2->isChecked(), c.option2) << c.stored;
        EXPECT_EQ(form.Text3->isEnabled(), c.option1) << c.stored;
        EXPECT_EQ(form.PushButton14->isEnabled(), c.option1) << c.stored;
        QStringList lines;
        for (int line : fake.dialogs.errorReportLines()) lines << QString::number(line);
        EXPECT_EQ(lines.join(' '), c.reportLines) << c.stored;
    }
}

TEST(StartUp, EveryOptionIsStoredAsItChangesAndRestoredAtTheNextStart) {
    FakeServices fake;
    {
        Form1 form(fake.services);
        form.Form_Load();
        form.Check2->click();
        form.TabControl1->setCurrentIndex(1);
        form.Text3->clear();
        for (const QChar typed : QStringLiteral("/plans/out/")) form.Text3->insert(typed);
        form.Option2->click();
    }
    Form1 again(fake.services);
    again.Form_Load();
    EXPECT_EQ(CheckBoxValue(again.Check2), 1);
    EXPECT_EQ(again.TabControl1->currentIndex(), 1);
    EXPECT_EQ(again.Text3->text(), "/plans/out/");
    EXPECT_TRUE(again.Option2->isChecked());
    EXPECT_FALSE(again.Frame3->isEnabled());
    again.Option1->click();
    EXPECT_TRUE(again.Frame3->isEnabled());
    EXPECT_EQ(fake.settings.values.value("Option1"), "True");
    EXPECT_EQ(fake.settings.values.value("Option2"), "False");
}

// The browser starts in the output folder shown beside it, or at home when that is no folder.
TEST(StartUp, BrowseButtonStartsInTheOutputFolderAndAddsOneSeparatorButToARoot) {
    QTemporaryDir output;
    const QString existing = output.path() + "/";
    const QString home = QDir::toNativeSeparators(QDir::homePath());
    const struct {
        QString before;  // Text3 when "..." is pressed
        const char* chosen;
        QString text3;
        const char* lastFolderDot;
        QString startFolder;
    } cases[] = {
        {"/kept/", "/data/plans", "/data/plans/", "/data/plans", home},
        {"/kept/", "/", "/", "/", home},
        {"/kept/", "", "/kept/", "/before", home},
        {existing, "", existing, "/before", existing},
    };
    for (const auto& c : cases) {
        FakeServices fake;
        fake.settings.values["LastFolderDot"] = "/before";
        fake.dialogs.expectBrowseFolder(c.chosen);
        Form1 form(fake.services);
        form.Text3->setText(c.before);
        form.PushButton14->click();
        EXPECT_EQ(fake.dialogs.shown().at(0).caption, "Please select folder:");
        EXPECT_EQ(fake.dialogs.shown().at(0).text, c.startFolder) << c.chosen;
        EXPECT_EQ(form.Text3->text(), c.text3) << c.chosen;
        EXPECT_EQ(fake.settings.values.value("Output Folder"), c.text3) << c.chosen;
        EXPECT_EQ(fake.settings.values.value("LastFolderDot"), c.lastFolderDot) << c.chosen;
    }
}

}  // namespace
}  // namespace quillmere
