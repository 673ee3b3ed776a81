#include "platform/host/builtin/builtin_host.h"
#include "platform/host/builtin/open_document.h"
#include "platform/host/builtin/xml_document.h"
#include "platform/host/builtin/xml_two_parts.h"

#include "platform/failure.h"
#include "platform/host/field_catalogue.h"
#include "support/files.h"
#include "support/qt_printers.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRandomGenerator>
#include <QStringDecoder>
#include <QTemporaryDir>

#include <future>
#include <map>
#include <set>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <poll.h>
#include <sys/inotify.h>
#endif

namespace quillmere::builtin {
namespace {

using testing::ReadBytes;
using testing::WithFileSizeLimit;
using testing::WriteBytes;

const QString kExternal = QStringLiteral(QUILLMERE_TESTDATA "/external");
const QString kSamples = QStringLiteral(QUILLMERE_RESOURCES "/Samples");

std::unique_ptr<ProjectDocument> Open(const QString& path) {
    return OpenDocument(ReadBytes(path), QFileInfo(path).fileName());
}

// Everything the pass does to one file with one pair: every catalogue field, in order.
void ReplaceEverywhere(ProjectDocument& doc, const QString& find, const QString& replacement,
                       bool matchCase = false) {
    for (const QString& field : FieldCatalogue()) doc.replace(field, find, replacement, matchCase);
}

// Splits XML at each ">", so that a changed element content shows as one changed piece.
QList<QByteArray> Pieces(const QByteArray& bytes, char at) {
    return bytes.split(at);
}

// The pieces in which two files differ, as (before, after) pairs; the files must have the
// same shape outside those pieces.
std::vector<std::pair<QByteArray, QByteArray>> Differences(const QByteArray& before,
                                                           const QByteArray& after, char at) {
    const auto a = Pieces(before, at);
    const auto b = Pieces(after, at);
    EXPECT_EQ(a.size(), b.size());
    std::vector<std::pair<QByteArray, QByteArray>> diffs;
    for (qsizetype i = 0; i < qMin(a.size(), b.size()); ++i)
        if (a[i] != b[i]) diffs.emplace_back(a[i], b[i]);
    return diffs;
}

// The saved file reads back with every old value of the field replaced.
void ExpectReadsBackReplaced(const QByteArray& saved, const QString& file, const QString& field,
                             const QStringList& old, const QString& find,
                             const QString& replacement) {
    auto reread = OpenDocument(saved, file);
    QStringList expected;
    for (QString value : old) expected << value.replace(find, replacement);
    EXPECT_EQ(reread->values(field), expected);
}

TEST(BuiltinHost, EverySampleSavesByteForByteWhenNothingMatches) {
    QDirIterator it(kExternal, {"*.xml", "*.mpx"}, QDir::Files, QDirIterator::Subdirectories);
    int files = 0;
    while (it.hasNext()) {
        const QString path = it.next();
        auto doc = Open(path);
        ReplaceEverywhere(*doc, "no such text anywhere", "x");
        EXPECT_EQ(doc->save(), ReadBytes(path)) << path.toStdString();
        ++files;
    }
    EXPECT_EQ(files, 30);
}

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

// A large file is read in two parts at once, split after a task near its middle: whatever the
// file holds on either side of the split, the two parts find exactly what one reading finds.
TEST(BuiltinHostXml, ReadingInTwoPartsFindsWhatOneReadingFinds) {
    const auto tasks = [](int from, int to) {
        QByteArray xml;
        for (int i = from; i < to; ++i)
            xml += "<Task><UID>" + QByteArray::number(i) + "</UID><Name>Task " +
                   QByteArray::number(i) +
                   "</Name><ExtendedAttribute><FieldID>188743731</FieldID><Value>Text "
                   "value</Value></ExtendedAttribute></Task>\n";
        return xml;
    };
    const QByteArray open = "<Project xmlns=\"http://schemas.microsoft.com/project\"><Tasks>";
    const QByteArray end = "</Tasks></Project>";
    const QByteArray project =
        "<Project xmlns=\"http://schemas.microsoft.com/project\" "
        "xmlns:p=\"http://schemas.microsoft.com/project\">";
    const auto file = [&](const QByteArray& head, const QByteArray& middle,
                          const QByteArray& tail) {
        return head + tasks(1, 40) + middle + tasks(40, 80) + tail;
    };
    const struct {
        const char* label;
        QByteArray bytes;
    } files[] = {
        {"plain", file(open, "", end)},
        {"<Tasks> in a comment first", file("<!-- <Tasks> -->" + open, "", end)},
        {"</Task> in a note at the middle",
         file(open,
              "<Task><UID>x</UID><Notes><![CDATA[" + QByteArray("</Task>").repeated(300) +
                  "]]></Notes></Task>",
              end)},
        {"</Task> in a comment at the middle",
         file(open,
              "<!-- " + QByteArray("<Task><UID>9</UID><Name>Hidden</Name></Task>").repeated(60) +
                  " -->",
              end)},
        {"a comment from long before the middle",
         file(open + tasks(100, 200) + "<!-- " + tasks(200, 1700), "",
              tasks(1700, 1710) + " -->" + end)},
        {"a <Tasks> of another namespace at the middle",
         file(open, "</Tasks><Tasks xmlns=\"urn:other\">" + tasks(100, 160) + "</Tasks><Tasks>",
              end)},
        {"<Tasks> in a comment after a <Tasks >",
         file("<Project xmlns=\"http://schemas.microsoft.com/project\"><Tasks ><!-- <Tasks> -->",
              "", "<?x -->?>" + tasks(200, 210) + end)},
        {"a <Tasks> that declares the namespace",
         file("<p:Project xmlns:p=\"http://schemas.microsoft.com/project\"><Tasks></Tasks>"
              "<Tasks xmlns=\"http://schemas.microsoft.com/project\">",
              "", "</Tasks></p:Project>")},
        {"an entity of the document's own",
         file("<!DOCTYPE Project [<!ENTITY co \"Acme\">]>" + open,
              "<Task><UID>y</UID><Name>Task &co;</Name></Task>", end + "<!-- &co; -->")},
        {"a lookup table defined after the tasks",
         file(open, "",
              "</Tasks><ExtendedAttributes><ExtendedAttribute><FieldID>188743731"
              "</FieldID><Ltuid>l</Ltuid></ExtendedAttribute></ExtendedAttributes>"
              "</Project>")},
        {"a second <Tasks>", file(open, "</Tasks><Tasks>", end)},
        {"a second <Tasks> of another name, closed as the first",
         file(project + "<Tasks></Tasks><p:Tasks>", "", end)},
        {"a second <Tasks> that binds a prefix anew",
         file(project + "<Tasks></Tasks><Tasks xmlns:p=\"urn:other\">", "",
              "<Task><UID>z</UID><p:Name>Other</p:Name></Task>" + end)},
        {"one UID on both sides", file(open, "<Task><UID>39</UID><Name>Task</Name></Task>", end)},
        {"a tag left open", file(open, "<Task><Name>Task</Task>", end)},
        {"an undeclared entity", file(open, "", "</Tasks>&co;</Project>")},
        {"entities that outgrow the file",
         "<!DOCTYPE Project [<!ENTITY x \"" + QByteArray(100000, 'x') + "\">]>" + open +
             QByteArray("<Task><Notes>&x;</Notes></Task>").repeated(200) + end},
        {"a wrong end", file(open, "", "</Tasks></Projekt>")},
    };
    std::vector<std::pair<QString, QByteArray>> inputs;
    for (const auto& f : files) inputs.emplace_back(f.label, f.bytes);
    for (const QString& folder : {kExternal + "/mspdi", kSamples})
        for (QDirIterator it(folder, {"*.xml"}, QDir::Files); it.hasNext();)
            inputs.emplace_back(it.fileName(), ReadBytes(it.next()));
    // The files above that split cleanly, and so are read in two parts; the others in one.
    const std::set<QString> split{
        "plain", "</Task> in a note at the middle", "</Task> in a comment at the middle",
        "a lookup table defined after the tasks", "one UID on both sides"};
    const auto read = [](const QByteArray& bytes, qsizetype twoPartsFrom, bool* twoParts) {
        try {
            auto doc = XmlProjectDocument::Parse(bytes, "t.xml", twoPartsFrom);
            *twoParts = doc->readInTwoParts();
            QStringList seen;
            for (const QString& field : FieldCatalogue()) seen << doc->values(field).join('|');
            ReplaceEverywhere(*doc, "e", "#");
            ReplaceEverywhere(*doc, "a", "@");        // the second search, through the index
            ReplaceEverywhere(*doc, "#", "# and #");  // texts that grow and move
            return seen.join('/') + QString::fromUtf8(doc->save());
        } catch (const Failure& failure) {
            return failure.description();
        }
    };
    for (size_t i = 0; i < inputs.size(); ++i) {
        const auto& [label, bytes] = inputs[i];
        SCOPED_TRACE(label.toStdString());
        bool twoParts = false, oneReading = false;
        EXPECT_EQ(read(bytes, 0, &twoParts), read(bytes, bytes.size() + 1, &oneReading));
        if (i < std::size(files)) {
            EXPECT_EQ(twoParts, split.count(label) > 0);
        }
    }
}

// The split is taken from the bytes: the end of a task after the middle that a task or the
// tasks' end follows, outside a comment or CDATA section that starts nearby.
TEST(BuiltinHostXml, TheSplitFallsAfterATaskThatTheBytesShowEnded) {
    const QByteArray task = "<Task><UID>1</UID><Name>n</Name></Task>\n";
    const QByteArray open = "<Project xmlns=\"http://schemas.microsoft.com/project\"><Tasks>";
    const QByteArray half = task.repeated(50), end = "</Tasks></Project>";
    const struct {
        const char* label;
        QByteArray bytes;
        const char* after;  // the split lies after this text; nullptr: the file has no split
    } cases[] = {
        {"plain", open + half + "<Task><UID>m</UID></Task>" + half + end, "<UID>m"},
        {"a comment at the middle", open + half + task + "<!-- </Task><Task> -->" + half + end,
         "-->"},
        {"a note at the middle",
         open + half + task + "<Task><Notes><![CDATA[</Task>\n<Task>]]></Notes></Task>" + half +
             end,
         "]]>"},
        {"a long last task across the middle",
         open + half + "<Task><Notes>" + QByteArray(4000, 'x') + "</Notes></Task>" + end,
         "</Notes>"},
        {"end tags that no task follows",
         open + task + QByteArray("</Task>x").repeated(40) + task + end, nullptr},
        {"a document type", "<!DOCTYPE Project>" + open + half + half + end, nullptr},
        {"no end of the tasks", open + half + half, nullptr},
    };
    for (const auto& c : cases) {
        const auto at = FindSplitPoints(c.bytes);
        ASSERT_EQ(at.has_value(), c.after != nullptr) << c.label;
        if (!at) continue;
        EXPECT_EQ(at->head, open.size()) << c.label;
        EXPECT_TRUE(c.bytes.first(at->split).endsWith("</Task>")) << c.label;
        EXPECT_GT(at->split, c.bytes.indexOf(c.after)) << c.label;
    }
}

// The parser reads a token that a piece leaves unfinished again from its start with the next
// piece, as expat before 2.6 does: however large one token is, it reads a small multiple of the
// file's bytes, and a file of short tokens goes in small pieces.
TEST(BuiltinHostXml, OneLargeTokenIsNotReadAgainPieceByPiece) {
    const qsizetype size = qsizetype(16) << 20;
    const QByteArray bytes(size, ' ');
    const struct {
        const char* label;
        qsizetype tokenBegin, tokenEnd;  // the one token longer than a piece
        qsizetype largestPiece;          // 0: any
    } cases[] = {
        {"short tokens", 0, 0, qsizetype(1) << 16},
        {"one token of nearly all of it", 10, size - 10, 0},
        {"a token that the file ends in", size / 3, size, 0},
    };
    for (const auto& c : cases) {
        qsizetype given = 0, held = 0, read = 0, largest = 0;
        const bool fed = FeedInPieces(bytes, true, [&](QByteArrayView piece, bool last) {
            read += held + piece.size();
            largest = std::max(largest, piece.size());
            given += piece.size();
            EXPECT_EQ(last, given == size) << c.label;
            held = given > c.tokenBegin && given < c.tokenEnd ? given - c.tokenBegin : 0;
            return std::optional<qint64>(held);
        });
        EXPECT_TRUE(fed) << c.label;
        EXPECT_EQ(given, size) << c.label;
        EXPECT_LE(read, 3 * size) << c.label;
        if (c.largestPiece) {
            EXPECT_EQ(largest, c.largestPiece) << c.label;
        }
    }
    // And expat itself, in one part and in two, with tokens of a few pieces.
    const QByteArray task = "<Task><UID>1</UID><Name>n</Name></Task>";
    const QByteArray xml = "<Project xmlns=\"http://schemas.microsoft.com/project\"><Tasks>" +
                           task.repeated(30000) + "<!--" +
                           QByteArray(3 << 20, '-').replace("--", "- ") + "--><Task a=\"" +
                           QByteArray(3 << 20, 'a') + "\"><UID>2</UID><Name>m</Name></Task>" +
                           task.repeated(30000) + "</Tasks></Project>";
    for (const qsizetype twoPartsFrom : {XmlProjectDocument::kOnePartOnly, qsizetype(0)}) {
        const auto doc = XmlProjectDocument::Parse(xml, "t.xml", twoPartsFrom);
        const QStringList names = doc->values("Name");
        EXPECT_EQ(names.size(), 60001);
        EXPECT_EQ(names.count("m"), 1);
    }
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

// Matching that ignores case covers all of Unicode; a replacement that leaves the text as it was
// (nullptr) changes nothing.
TEST(BuiltinHostText, CaseInsensitiveMatchingCoversAllOfUnicode) {
    const struct {
        const char* text;
        const char* find;
        const char* replacement;
        bool matchCase;
        const char* expected;
    } cases[] = {
        {"Ärger über Öl", "ärger ÜBER öl", "X", false, "X"},
        {"Ärger", "ärger", "X", true, nullptr},
        {"ΣΟΦΙΑ", "σοφια", "X", false, "X"},
        {"Привет", "ПРИВЕТ", "X", false, "X"},
        {"aAaA", "a", "X", false, "XXXX"},
        {"aAaA", "a", "X", true, "XAXA"},
        {"abc", "", "X", false, nullptr},
        {"North", "north", "North", false, nullptr},
        {"North", "North", "North", true, nullptr},
        {"NORTH", "north", "North", false, "North"},
        {"North", "North", "NORTH", true, "NORTH"},
        {"North", "North", "Nort", true, "Nort"},
        {"ſun", "s", "ſ", false, nullptr},
        {"\xF0\x90\x90\xA8", "\xF0\x90\x90\x80", "\xF0\x90\x90\xA8", false, nullptr},
        {"\xF0\x90\x90\x80", "\xF0\x90\x90\x80", "\xF0\x90\x90\xA8", false, "\xF0\x90\x90\xA8"},
    };
    for (const auto& c : cases) {
        const auto result =
            TextReplacer(QString::fromUtf8(c.find), QString::fromUtf8(c.replacement), c.matchCase)
                .apply(QString::fromUtf8(c.text));
        EXPECT_EQ(result, c.expected ? std::optional(QString::fromUtf8(c.expected)) : std::nullopt)
            << c.text << " " << c.find;
        // A document counts, and saves, only the values that change.
        auto doc = OpenDocument(
            "<Project xmlns=\"http://schemas.microsoft.com/project\"><Tasks><Task>"
            "<UID>1</UID><Name>" +
                QByteArray(c.text) + "</Name></Task></Tasks></Project>",
            "t.xml");
        EXPECT_EQ(doc->replace("Name", QString::fromUtf8(c.find), QString::fromUtf8(c.replacement),
                               c.matchCase),
                  c.expected ? 1 : 0)
            << c.text << " " << c.find;
        EXPECT_EQ(doc->splices().size(), c.expected ? 1u : 0u) << c.text << " " << c.find;
    }
}

// The values as replacing in each of them alone leaves them.
QStringList ReplacedOneByOne(const QStringList& values, const QString& find,
                             const QString& replacement, bool matchCase) {
    const TextReplacer replacer(find, replacement, matchCase);
    QStringList result;
    for (const QString& value : values) result << replacer.apply(value).value_or(value);
    return result;
}

// A document whose task names hold every character a Project XML file can, in the BMP and the
// cased letters beyond it, a few dozen to a name.
QByteArray EveryCharacterXml() {
    QString all;
    for (char32_t c = 0x20; c < 0x10450; ++c)
        if (!QChar::isSurrogate(c) && c != 0xFFFE && c != 0xFFFF && (c < 0x10000 || c >= 0x10400))
            all += QString::fromUcs4(&c, 1);
    QByteArray xml = "<Project xmlns=\"http://schemas.microsoft.com/project\"><Tasks>";
    for (qsizetype at = 0, uid = 1; at < all.size(); at += 61, ++uid) {
        QString name = all.mid(at, 61);
        if (name.back().isHighSurrogate()) name.chop(1), at -= 1;
        name.replace('&', "&amp;").replace('<', "&lt;").replace('>', "&gt;");
        xml += "<Task><UID>" + QByteArray::number(uid) + "</UID><Name>" + name.toUtf8() +
               "</Name></Task>";
    }
    return xml + "</Tasks></Project>";
}

// The walk finds the values to change through one search of all texts, a case-folded copy of
// them when case is ignored: it must change exactly what replacing in each value alone changes,
// for every cased character, and nothing in a field that holds no value.
TEST(BuiltinHostText, OneSearchOfAllTextsChangesWhatEachValueAloneWould) {
    auto doc = OpenDocument(EveryCharacterXml(), "every.xml");
    ASSERT_GT(doc->values("Name").size(), 1000);
    for (char32_t c = 0x41; c < 0x10450; ++c) {
        const bool cased =
            QChar::toLower(c) != c || QChar::toUpper(c) != c || QChar::toCaseFolded(c) != c;
        if (QChar::isSurrogate(c) || !cased) continue;
        const QString find = QString::fromUcs4(&c, 1);
        for (const bool matchCase : {false, true}) {
            if (matchCase && c % 16) continue;  // matching case needs no folding: a sample
            const QStringList before = doc->values("Name");
            EXPECT_FALSE(doc->replace("Text5", find, "#", matchCase));
            doc->replace("Name", find, "#", matchCase);
            ASSERT_EQ(doc->values("Name"), ReplacedOneByOne(before, find, "#", matchCase))
                << "U+" << std::hex << uint(c) << (matchCase ? " matching case" : "");
        }
    }
}

// The first search of a document folds the store a piece of 65,536 characters at a time; an
// occurrence that starts in one piece and ends in the next is found as any other.
TEST(BuiltinHostText, TheFirstSearchFindsTextsAcrossItsPieces) {
    const struct {
        const char* find;
        bool matchCase;
        int changed;
    } cases[] = {{"XYZZY", false, 2}, {"xyZZy", true, 2}, {"XYZZY", true, 0}, {"a", false, 66}};
    for (const auto& c : cases) {
        QByteArray xml = "<Project xmlns=\"http://schemas.microsoft.com/project\"><Tasks>";
        for (int uid = 0; uid < 66; ++uid) {
            // 1,000 characters a name: the 66th holds the 65,536th, a second one the last ones.
            QByteArray name(1000, 'a');
            if (uid == 65) name.replace(534, 5, "xyZZy");
            if (uid == 64) name.replace(995, 5, "xyZZy");
            xml += "<Task><UID>" + QByteArray::number(uid + 1) + "</UID><Name>" + name +
                   "</Name></Task>";
        }
        auto doc = OpenDocument(xml + "</Tasks></Project>", "pieces.xml");
        const QStringList before = doc->values("Name");
        EXPECT_EQ(doc->replace("Name", c.find, "#", c.matchCase), c.changed) << c.find;
        EXPECT_EQ(doc->values("Name"), ReplacedOneByOne(before, c.find, "#", c.matchCase));
    }
}

// Two values side by side in the store, one ending in a high surrogate and the next starting
// with a low one, make a pair that neither value holds; each is still matched on its own, in its
// own field.
TEST(BuiltinHostText, HalvesOfACharacterInNeighbouringValuesStayApart) {
    auto doc =
        OpenDocument(QStringLiteral("<Project xmlns=\"http://schemas.microsoft.com/project\">"
                                    "<Tasks><Task><UID>1</UID><Name>x</Name></Task><Task>"
                                    "<UID>2</UID><Name>ya</Name><Notes>😀</Notes></Task>"
                                    "<Task><UID>3</UID><Name>😀</Name></Task></Tasks>"
                                    "</Project>")
                         .toUtf8(),
                     "halves.xml");
    doc->replace("Name", "x", QString(QChar(0xD800)), true);
    doc->replace("Name", "y", QString(QChar(0xDC00)), true);
    // Ignoring case, the matcher reads a surrogate with its neighbour.
    EXPECT_EQ(doc->replace("Name", QString(QChar(0xDC00)) + "A", "b", false), 1);
    EXPECT_EQ(doc->replace("Name", QStringLiteral("😀"), "s", false), 1);
    EXPECT_EQ(doc->values("Name"), (QStringList{QString(QChar(0xD800)), "b", "s"}));
}

// Values that grow and shrink again leave old texts behind, until the store is written anew;
// the pairs after that, in the same field walk and beyond, still change what they must.
TEST(BuiltinHostText, PairsThatGrowAndShrinkValuesAgainAndAgain) {
    QByteArray xml = "<Project xmlns=\"http://schemas.microsoft.com/project\"><Tasks>";
    for (int uid = 1; uid <= 300; ++uid)
        xml += "<Task><UID>" + QByteArray::number(uid) + "</UID><Name>" + QByteArray(40, 'a') +
               "</Name><Notes>A" + QByteArray::number(uid) + "</Notes></Task>";
    auto doc = OpenDocument(xml + "</Tasks></Project>", "grow.xml");
    QStringList names = doc->values("Name"), notes = doc->values("Notes");
    for (int round = 0; round < 6; ++round) {
        for (const auto& [find, replacement] : {std::pair{"a", "aa"}, std::pair{"aa", "a"}}) {
            ReplaceEverywhere(*doc, find, replacement);
            names = ReplacedOneByOne(names, find, replacement, false);
            notes = ReplacedOneByOne(notes, find, replacement, false);
        }
    }
    EXPECT_EQ(doc->values("Name"), names);
    EXPECT_EQ(doc->values("Notes"), notes);
}

// Pairs that grow, shrink and recreate their own find text, over every field, in turn.
TEST(BuiltinHostText, ASequenceOfPairsChangesWhatEachValueAloneWould) {
    const struct {
        const char* find;
        const char* replacement;
        bool matchCase;
    } pairs[] = {
        {"Street", "Street Street", false},
        {"Street", "Street Street", false},
        {"street street", "St", false},
        {"st", "ST", true},
        {"ST", "tS", false},
        {"e", "", false},
        {"ä", "Ä", false},
        {"Quay", "Quay", false},
    };
    for (const QString& file :
         {kSamples + "/Office Relocation.xml", kSamples + "/Website Launch.mpx"}) {
        auto doc = Open(file);
        std::map<QString, QStringList> expected;
        for (const QString& field : FieldCatalogue()) expected[field] = doc->values(field);
        for (const auto& pair : pairs) {
            ReplaceEverywhere(*doc, pair.find, QString::fromUtf8(pair.replacement), pair.matchCase);
            for (auto& [field, values] : expected) {
                values = ReplacedOneByOne(values, QString::fromUtf8(pair.find),
                                          QString::fromUtf8(pair.replacement), pair.matchCase);
                ASSERT_EQ(doc->values(field), values) << file.toStdString() << " " << pair.find;
            }
        }
    }
}

struct MpxCase {
    const char* file;
    const char* field;
    const char* find;
    const char* replacement;
};

TEST(BuiltinHostMpx, SeparatorsCodePageAndQuoting) {
    const MpxCase cases[] = {
        {"mpx/task-text-project98.mpx", "Text1", "1", "one"},
        {"mpx/sample.de.mpx", "Name", "Task", "Aufgabe; neu"},  // ";" separator
        {"mpx/sample.mpx", "Name", "Task", "Job, \"big\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const QByteArray before = ReadBytes(kExternal + "/" + c.file);
        auto doc = OpenDocument(before, c.file);
        const QStringList old = doc->values(c.field);
        ASSERT_TRUE(old.join("|").contains(c.find));
        EXPECT_TRUE(doc->replace(c.field, c.find, c.replacement, true));
        const QByteArray after = doc->save();
        // Only task records change, and every other line stays as it was.
        for (const auto& [was, now] : Differences(before, after, '\n'))
            EXPECT_TRUE(was.startsWith("70")) << was.toStdString();
        ExpectReadsBackReplaced(after, c.file, c.field, old, c.find, c.replacement);
    }
}

TEST(BuiltinHostMpx, Windows1252BytesAndNotes) {
    const QByteArray before = ReadBytes(kSamples + "/Website Launch.mpx");
    auto doc = OpenDocument(before, "Website Launch.mpx");
    ASSERT_TRUE(before.contains("Caf\xE9"));
    EXPECT_TRUE(
        doc->replace("Notes", QString::fromUtf8("Café"), QString::fromUtf8("Bäckerei"), true));
    EXPECT_TRUE(doc->replace("Notes", "pages to keep.", "pages\nto keep, \"now\"", true));
    const QByteArray after = doc->save();
    EXPECT_TRUE(
        after.contains("Relaunch of the B\xE4"
                       "ckerei Lumen website."));
    EXPECT_TRUE(
        after.contains("71,\"List every page of the old website; mark pages\x7Fto keep, "
                       "\"\"now\"\"\"\r\n"));
    // The header line, with the "€" byte of the currency record, is untouched.
    EXPECT_EQ(Pieces(after, '\n').mid(0, 6), Pieces(before, '\n').mid(0, 6));
    auto reread = OpenDocument(after, "w.mpx");
    EXPECT_TRUE(
        reread->values("Notes").contains("List every page of the old website; mark pages\n"
                                         "to keep, \"now\""));
}

QByteArray MpxWithNote(const QByteArray& codePage, const QByteArray& note) {
    return "MPX,Microsoft Project for Windows,4.0," + codePage + "\r\n61,98,1\r\n70,1,Task\r\n71," +
           note + "\r\n";
}

// A note is written back as it was read, except for the changed text: a typed line break is
// byte 0x7F, a character a note cannot hold fails the save.
TEST(BuiltinHostMpx, NotesKeepWhatTheyHeld) {
    const struct {
        const char* replacement;
        const char* note;  // nullptr: the save fails
    } cases[] = {
        {"long", "Keep\rit long"},
        {"long\nnow", "Keep\rit long\x7Fnow"},
        {"long\r\nnow", "Keep\rit long\x7Fnow"},
        {"long\x7F", nullptr},
        {"long\r", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.replacement);
        auto doc = OpenDocument(MpxWithNote("ANSI", "Keep\rit short"), "n.mpx");
        EXPECT_TRUE(doc->replace("Notes", "short", c.replacement, true));
        if (c.note)
            EXPECT_EQ(doc->save(), MpxWithNote("ANSI", c.note));
        else
            EXPECT_THROW(doc->save(), Failure);
    }
}

// Byte 0x7F is a note's line break in every code page, read and written.
TEST(BuiltinHostMpx, NoteLineBreakInEveryCodePage) {
    for (const char* codePage : {"ANSI", "850", "437", "MAC"}) {
        SCOPED_TRACE(codePage);
        auto doc = OpenDocument(MpxWithNote(codePage, "one\x7Ftwo"), "n.mpx");
        EXPECT_TRUE(doc->replace("Notes", "one\ntwo", "1\n2\n3", true));
        EXPECT_EQ(doc->save(), MpxWithNote(codePage,
                                           "1\x7F"
                                           "2\x7F"
                                           "3"));
    }
}

TEST(BuiltinHostMpx, SummaryTaskIsLeftAlone) {
    const QByteArray before = ReadBytes(kSamples + "/Website Launch.mpx");
    auto doc = OpenDocument(before, "Website Launch.mpx");
    ReplaceEverywhere(*doc, "Website Launch", "Site");
    EXPECT_EQ(doc->save(), before);
}

TEST(BuiltinHostMpx, WhatTheCodePageCannotHoldFailsTheSave) {
    auto doc = OpenDocument(ReadBytes(kSamples + "/Website Launch.mpx"), "w.mpx");
    doc->replace("Name", "Photograph", QString::fromUtf8("사진"), true);
    try {
        doc->save();
        FAIL() << "saved an unencodable character";
    } catch (const Failure& failure) {
        EXPECT_TRUE(failure.description().contains(QString::fromUtf8("\"사\" (U+C0AC)")))
            << failure.description().toStdString();
        EXPECT_TRUE(failure.description().contains("field Name of task 4"));
    }
    auto lineBreak = OpenDocument(ReadBytes(kSamples + "/Website Launch.mpx"), "w.mpx");
    lineBreak->replace("Contact", "IT", "I\nT", true);
    EXPECT_THROW(lineBreak->save(), Failure);
}

// Half a surrogate pair can only come from malformed input; no file can hold it.
TEST(BuiltinHost, ALoneSurrogateFailsTheSave) {
    const QByteArray files[] = {
        "<Project xmlns=\"http://schemas.microsoft.com/project\"><Tasks><Task><UID>1</UID>"
        "<Name>\xF0\x9F\x98\x80 x</Name></Task></Tasks></Project>",
        "MPX,Microsoft Project for Windows,4.0,ANSI\r\n61,98,1\r\n70,1,x\r\n"};
    for (const QByteArray& bytes : files) {
        auto doc = OpenDocument(bytes, "s");
        EXPECT_TRUE(doc->replace("Name", "x", QString(QChar(0xD83D)), true));
        try {
            doc->save();
            ADD_FAILURE() << "saved a lone surrogate: " << bytes.left(5).toStdString();
        } catch (const Failure& failure) {
            EXPECT_TRUE(failure.description().contains("lone surrogate U+D83D"));
        }
    }
}

#ifdef Q_OS_LINUX

// Tells when a file has been read: opened for reading and closed again, as the read-ahead does
// once it has the file's bytes.
class FileReads {
  public:
    explicit FileReads(const QString& path) : m_fd(::inotify_init1(IN_CLOEXEC)) {
        EXPECT_GE(m_fd, 0);
        EXPECT_GE(::inotify_add_watch(m_fd, QFile::encodeName(path).constData(), IN_CLOSE_NOWRITE),
                  0);
    }
    ~FileReads() { ::close(m_fd); }
    FileReads(const FileReads&) = delete;
    FileReads& operator=(const FileReads&) = delete;

    // False when no read ended within the deadline, which only a stuck reader misses.
    bool waitForOne() {
        pollfd ready{m_fd, POLLIN, 0};
        if (::poll(&ready, 1, 10'000) != 1) return false;
        char events[4096];
        return ::read(m_fd, events, sizeof events) > 0;
    }

  private:
    int m_fd;
};

// A file read ahead is handed out only for the bytes that the file holds when it is opened.
TEST(BuiltinHostReadAhead, HandsOutOnlyWhatTheFileHoldsNow) {
    QTemporaryDir dir;
    const QString path = dir.filePath("plan.xml");
    const QByteArray before = ReadBytes(kSamples + "/Office Relocation.xml");
    QByteArray after = before;
    after.replace("Harbour Street", "Quay Road");
    const struct {
        const char* label;
        QByteArray onDisk;
        QString taken;
        QByteArray now;
        bool handedOut;
    } cases[] = {
        {"the file as it was read", before, path, before, true},
        {"the file changed since", before, path, after, false},
        {"another file", before, dir.filePath("other.xml"), before, false},
        {"no project file", "<html/>", path, "<html/>", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        WriteBytes(path, c.onDisk);
        ReadAhead ahead;
        ahead.expect(path);
        const auto doc = ahead.take(c.taken, c.now);
        ASSERT_EQ(bool(doc), c.handedOut);
        if (doc) {
            EXPECT_EQ(doc->save(), before);
        }
    }
    // Through the host: the file read ahead, then changed, is opened as it is now.
    BuiltinHostFactory factory;
    WriteBytes(path, before);
    FileReads reads(path);
    factory.expect(path);
    ASSERT_TRUE(reads.waitForOne());
    WriteBytes(path, after);
    auto host = factory.create(kProjectClassName);
    host->fileOpen(path);
    EXPECT_FALSE(host->replace({"Name", "contains", "Harbour Street", "x", true, true, false}));
    EXPECT_TRUE(host->replace({"Name", "contains", "Quay Road", "x", true, true, false}));
}

// The run hints the next listed file, which is read while the run works, then opens the current
// one; file 2, removed from the list once hinted, is passed by.
TEST(BuiltinHostReadAhead, TheRunGetsTheFilesItHintedInTurn) {
    QTemporaryDir dir;
    const auto path = [&](int i) { return dir.filePath(QString::number(i)); };
    const QByteArray sample = ReadBytes(kSamples + "/Office Relocation.xml");
    for (int i = 0; i < 5; ++i)
        WriteBytes(path(i), QByteArray(sample).replace("Harbour", QByteArray::number(i)));
    ReadAhead ahead;
    for (const auto& [hinted, opened, handedOut] :
         {std::tuple(1, 0, false), std::tuple(2, 1, true), std::tuple(4, 3, false),
          std::tuple(-1, 4, true)}) {
        if (hinted >= 0) {
            FileReads reads(path(hinted));
            ahead.expect(path(hinted));
            ASSERT_TRUE(reads.waitForOne()) << hinted;
        }
        const auto doc = ahead.take(path(opened), ReadBytes(path(opened)));
        EXPECT_EQ(doc ? doc->save() : "", handedOut ? ReadBytes(path(opened)) : "") << opened;
    }
}

#endif

class BuiltinHostInstance : public ::testing::Test {
  protected:
    QString copyOf(const QString& source, const QString& name) {
        const QString path = dir.filePath(name);
        QFile::copy(source, path);
        return path;
    }
    static ReplaceArgs Args(const QString& field, const QString& find, const QString& with) {
        return {field, "contains", find, with, true, true, false};
    }
    std::string failureOf(const std::function<void()>& call) {
        try {
            call();
        } catch (const Failure& failure) {
            return failure.description().toStdString();
        }
        return "no failure";
    }

    QTemporaryDir dir;
    BuiltinHostFactory factory;
    std::unique_ptr<HostInstance> host = factory.create("MSProject.Application");
};

TEST_F(BuiltinHostInstance, NameAndFactory) {
    EXPECT_EQ(host->name(), "Quillmere built-in project host");
    EXPECT_THROW(factory.attach("MSProject.Application"), Failure);
    EXPECT_THROW(factory.create("Excel.Application"), Failure);
}

TEST_F(BuiltinHostInstance, ReplaceChecksItsArguments) {
    host->fileOpen(kSamples + "/Office Relocation.xml");
    EXPECT_EQ(failureOf([&] {
                  host->replace({"Name", "equals", "a", "b", true, true, false});
              }),
              "The test \"equals\" is not supported: only 'contains' is supported.");
    EXPECT_EQ(failureOf([&] { host->replace(Args("Colour", "a", "b")); }),
              "The argument value is not valid: there is no task field named \"Colour\".");
    // Derived or calculated fields are Project's to compute: nothing changes, nothing fails.
    for (const char* field : {"Duration", "Predecessors", "Resource Names", "Total Slack"})
        EXPECT_FALSE(host->replace(Args(field, "1", "2")));
    EXPECT_TRUE(host->replace(Args("Name", "Harbour Street", "Quay Road")));
    EXPECT_FALSE(host->replace(Args("Name", "Harbour Street", "Quay Road")));
}

TEST_F(BuiltinHostInstance, BadFilesFailWithTheirReasonAndLeaveNothing) {
    QByteArray xml = ReadBytes(kSamples + "/Office Relocation.xml");
    QByteArray random(4096, 0);
    QRandomGenerator generator(7);
    for (char& byte : random) byte = char(generator.bounded(256));
    const struct {
        const char* name;
        QByteArray bytes;
        const char* reason;
    } cases[] = {
        {"plan.mpp", QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + QByteArray(504, 0),
         "plan.mpp is a binary Microsoft Project file, which only Microsoft Project can open. Run "
         "Quillmere on Windows with Project installed, or save the file as XML from Project."},
        {"empty.xml", "", "empty.xml is empty."},
        {"cut.xml", xml.left(xml.size() / 2), "cut.xml is not a well-formed XML file (line"},
        {"bad.xml", "<Project xmlns=\"http://schemas.microsoft.com/project\"><Name>a</Nme>",
         "bad.xml is not a well-formed XML file (line 1, column"},
        {"page.xml", "<html><body/></html>",
         "page.xml is an XML file, but not a Microsoft Project XML file."},
        {"noise.bin", random, "noise.bin is neither a Project XML file nor an MPX file."},
        {"latin.xml", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><Project/>",
         "latin.xml uses the character encoding ISO-8859-1"},
        {"root.xml", "<html/>", "root.xml is an XML file, but not a Microsoft Project XML file."},
        {"pair.xml", QByteArray("<\0a\0/\0>\0\0\xD8y\0", 10),
         "pair.xml is not well-formed UTF-16: the surrogate at byte 8 has no partner."},
        {"old.mpx", "MPX,Microsoft Project for Windows,4.0,ZH\r\n",
         "old.mpx uses the MPX code page \"ZH\""},
        {"short.mpx", "MPX", "short.mpx has no MPX header record"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString source = dir.filePath(c.name);
        WriteBytes(source, c.bytes);
        const QString output = dir.filePath(QString("out-") + c.name);
        const std::string failure = failureOf([&] { host->fileOpen(source); });
        EXPECT_EQ(failure.rfind(c.reason, 0), 0u) << failure;
        EXPECT_FALSE(host->replace(Args("Name", "a", "b")));
        EXPECT_EQ(failureOf([&] { host->fileSaveAs(output); }),
                  "No project is open, so nothing was saved.");
        EXPECT_FALSE(QFile::exists(output));
        host->quit();
    }
}

#ifdef Q_OS_UNIX
// A named pipe put where a listed file was, read ahead and then opened: both end at once, with
// the reason, instead of waiting for ever for a writer.
TEST_F(BuiltinHostInstance, APipeInPlaceOfAFileFailsAtOnce) {
    const QString pipe = dir.filePath("plan.xml");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    factory.expect(pipe);
    auto opened =
        std::async(std::launch::async, [&] { return failureOf([&] { host->fileOpen(pipe); }); });
    if (opened.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        // Lets the waiting reads end, so that the test can.
        const int writer = ::open(QFile::encodeName(pipe).constData(), O_WRONLY | O_NONBLOCK);
        ::close(writer);
        FAIL() << "the opening waited for a writer";
    }
    EXPECT_EQ(opened.get(),
              (pipe + " could not be opened: it is not a regular file (a named pipe, a "
                      "device or a socket, say), so it was not read")
                  .toStdString());
}
#endif

TEST_F(BuiltinHostInstance, AFailedSaveLeavesNothingAtTheOutputPath) {
    const QString source = copyOf(kSamples + "/Website Launch.mpx", "w.mpx");
    host->fileOpen(source);
    host->replace(Args("Name", "Photograph", QString::fromUtf8("写真")));
    const QString output = dir.filePath("out.mpx");
    EXPECT_NE(failureOf([&] { host->fileSaveAs(output); }), "no failure");
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files) == QStringList{"w.mpx"});
    EXPECT_NE(failureOf([&] { host->fileSaveAs(dir.filePath("missing/out.mpx")); }), "no failure");
    // A disk that fills up while the result is written.
    host->replace(Args("Name", QString::fromUtf8("写真"), "Photograph"));
    WithFileSizeLimit(
        64, [&] { EXPECT_NE(failureOf([&] { host->fileSaveAs(output); }), "no failure"); });
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files) == QStringList{"w.mpx"});
}

#if defined(Q_OS_LINUX) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// A replacement that fails part-way (here out of memory, under an address-space limit that the
// sanitizers' own mappings would not fit in) may leave the project half replaced: it fails, and
// nothing is saved.
TEST_F(BuiltinHostInstance, AReplacementThatFailsPartWaySavesNothing) {
    QByteArray xml = ReadBytes(kSamples + "/Office Relocation.xml");
    xml.insert(xml.indexOf("<Notes>") + 7, QByteArray(1 << 20, 'a'));
    const QString source = dir.filePath("large.xml"), output = dir.filePath("out.xml");
    WriteBytes(source, xml);
    const pid_t child = ::fork();
    if (child == 0) {
        host->fileOpen(source);
        QFile status("/proc/self/status");
        status.open(QIODevice::ReadOnly);
        const QByteArray text = status.readAll();
        const qsizetype at = text.indexOf("VmSize:") + 7;
        const rlim_t size = text.mid(at, text.indexOf("kB", at) - at).trimmed().toULongLong();
        const rlimit limit{(size << 10) + (rlim_t(256) << 20), RLIM_INFINITY};
        ::setrlimit(RLIMIT_AS, &limit);
        bool failed = false;
        try {
            host->replace(Args("Notes", "a", QString(1024, 'b')));
        } catch (const std::exception&) {
            failed = true;
        }
        const bool refused = failureOf([&] { host->fileSaveAs(output); }) != "no failure";
        ::_exit(failed && refused ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"large.xml"});
}
#endif

TEST_F(BuiltinHostInstance, TheSourceIsNeverTheTarget) {
    const QString source = copyOf(kSamples + "/Office Relocation.xml", "plan.xml");
    const QByteArray original = ReadBytes(source);
    QFile::link(source, dir.filePath("alias.xml"));
    host->fileOpen(source);
    host->replace(Args("Name", "Harbour", "Quay"));
    for (const QString& target : {source, dir.filePath("alias.xml"), dir.filePath("./plan.xml")})
        EXPECT_NE(failureOf([&] { host->fileSaveAs(target); }), "no failure");
    EXPECT_EQ(ReadBytes(source), original);
    host->fileSaveAs(dir.filePath("out.xml"));
    factory.syncSaves();
    EXPECT_TRUE(
        ReadBytes(dir.filePath("out.xml")).contains("<Name>Confirm Quay Street lease</Name>"));
    host->quit();
    EXPECT_EQ(failureOf([&] { host->fileSaveAs(dir.filePath("again.xml")); }),
              "No project is open, so nothing was saved.");
}

TEST(BuiltinHostRobustness, NoTruncationOrMutationCrashes) {
    QRandomGenerator generator(11);
    for (const QString& path : {kExternal + "/mspdi/sample.xml", kExternal + "/mpx/sample.mpx",
                                kSamples + "/Office Relocation.xml"}) {
        const QByteArray bytes = ReadBytes(path);
        for (qsizetype cut = 0; cut < bytes.size(); cut += qMax<qsizetype>(1, bytes.size() / 97)) {
            QByteArray mutated = bytes.left(cut);
            if (!mutated.isEmpty())
                mutated[generator.bounded(int(mutated.size()))] = char(generator.bounded(256));
            try {
                auto doc = OpenDocument(mutated, "m");
                ReplaceEverywhere(*doc, "a", "\"<&;,\x7F");
                doc->save();
            } catch (const Failure&) {
            }
        }
    }
}

}  // namespace
}  // namespace quillmere::builtin
