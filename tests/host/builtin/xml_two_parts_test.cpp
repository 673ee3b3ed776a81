#include "host/builtin/xml_two_parts.h"
#include "host/builtin/builtin_host.h"
#include "host/builtin/open_document.h"
#include "host/builtin/xml_document.h"

#include "host/builtin/documents.h"
#include "host/field_catalogue.h"
#include "platform/failure.h"
#include "support/files.h"
#include "support/qt_printers.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>

#include <set>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace quillmere::builtin {
namespace {

using testing::ReadBytes;

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

}  // namespace
}  // namespace quillmere::builtin
