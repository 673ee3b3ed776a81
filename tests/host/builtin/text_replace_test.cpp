#include "host/builtin/builtin_host.h"
#include "host/builtin/open_document.h"
#include "host/builtin/xml_document.h"

#include "host/builtin/documents.h"
#include "host/field_catalogue.h"
#include "support/files.h"
#include "support/qt_printers.h"

#include <gtest/gtest.h>

#include <map>

namespace quillmere::builtin {
namespace {

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

}  // namespace
}  // namespace quillmere::builtin
