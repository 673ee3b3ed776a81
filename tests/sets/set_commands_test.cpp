#include "sets/form2.h"
#include "shell/form1.h"

#include "support/fake_services.h"
#include "support/files.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStringEncoder>

namespace quillmere {
namespace {

using testing::LockFolder;
using testing::ReadBytes;
using testing::WithFileSizeLimit;
using testing::WriteBytes;

QByteArray Utf16WithMark(const QString& text) {
    QByteArray bytes("\xFF\xFE");
    for (const QChar c : text)
        bytes.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
    return bytes;
}

QByteArray Utf16(const QString& text, QStringEncoder::Encoding encoding) {
    return QStringEncoder(encoding).encode(text);
}

class Sets : public ::testing::Test {
  protected:
    // Each "find::replacement" through Add Set.
    void add(const QStringList& answers) {
        for (const QString& answer : answers) {
            fake.dialogs.expectPrompt(answer);
            form.Pushbutton1->click();
        }
    }
    // The set list as "find|replacement"; both lists always hold as many entries.
    QStringList pairs() const {
        EXPECT_EQ(form.Combo1->count(), form.Combo2->count());
        QStringList texts;
        for (int i = 0; i < form.Combo1->count(); ++i)
            texts << form.Combo1->itemText(i) + '|' + form.Combo2->itemText(i);
        return texts;
    }
    void select(QComboBox* list, int index) {
        list->setCurrentIndex(index);
        emit list->activated(index);
    }
    void save(const QString& chosen, std::optional<Answer> overwrite = std::nullopt) {
        fake.dialogs.expectSaveFile(chosen);
        if (overwrite)
            fake.dialogs.expectMessage("Are you sure you wish to overwrite " + chosen + " ?",
                                       *overwrite);
        form.PushButton9->click();
    }
    // Opens Load Sets, lets the user act in it, and tells whether it closed.
    bool inLoadSets(const std::function<void(Form2&)>& user) {
        bool closed = false;
        fake.dialogs.expectModal([&](QDialog& dialog) {
            user(static_cast<Form2&>(dialog));
            closed = !dialog.isVisible();
        });
        form.PushButton10->click();
        return closed;
    }
    // A file that gives no pair is said to.
    bool load(const QString& file, const QString& separator, bool nonePairs = false) {
        return inLoadSets([&](Form2& f) {
            f.Text1->setText(file);
            f.Text2->setText(separator);
            if (nonePairs)
                fake.dialogs.expectMessage("No sets were loaded from \"" + file +
                                           "\": no line holds the separator \"" + separator +
                                           "\".");
            f.PushButton1->click();
        });
    }

