#include "host_harness.h"

#include "host/builtin/builtin_host.h"
#include "host/builtin/open_document.h"
#include "host/builtin/xml_document.h"
#include "platform/failure.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

namespace quillmere::fuzz {
namespace {

using builtin::ProjectDocument;

// The fields the host edits in one format or the other.
const QStringList& Fields() {
    static const QStringList fields{
        "Name",  "Notes", "Contact", "WBS",   "Hyperlink", "Hyperlink Address", "Subproject File",
        "Text1", "Text3", "Text10",  "Text30"};
    return fields;
}

// Texts that the formats hold in their own way, or cannot hold at all.
const std::vector<QString>& AwkwardTexts() {
    static const std::vector<QString> texts{
        "",
        "x",
        "\r\n",
        "\n",
        "\r",
        QString(QChar(0x7F)),
        "\"",
        ",",
        ";",
        "\"\",",
        "<&>",
        "]]>",
        "]]]]><![CDATA[>",
        "&#13;",
        "\t ",
        QString::fromUtf8("€"),
        QString::fromUtf8("ß"),
        QString::fromUtf8("ẞ"),
        QString::fromUtf8("İ"),
        QString::fromUtf8("é"),
        QString::fromUtf8("😀"),
        QString::fromUtf8("사진"),
        QString(QChar(0xFFFD)),
        QString(QChar(0xFEFF)),
        QString(QChar(0x1A)) + QChar(0x1C),
        QString(QChar(0)),
        QString(QChar(0xD800)),
        QString(QChar(0xDC00)) + "a",
        QString(300, QLatin1Char('w')),
    };
    return texts;
}

// The choices for one input come from its bytes, so that the fuzzer can steer them.
class Choices {
  public:
    explicit Choices(const QByteArray& bytes) {
        for (char c : bytes) m_state = (m_state ^ uchar(c)) * 0x100000001B3ull;
    }
    size_t below(size_t n) {
        m_state += 0x9E3779B97F4A7C15ull;
        quint64 z = m_state;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return n ? size_t((z ^ (z >> 31)) % n) : 0;
    }

  private:
    quint64 m_state = 0xCBF29CE484222325ull;
};

void Check(bool holds, const char* promise) {
    if (holds) return;
    std::fprintf(stderr, "Broken promise of the built-in host: %s\n", promise);
    std::abort();
}

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    Check(file.open(QIODevice::ReadOnly), "the saved file can be read");
    return file.readAll();
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write the input to %s\n", qPrintable(path));
        std::exit(1);
    }
}

// Where the input is written and the output saved; one folder for the whole run, in memory
// where the system has a memory file system (every save syncs its file to disk).
const QTemporaryDir& Folder() {
    static const QTemporaryDir folder(QDir("/dev/shm").exists()
                                          ? QStringLiteral("/dev/shm/quillmere-fuzz-XXXXXX")
                                          : QDir::tempPath() + "/quillmere-fuzz-XXXXXX");
    if (!folder.isValid()) {
        std::fprintf(stderr, "cannot make a temporary folder\n");
        std::exit(1);
    }
    return folder;
}

// A text to find: mostly part of a value the field holds now, so that replacing changes it.
QString FindText(const ProjectDocument& doc, const QString& field, Choices& choose) {
    const QStringList values = doc.values(field);
    const QString value = values.isEmpty() ? QString() : values[choose.below(values.size())];
    if (value.isEmpty() || choose.below(4) == 0) {
        const auto& texts = AwkwardTexts();
        const QString text = texts[choose.below(texts.size())];
        return text.isEmpty() ? QStringLiteral("e") : text;
    }
    const qsizetype at = qsizetype(choose.below(value.size()));
    return value.mid(at, 1 + qsizetype(choose.below(4)));
}

// The document finds the values to change through one search of all its texts; the result must
// be what replacing in each value on its own gives. (An MPX note stores a CR LF in a replacement
// as one line break, so such replacements are left out here.)
void CheckEachValue(const QStringList& before, const QStringList& after, const QString& find,
                    const QString& replacement, bool matchCase) {
    if (replacement.contains(QLatin1Char('\r'))) return;
    const builtin::TextReplacer replacer(find, replacement, matchCase);
    QStringList expected;
    for (const QString& value : before) expected << replacer.apply(value).value_or(value);
    Check(after == expected, "each value changes as replacing in it alone changes it");
}

// True when replacing could make the values longer than limit characters in all.
bool GrowsPast(const QStringList& values, const QString& find, const QString& replacement,
               qsizetype limit) {
    qsizetype total = 0;
    for (const QString& value : values) total += value.size();
    const qsizetype most = total / std::max<qsizetype>(1, find.size()) * replacement.size();
    return std::max(total, most) > limit;
}

