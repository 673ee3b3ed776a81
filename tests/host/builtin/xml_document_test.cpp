#include "host/builtin/xml_document.h"
#include "host/builtin/builtin_host.h"
#include "host/builtin/open_document.h"

#include "host/builtin/documents.h"
#include "platform/failure.h"
#include "support/files.h"
#include "support/qt_printers.h"

#include <gtest/gtest.h>

#include <QStringDecoder>

#include <set>

namespace quillmere::builtin {
namespace {

using testing::ReadBytes;

struct XmlCase {
    const char* file;
    const char* field;
    const char* find;
    const char* replacement;
    const char* closingTag;  // the element whose content changes
    int changes;
};

// Files written by Project 2003 (one line, CDATA notes), 2007 and 2019 (tab-indented).
const XmlCase kXmlCases[] = {
    {"mspdi/task-text-project2003-mspdi.xml", "Name", "Text", "Txt", "</Name", 30},
    {"mspdi/task-text-project2007-mspdi.xml", "Name", "Text", "Txt", "</Name", 30},
    {"mspdi/task-text-project2019-mspdi.xml", "Name", "Text", "Txt", "</Name", 30},
    {"mspdi/task-text-project2003-mspdi.xml", "Text3", "3", "three", "</Value", 1},
    {"mspdi/task-text-project2007-mspdi.xml", "Text30", "30", "thirty", "</Value", 1},
    {"mspdi/task-text-project2019-mspdi.xml", "Text12", "12", "twelve", "</Value", 1},
    {"mspdi/sample.xml", "Notes", "task", "job", "</Notes", 0},
    {"mspdi/resource-misc-project2010-mspdi.xml", "Notes", "e", "E", "</Notes", 0},
    {"mspdi/sample1.xml", "Notes", "Point", "Dot", "</Notes", 0},
};

TEST(BuiltinHostXml, OnlyTheTargetedValuesChange) {
    for (const auto& c : kXmlCases) {
        SCOPED_TRACE(c.file);
        const QByteArray before = ReadBytes(kExternal + "/" + c.file);
        auto doc = OpenDocument(before, c.file);
        const QStringList old = doc->values(c.field);
        EXPECT_EQ(doc->replace(c.field, c.find, c.replacement, true),
                  int(old.filter(c.find, Qt::CaseSensitive).size()));
        const QByteArray after = doc->save();
        const auto diffs = Differences(before, after, '>');
        if (c.changes) {
            EXPECT_EQ(int(diffs.size()), c.changes);
        }
        for (const auto& [was, now] : diffs) {
            EXPECT_TRUE(was.endsWith(c.closingTag)) << was.toStdString();
            QByteArray expected = was;
            expected.replace(c.find, c.replacement);
            EXPECT_EQ(now, expected);
        }
        ExpectReadsBackReplaced(after, c.file, c.field, old, c.find, c.replacement);
    }
}

TEST(BuiltinHostXml, CDataNotesStayCData) {
    const QByteArray before = ReadBytes(kExternal + "/mspdi/sample.xml");
    auto doc = OpenDocument(before, "sample.xml");
    ASSERT_FALSE(doc->values("Notes").isEmpty());
    ASSERT_TRUE(before.contains("<Notes><![CDATA["));
    doc->replace("Notes", "a", "<&]]>", false);
    const QByteArray after = doc->save();
    EXPECT_TRUE(after.contains("<![CDATA["));
    EXPECT_TRUE(after.contains("]]]]><![CDATA[>"));
    auto reread = OpenDocument(after, "sample.xml");
    QStringList expected;
    for (QString v : doc->values("Notes")) expected << v;
    EXPECT_EQ(reread->values("Notes"), expected);
}

TEST(BuiltinHostXml, SummaryTaskBlankRowsAndLookupValuesAreLeftAlone) {
    // headertest9.xml: the summary task holds the project title, manager and comments.
    const QByteArray header = ReadBytes(kExternal + "/mspdi/headertest9.xml");
    auto doc = OpenDocument(header, "headertest9.xml");
    ReplaceEverywhere(*doc, "e", "#");
    EXPECT_EQ(doc->save(), header);

    const QByteArray lookup =
        "<Project xmlns=\"http://schemas.microsoft.com/project\"><ExtendedAttributes>"
        "<ExtendedAttribute><FieldID>188743734</FieldID><Ltuid>x</Ltuid></ExtendedAttribute>"
        "</ExtendedAttributes><Tasks>"
        "<Task><UID>1</UID><Name>Red</Name>"
        "<ExtendedAttribute><FieldID>188743731</FieldID><Value>Red</Value><ValueGUID>g</ValueGUID>"
        "</ExtendedAttribute>"
        "<ExtendedAttribute><FieldID>188743734</FieldID><Value>Red</Value></ExtendedAttribute>"
        "<ExtendedAttribute><FieldID>188743737</FieldID><Value>Red</Value></ExtendedAttribute>"
        "</Task><Task><UID>2</UID><IsNull>1</IsNull><Name>Red</Name></Task></Tasks></Project>";
    doc = OpenDocument(lookup, "lookup.xml");
    ReplaceEverywhere(*doc, "Red", "Blue");
    QByteArray expected = lookup;
    expected.replace("<Name>Red</Name><Ext", "<Name>Blue</Name><Ext");
    expected.replace("188743737</FieldID><Value>Red", "188743737</FieldID><Value>Blue");
    EXPECT_EQ(doc->save(), expected);
}

TEST(BuiltinHostXml, EncodingsAndEscapesRoundTrip) {
    const QString xml = QString::fromUtf8(
        "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<Project "
        "xmlns=\"http://schemas.microsoft.com/project\"><Tasks><Task><UID>1</UID>"
        "<Name>Büro räumen</Name><Notes>line one\nline two</Notes><Contact>Ann</Contact>"
        "<WBS>1 &lt; <![CDATA[2 & 3]]> 4</WBS>"
        "<HyperlinkAddress>http://x/?a=1&amp;b=2</HyperlinkAddress></Task></Tasks></Project>");
    const struct {
        const char* label;
        QByteArray bytes;
    } encodings[] = {
        {"utf-8", xml.toUtf8().replace("UTF-16", "UTF-8")},
        {"utf-8 bom", "\xEF\xBB\xBF" + xml.toUtf8().replace("UTF-16", "UTF-8")},
        {"utf-16le",
         QByteArray("\xFF\xFE", 2) + QStringEncoder(QStringEncoder::Utf16LE).encode(xml)},
        {"utf-16be",
         QByteArray("\xFE\xFF", 2) + QStringEncoder(QStringEncoder::Utf16BE).encode(xml)},
    };
    for (const auto& e : encodings) {
        SCOPED_TRACE(e.label);
        auto doc = OpenDocument(e.bytes, "t.xml");
        EXPECT_EQ(doc->values("Name"), QStringList{"Büro räumen"});
        EXPECT_TRUE(doc->replace("Name", "BÜRO", "<Lager & \"Hof\">", false));
        EXPECT_TRUE(doc->replace("Notes", "one", "1\r\n", true));
        EXPECT_TRUE(doc->replace("Hyperlink Address", "b=2", "c=3", true));
        // Text and a CDATA section in one value: the joined value is written back as text.
        EXPECT_EQ(doc->replace("WBS", "3", "<3>", true), 1);
        const QByteArray saved = doc->save();
        EXPECT_TRUE(saved.startsWith(e.bytes.left(2)));
        if (e.label[4] == '8') {
            EXPECT_TRUE(saved.contains("<WBS>1 &lt; 2 &amp; &lt;3&gt; 4</WBS>"));
        }
        auto reread = OpenDocument(saved, "t.xml");
        EXPECT_EQ(reread->values("Name"), QStringList{"<Lager & \"Hof\"> räumen"});
        EXPECT_EQ(reread->values("Notes"), QStringList{"line 1\r\n\nline two"});
        EXPECT_EQ(reread->values("Hyperlink Address"), QStringList{"http://x/?a=1&c=3"});
        EXPECT_EQ(reread->values("Contact"), QStringList{"Ann"});
        EXPECT_EQ(reread->values("WBS"), QStringList{"1 < 2 & <3> 4"});
    }
}

// A character that XML cannot hold fails the save, naming it, as does half a surrogate pair; the
// control characters XML allows, the characters written as references and characters beyond the
// BMP are written. Long texts are looked at sixteen characters at a time: the character is tried
// at every place of the first two blocks and after them.
TEST(BuiltinHostXml, CharactersXmlCannotHoldFailTheSave) {
    const QString letters = "abcdefghijklmnopqrstuvwxyzABCDEFGHI";  // each letter once
    const QByteArray xml =
        "<Project xmlns=\"http://schemas.microsoft.com/project\"><Tasks><Task>"
        "<UID>1</UID><Name>" +
        letters.toUtf8() + "</Name></Task></Tasks></Project>";
    const std::set<char32_t> written{0x9, 0xA, 0xD, '&', '<', '>', 0x10000};
    for (const char32_t c : {0x0u, 0x1u, 0x8u, 0xBu, 0xCu, 0xEu, 0x1Fu, 0xFFFEu, 0xFFFFu, 0xD800u,
                             0xDC00u, 0x9u, 0xAu, 0xDu, 0x26u, 0x3Cu, 0x3Eu, 0x10000u}) {
        const QString text = c > 0xFFFF ? QString::fromUcs4(&c, 1) : QString(QChar(char16_t(c)));
        const auto code = QString::number(uint(c), 16).toUpper().rightJustified(4, '0');
        const std::string expected =
            written.count(c) ? "saved"
            : QChar::isSurrogate(c)
                ? "The field Name of task 1 holds half a character (the lone surrogate U+" +
                      code.toStdString() + "), which cannot be saved."
                : "The character U+" + code.toStdString() +
                      " in the field Name of task 1 cannot be stored in a Project XML file.";
        for (qsizetype at = 0; at < letters.size(); ++at) {
            auto doc = OpenDocument(xml, "chars.xml");
            doc->replace("Name", letters.mid(at, 1), text, true);
            std::string failure = "saved";
            try {
                auto reread = OpenDocument(doc->save(), "saved.xml");
                EXPECT_EQ(reread->values("Name"), doc->values("Name"));
            } catch (const Failure& f) {
                failure = f.description().toStdString();
            }
            ASSERT_EQ(failure, expected) << "U+" << code.toStdString() << " at " << at;
        }
    }
}

// A value that refers to an entity of the document's own cannot be written back without losing
// the reference: it is left alone, the file stays as it was there, and a Replace call that would
// change it says so, counting what it changed.
TEST(BuiltinHostXml, ValuesWithTheDocumentsOwnEntitiesAreLeftAlone) {
    const char* doctypes[] = {"<!DOCTYPE Project [<!ENTITY co \"Contoso\">]>",
                              "<!DOCTYPE Project [<!ENTITY co SYSTEM \"ext.txt\">]>",
                              "<!DOCTYPE Project SYSTEM \"none.dtd\">"};
    for (const char* doctype : doctypes) {
        SCOPED_TRACE(doctype);
        const QByteArray xml = QByteArray("<?xml version=\"1.0\"?>\n") + doctype +
                               "<Project xmlns=\"http://schemas.microsoft.com/project\"><Tasks>"
                               "<Task><UID>1</UID><Name>&co; Plan</Name>"
                               "<Contact>A &amp; B &#x41;&#66;</Contact>"
                               "<ExtendedAttribute><FieldID>188743731</FieldID><Value>Plan &co;"
                               "</Value></ExtendedAttribute></Task>"
                               "<Task><UID>2</UID><Name>Plan</Name></Task></Tasks></Project>";
        auto doc = OpenDocument(xml, "t.xml");
        for (const char* field : {"Name", "Text1"}) {
            try {
                doc->replace(field, "plan", "Design", false);
                ADD_FAILURE() << field << " was left alone without a word";
            } catch (const PartlyReplaced& left) {
                EXPECT_EQ(left.changed(), QByteArray(field) == "Name" ? 1 : 0);
                EXPECT_EQ(left.description(),
                          QStringLiteral("The %1 of task 1 was left as it was: it refers to an "
                                         "entity that the file's document type declares, which a "
                                         "new value could not keep.")
                              .arg(field));
            }
        }
        EXPECT_EQ(doc->replace("Contact", "B", "C", true), 1);
        EXPECT_EQ(doc->save(), QByteArray(xml)
                                   .replace("B &#x41;&#66;", "C AC")
                                   .replace("<Name>Plan</Name>", "<Name>Design</Name>"));
    }
}

// A changed value is written in the file's own encoding, with or without a byte order mark. The
// Name starts with U+FEFF, which is part of the value and not a mark.
TEST(BuiltinHostXml, Utf16WithAndWithoutMarkKeepsItsEncoding) {
    const QString xml = QStringLiteral(
        "<Project xmlns=\"http://schemas.microsoft.com/project\"><Tasks><Task><UID>1</UID>"
        "<Name>\uFEFFPlan Büro</Name></Task></Tasks></Project>");
    QString changed = xml;
    changed.replace("Plan", "Design");
    const struct {
        const char* label;
        QStringEncoder::Encoding encoding;
        QByteArray mark;
    } cases[] = {
        {"le, mark", QStringEncoder::Utf16LE, "\xFF\xFE"},
        {"be, mark", QStringEncoder::Utf16BE, "\xFE\xFF"},
        {"le, no mark", QStringEncoder::Utf16LE, ""},
        {"be, no mark", QStringEncoder::Utf16BE, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        auto doc = OpenDocument(c.mark + QStringEncoder(c.encoding).encode(xml), "t.xml");
        EXPECT_TRUE(doc->replace("Name", "Plan", "Design", true));
        EXPECT_EQ(doc->save(), c.mark + QStringEncoder(c.encoding).encode(changed));
    }
}

}  // namespace
}  // namespace quillmere::builtin