    testing::FakeServices fake;
    Form1 form{fake.services};
    QTemporaryDir dir;
    const QString setFile = dir.filePath("sets.txt");
};

TEST_F(Sets, AddSetTakesThePiecesAroundTheFirstTwoSeparators) {
    const struct {
        std::optional<QString> answer;
        QStringList pairs;
    } cases[] = {{"findwhat::replacewith", {"findwhat|replacewith"}},
                 {"a::b::c", {"a|b"}},
                 {"::x", {"|x"}},
                 {"x::", {"x|"}},
                 {":::", {"|:"}},
                 {"a:b", {}},
                 {"", {}},
                 {std::nullopt, {}}};
    for (const auto& c : cases) {
        fake.dialogs.expectPrompt(c.answer);
        if (c.answer == "a:b")
            fake.dialogs.expectMessage(
                "You must use :: to separate the find text from the replace text");
        form.Pushbutton1->click();
        EXPECT_EQ(pairs(), c.pairs) << c.answer.value_or("(cancelled)").toStdString();
        form.PushButton5->click();
    }
    ASSERT_FALSE(fake.dialogs.shown().empty());
    EXPECT_EQ(fake.dialogs.shown()[0].text,
              "Enter find and replace set (use :: to separate find text and replace text): | "
              "findwhat::replacewith");
}

TEST_F(Sets, ASelectionSelectsTheSameIndexInTheOtherListAndRemovalTakesThePair) {
    add({"a::1", "b::2", "c::3", "d::4", "e::5"});
    form.PushButton4->click();
    ASSERT_EQ(pairs().size(), 5) << "nothing was selected";
    select(form.Combo2, 3);
    EXPECT_EQ(form.Combo1->currentIndex(), 3);
    form.PushButton4->click();
    EXPECT_EQ(pairs(), QStringList({"a|1", "b|2", "c|3", "e|5"}));
    form.PushButton4->click();
    EXPECT_EQ(pairs().size(), 4) << "a removal leaves nothing selected";
    select(form.Combo1, 0);
    EXPECT_EQ(form.Combo2->currentIndex(), 0);
}

// Neither list selects an entry of its own accord; a list of pairs must not look empty then.
TEST_F(Sets, EachListSaysHowManyPairsItHoldsWhileNoneIsSelected) {
    WriteBytes(setFile, "a::1\r\nb::2\r\n");
    const struct {
        const char* step;
        std::function<void()> act;
        QString shown;
    } steps[] = {{"add", [&] { add({"x::y"}); }, "1 pair"},
                 {"add more",
                  [&] {
                      add({"x::y", "z::w"});
                  },
                  "3 pairs"},
                 {"load", [&] { load(setFile, "::"); }, "5 pairs"},
                 {"remove",
                  [&] {
                      select(form.Combo2, 0);
                      form.PushButton4->click();
                  },
                  "4 pairs"},
                 {"clear", [&] { form.PushButton5->click(); }, ""}};
    for (const auto& s : steps) {
        s.act();
        for (const QComboBox* list : {form.Combo1, form.Combo2}) {
            EXPECT_EQ(list->currentIndex(), -1) << s.step;
            EXPECT_EQ(list->placeholderText(), s.shown) << s.step;
        }
    }
}

TEST_F(Sets, SaveSetsWritesTheSetFileAndAsksBeforeWritingOver) {
    const struct {
        QStringList answers;
        std::optional<Answer> overwrite;
        QByteArray bytes;
    } cases[] = {{{"hi::hello", "peter::pete"}, std::nullopt, "hi::hello\r\npeter::pete\r\n"},
                 {{}, Answer::Yes, ""},
                 {{"\u20AC::caf\u00E9"}, Answer::Yes, "\x80::caf\xE9\r\n"},
                 {{"a::b"}, Answer::No, "\x80::caf\xE9\r\n"}};
    for (const auto& c : cases) {
        add(c.answers);
        save(setFile, c.overwrite);
        EXPECT_TRUE(QFileInfo::exists(setFile));
        EXPECT_EQ(ReadBytes(setFile), c.bytes);
        form.PushButton5->click();
    }
    save("");
    EXPECT_EQ(ReadBytes(setFile), "\x80::caf\xE9\r\n");
    EXPECT_TRUE(fake.dialogs.errorReports().empty());
}

TEST_F(Sets, ASaveThatFailsMidwayLeavesTheOldFileAsItWas) {
    WriteBytes(setFile, "old::file\r\n");
    add({"hi::hello", "peter::pete"});
    fake.dialogs.allowErrorReports();
    // Files may grow to 8 bytes only: the write fails after its first bytes.
    WithFileSizeLimit(8, [&] { save(setFile, Answer::Yes); });
    EXPECT_EQ(ReadBytes(setFile), "old::file\r\n");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"sets.txt"});
    EXPECT_EQ(fake.dialogs.errorReportLines(), std::vector<int>{114});
}

// In a folder that takes no new file (a shared one) the set file is written where it is. A new
// file cannot be saved there, nor a link written through: the file it leads to stays as it was.
TEST_F(Sets, SaveSetsWritesInPlaceWhereTheFolderTakesNoNewFile) {
    const QString shared = dir.filePath("shared"), elsewhere = dir.filePath("elsewhere");
    WriteBytes(shared + "/sets.txt", "older::and longer\r\n");
    WriteBytes(elsewhere + "/mine.txt", "mine");
    QFile::link(elsewhere + "/mine.txt", shared + "/link.txt");
    const bool locked = LockFolder(shared, true) && LockFolder(elsewhere, true);
    add({"hi::hello"});
    fake.dialogs.allowErrorReports();
    for (const QString name : {"sets.txt", "new.txt", "link.txt"}) {
        if (locked)
            save(shared + "/" + name,
                 name == "new.txt" ? std::nullopt : std::optional(Answer::Yes));
    }
    LockFolder(shared, false);
    LockFolder(elsewhere, false);
    if (!locked) GTEST_SKIP() << "no folder can be locked";
    EXPECT_EQ(ReadBytes(shared + "/sets.txt"), "hi::hello\r\n");
    EXPECT_EQ(ReadBytes(elsewhere + "/mine.txt"), "mine");
    EXPECT_EQ(QDir(shared).entryList(QDir::Files | QDir::Hidden | QDir::System),
              (QStringList{"link.txt", "sets.txt"}));
    EXPECT_EQ(fake.dialogs.errorReportLines(), (std::vector<int>{114, 114}));
}