// Replaces in the document and in the host alike, mostly in fields the document holds values
// of; true when anything changed.
bool ReplaceInBoth(ProjectDocument& doc, HostInstance& host, Choices& choose) {
    QStringList held;
    for (const QString& field : Fields())
        if (!doc.values(field).isEmpty()) held << field;
    bool changed = false;
    const int steps = 2 + int(choose.below(5));
    for (int step = 0; step < steps; ++step) {
        const QStringList& from = held.isEmpty() || choose.below(5) == 0 ? Fields() : held;
        const QString field = from[choose.below(from.size())];
        const QString find = FindText(doc, field, choose);
        const auto& texts = AwkwardTexts();
        const QString replacement = texts[choose.below(texts.size())];
        const bool matchCase = step % 2 == 1;
        // A replacement that holds its own find text multiplies the value at every step.
        if (replacement.contains(find, matchCase ? Qt::CaseSensitive : Qt::CaseInsensitive))
            continue;
        const QStringList before = doc.values(field);
        // Longer replacements one after another multiply it too: past some hundred thousand
        // characters an input measures only the time the sanitizers take per character.
        if (GrowsPast(before, find, replacement, 1 << 18)) continue;
        const int inDoc = doc.replace(field, find, replacement, matchCase);
        CheckEachValue(before, doc.values(field), find, replacement, matchCase);
        const int inHost =
            host.replace({field, "contains", find, replacement, true, true, matchCase});
        Check(inDoc == inHost, "the host changes what the document changes");
        changed = changed || inDoc > 0;
    }
    return changed;
}

// An emptied Project XML element holds nothing to edit, so the reader leaves it out.
QStringList NonEmpty(QStringList values) {
    values.removeAll(QString());
    return values;
}

// The saved bytes are the input with only the changed values' byte ranges rewritten: every
// stretch between them is kept as it was, in order, once.
void CheckSplicing(const ProjectDocument& doc, bool changed, const QByteArray& input,
                   const QByteArray& saved) {
    const std::vector<builtin::Splice> splices = doc.splices();
    Check(splices.empty() != changed, "the changed values are the ones rewritten");
    QByteArray expected;
    qint64 copied = 0;
    for (const builtin::Splice& splice : splices) {
        Check(copied <= splice.begin && splice.begin <= splice.end && splice.end <= input.size(),
              "the changed values lie in order within the file");
        expected += input.sliced(copied, splice.begin - copied) + splice.bytes;
        copied = splice.end;
    }
    expected += input.sliced(copied);
    Check(saved == expected, "a save rewrites nothing but the changed values");
}

// A saved file reopens, holds every value as it was in memory, and saves unchanged.
void CheckSavedFile(const ProjectDocument& doc, const QByteArray& saved) {
    std::unique_ptr<ProjectDocument> reread;
    try {
        reread = builtin::OpenDocument(saved, "saved");
    } catch (const Failure& failure) {
        std::fprintf(stderr, "%s\n", qPrintable(failure.description()));
        Check(false, "a saved file reopens");
    }
    for (const QString& field : Fields()) {
        const QStringList was = NonEmpty(doc.values(field)), now = NonEmpty(reread->values(field));
        if (now == was) continue;
        std::fprintf(stderr, "%s in memory: %s\nread back: %s\n", qPrintable(field),
                     was.join("|").toUtf8().toPercentEncoding(" |").constData(),
                     now.join("|").toUtf8().toPercentEncoding(" |").constData());
        Check(false, "every field reads back as it was in memory");
    }
    Check(reread->save() == saved, "a reopened file saves byte for byte");
}

// The host reads a file of this size in one part: an XML input is read here in two parts at
// once wherever it splits, so that every check below also holds the two readings to each other.
std::unique_ptr<ProjectDocument> ReadInTwoParts(const QByteArray& input) {
    if (!builtin::XmlProjectDocument::LooksLikeXml(input))
        return builtin::OpenDocument(input, "input");
    return builtin::XmlProjectDocument::Parse(input, "input", 0);
}

}  // namespace

void CheckHostOn(const uint8_t* data, size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString source = Folder().filePath("input");
    const QString output = Folder().filePath("output");
    WriteFile(source, input);

    builtin::BuiltinHost host;
    bool hostOpened = true;
    try {
        host.fileOpen(source);
    } catch (const Failure&) {
        hostOpened = false;
    }
    std::unique_ptr<ProjectDocument> doc;
    try {
        doc = ReadInTwoParts(input);
    } catch (const Failure&) {
    }
    Check(hostOpened == bool(doc), "the host opens what the document reader opens");
    if (!doc) return;
    Check(doc->save() == input, "an unchanged file saves byte for byte");

    Choices choose(input);
    const bool changed = ReplaceInBoth(*doc, host, choose);
    std::optional<QByteArray> saved;
    try {
        saved = doc->save();
    } catch (const Failure&) {
    }
    bool hostSaved = true;
    try {
        host.fileSaveAs(output);
    } catch (const Failure&) {
        hostSaved = false;
    }
    Check(hostSaved == saved.has_value(), "the host saves when the document saves");
    if (!saved) {
        Check(changed, "a file in which nothing changed saves");
        Check(!QFile::exists(output), "a failed save leaves no file");
        return;
    }
    Check(ReadFile(output) == *saved, "the host writes the bytes the document holds");
    QFile::remove(output);
    if (!changed) Check(*saved == input, "nothing matched: the saved bytes equal the input");
    CheckSplicing(*doc, changed, input, *saved);
    Check(doc->save() == *saved, "saving twice gives the same bytes");
    CheckSavedFile(*doc, *saved);
}

}  // namespace quillmere::fuzz