TEST_F(Sets, EveryPairLoadsBackAsItWasSaved) {
    const struct {
        QStringList added;
        QStringList pairs;
    } cases[] = {
        {{"\u03A9mega::\u65E5\u672C", "\u20AC::caf\u00E9"},
         {"\u03A9mega|\u65E5\u672C", "\u20AC|caf\u00E9"}},
        // Windows-1252 bytes that would read back as a byte-order mark or as UTF-8.
        {{"\u00FEing::thing"}, {"\u00FEing|thing"}},
        {{"Rohr \u00D8\u00BD::pipe \u00D8\u00BD"}, {"Rohr \u00D8\u00BD|pipe \u00D8\u00BD"}},
        {{"\u00C3\u00A9t\u00C3\u00A9::summer"}, {"\u00C3\u00A9t\u00C3\u00A9|summer"}},
    };
    for (const auto& c : cases) {
        add(c.added);
        save(setFile, QFile::exists(setFile) ? std::optional(Answer::Yes) : std::nullopt);
        form.PushButton5->click();
        EXPECT_TRUE(load(setFile, "::"));
        EXPECT_EQ(pairs(), c.pairs);
        form.PushButton5->click();
    }
    EXPECT_EQ(ReadBytes(setFile), Utf16WithMark("\u00C3\u00A9t\u00C3\u00A9::summer\r\n"));
}

TEST_F(Sets, TheListStopsAt32767PairsWithOneReportAndStaysInStep) {
    // The number written out: a test that used the code's own constant would follow it anywhere.
    const int kMaxPairsAllowed = 32767;
    const QStringList many(kMaxPairsAllowed - 1, "x");
    form.Combo1->addItems(many);
    form.Combo2->addItems(many);
    WriteBytes(setFile, "a::1\r\nb::2\r\nc::3\r\n");
    fake.dialogs.allowErrorReports();
    EXPECT_TRUE(load(setFile, "::"));
    add({"d::4"});
    EXPECT_EQ(form.Combo1->count(), kMaxPairsAllowed);
    EXPECT_EQ(pairs().value(kMaxPairsAllowed - 1), "a|1");
    EXPECT_EQ(fake.dialogs.errorReportLines(), std::vector<int>({120, 108}));
}

TEST_F(Sets, LoadAppendsThePairOfEachLineThatHoldsTheSeparator) {
    const QByteArray lines = "hi::hello\r\npeter::pete\r\n";
    const QString german = QStringLiteral("Gr\u00F6\u00DFe::Ma\u00DF");
    const QString pair = QStringLiteral("Gr\u00F6\u00DFe|Ma\u00DF");
    const struct {
        QByteArray bytes;
        QString separator;
        QStringList pairs;
    } cases[] = {
        {lines, "::", {"hi|hello", "peter|pete"}},
        {lines, ",", {}},
        {"hi,hello\npeter,pete", ",", {"hi|hello", "peter|pete"}},
        {"\r\nnone\r\na::b::c\r\n::x\r\ny::\n", "::", {"a|b", "|x", "y|"}},
        {"a::1\rb::2\r", "::", {"a|1b"}},
        {"AbXcd\nabxcd", "x", {"ab|cd"}},
        {Utf16WithMark("hi::hello\r\npeter::pete\r\n") + 'x', "::", {"hi|hello", "peter|pete"}},
        {"\xFE\xFF" + Utf16("hi::\u20AC\r\n", QStringEncoder::Utf16BE) + 'x', "::", {"hi|\u20AC"}},
        // No mark: 8-bit text, in which the 16-bit units of "::" are no separator.
        {Utf16("hi::hello", QStringEncoder::Utf16LE), "::", {}},
        {"\376ing::thing\r\n\377ber::over", "::", {"\u00FEing|thing", "\u00FFber|over"}},
        {"\xEF\xBB\xBF" + german.toUtf8() + "\x80", "::", {pair + QChar(0xFFFD)}},
        {german.toUtf8(), "::", {pair}},
        {german.toLatin1() + "\x80", "::", {pair + QChar(0x20AC)}},
        {"", " ", {}}};
    for (const auto& c : cases) {
        form.Combo1->addItem("old");
        form.Combo2->addItem("pair");
        WriteBytes(setFile, c.bytes);
        EXPECT_TRUE(load(setFile, c.separator, c.pairs.isEmpty()));
        EXPECT_EQ(pairs(), QStringList{"old|pair"} + c.pairs) << c.bytes.toStdString();
        form.PushButton5->click();
    }
    EXPECT_TRUE(fake.dialogs.allExpectedShown());
}

TEST_F(Sets, LoadChecksTheSeparatorFirstAndKeepsTheDialogAsItWas) {
    const QString missing = dir.filePath("missing.txt");
    // A pipe would wait for a writer for ever.
    const QString pipe = dir.filePath("pipe.txt");
    ASSERT_EQ(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const struct {
        QString file, separator;
        std::optional<QString> message;
    } cases[] = {{"", "", "You must enter separating character(s)."},
                 {"   ", "::", std::nullopt},
                 {missing, "::", missing + " not found."},
                 {pipe, "::", pipe + " not found."}};
    for (const auto& c : cases) {
        EXPECT_FALSE(inLoadSets([&](Form2& f) {
            f.Text1->setText(c.file);
            f.Text2->setText(c.separator);
            if (c.message) fake.dialogs.expectMessage(*c.message);
            f.PushButton1->click();
            EXPECT_EQ(f.Text1->text(), c.file);
            EXPECT_EQ(f.Text2->text(), c.separator);
        }));
    }
    EXPECT_TRUE(pairs().isEmpty());
}

TEST_F(Sets, TheSeparatorIsStoredAtEveryChangeAndAnEmptiedOneStaysEmpty) {
    const auto stored = [&] { return fake.settings.values.value("Form2.Text2", "(none)"); };
    EXPECT_TRUE(inLoadSets([&](Form2& f) {
        EXPECT_EQ(f.Text2->text(), "::");
        EXPECT_EQ(stored(), "::");
        f.Text2->setText(",");
        f.PushButton2->click();
    }));
    EXPECT_EQ(stored(), ",");
    EXPECT_TRUE(inLoadSets([&](Form2& f) {
        EXPECT_EQ(f.Text2->text(), ",");
        f.Text2->clear();
        f.close();
    }));
    inLoadSets([&](Form2& f) { EXPECT_EQ(f.Text2->text(), ""); });
    EXPECT_EQ(stored(), "");
}

TEST_F(Sets, LoadSetsShowsItsRowsHelpAndBrowse) {
    inLoadSets([&](Form2& f) {
        EXPECT_EQ(f.windowTitle(), "Load Sets");
        const QWidget* rows[3][3] = {{f.Label1[0], f.Text1, f.PushButton16},
                                     {f.Label1[1], f.Text2, f.PushButton3},
                                     {f.PushButton1, f.PushButton2, f.PushButton2}};
        for (int r = 0; r < 3; ++r)
            for (int k = 0; k < 2; ++k) {
                const QPoint here = rows[r][k]->geometry().center();
                EXPECT_NEAR(here.y(), rows[r][k + 1]->geometry().center().y(), 1);
                EXPECT_LE(here.x(), rows[r][k + 1]->geometry().center().x());
                if (r) {
                    EXPECT_GT(here.y(), rows[r - 1][k]->geometry().center().y());
                }
            }
        EXPECT_EQ(f.PushButton1->width(), f.PushButton2->width());
        EXPECT_GT(2 * f.PushButton1->width(), f.width() * 9 / 10);
        const QStringList captions{f.Label1[0]->text(),   f.PushButton16->text(),
                                   f.Label1[1]->text(),   f.PushButton3->text(),
                                   f.PushButton1->text(), f.PushButton2->text()};
        EXPECT_EQ(captions,
                  QStringList({"File To Load:", "...", "Separator:", "?", "Load", "Cancel"}));
        EXPECT_TRUE(f.Text1->text().isEmpty());

        fake.dialogs.expectMessage(std::nullopt);
        f.PushButton3->click();
        const QStringList help = fake.dialogs.shown().back().text.split("\r\n");
        ASSERT_EQ(help.size(), 18);
        for (int empty : {2, 5, 7, 9, 12, 14, 16}) EXPECT_TRUE(help[empty - 1].isEmpty());
        EXPECT_EQ(help[12], "then use , as a Separator");

        fake.dialogs.expectOpenFiles(setFile);
        f.PushButton16->click();
        EXPECT_EQ(fake.dialogs.shown().back().caption, "Select Text File");
        EXPECT_EQ(f.Text1->text(), setFile);
        EXPECT_TRUE(f.isVisible());
    });
}

}  // namespace
}  // namespace quillmere
