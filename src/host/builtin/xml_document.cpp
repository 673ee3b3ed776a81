#include "host/builtin/xml_document.h"

#include "host/builtin/unit_blocks.h"
#include "host/builtin/xml_two_parts.h"
#include "platform/failure.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <expat.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <set>

namespace quillmere::builtin {
namespace {

const char kNamespace[] = "http://schemas.microsoft.com/project";
const char kSeparator = '|';

// Task elements whose content is the free text of a catalogue field.
const QHash<QString, QString>& TaskTextElements() {
    static const QHash<QString, QString> elements{
        {"Name", "Name"},
        {"Notes", "Notes"},
        {"Contact", "Contact"},
        {"WBS", "WBS"},
        {"Hyperlink", "Hyperlink"},
        {"HyperlinkAddress", "Hyperlink Address"},
        {"HyperlinkSubAddress", "Hyperlink SubAddress"},
        {"SubprojectName", "Subproject File"},
    };
    return elements;
}

// The FieldIDs of Text1 to Text30; they do not follow a pattern.
const QHash<QString, QString>& TextFieldIds() {
    static const QHash<QString, QString> ids = [] {
        const long values[30] = {188743731, 188743734, 188743737, 188743740, 188743743, 188743746,
                                 188743747, 188743748, 188743749, 188743750, 188743997, 188743998,
                                 188743999, 188744000, 188744001, 188744002, 188744003, 188744004,
                                 188744005, 188744006, 188744007, 188744008, 188744009, 188744010,
                                 188744011, 188744012, 188744013, 188744014, 188744015, 188744016};
        QHash<QString, QString> map;
        for (int i = 0; i < 30; ++i)
            map[QString::number(values[i])] = QStringLiteral("Text%1").arg(i + 1);
        return map;
    }();
    return ids;
}

QString Decode(QByteArrayView raw, XmlProjectDocument::Encoding encoding) {
    switch (encoding) {
        case XmlProjectDocument::Encoding::Utf16LE:
            return QStringDecoder(QStringDecoder::Utf16LE).decode(raw);
        case XmlProjectDocument::Encoding::Utf16BE:
            return QStringDecoder(QStringDecoder::Utf16BE).decode(raw);
        default:
            return QString::fromUtf8(raw);
    }
}

// The encoding as the XML parser detects it: from a byte order mark, or else from the zero byte
// beside the first character of UTF-16 text (a document starts with an ASCII character).
XmlProjectDocument::Encoding EncodingOf(QByteArrayView bytes) {
    using Encoding = XmlProjectDocument::Encoding;
    if (bytes.startsWith("\xFF\xFE")) return Encoding::Utf16LE;
    if (bytes.startsWith("\xFE\xFF")) return Encoding::Utf16BE;
    if (bytes.size() >= 2 && bytes[0] == 0) return Encoding::Utf16BE;
    if (bytes.size() >= 2 && bytes[1] == 0) return Encoding::Utf16LE;
    return Encoding::Utf8;
}

// The byte offset of the first UTF-16 surrogate without its partner, or -1. The parser would
// join a lone high surrogate with the next character, reading a character the file does not hold.
qsizetype UnpairedSurrogate(QByteArrayView bytes, XmlProjectDocument::Encoding encoding) {
    const bool little = encoding == XmlProjectDocument::Encoding::Utf16LE;
    const auto unit = [&](qsizetype at) {
        const uchar first = bytes[at], second = bytes[at + 1];
        return char16_t(little ? second << 8 | first : first << 8 | second);
    };
    for (qsizetype at = 0; at + 1 < bytes.size(); at += 2) {
        const char16_t c = unit(at);
        if (QChar::isLowSurrogate(c)) return at;
        if (!QChar::isHighSurrogate(c)) continue;
        if (at + 3 >= bytes.size() || !QChar::isLowSurrogate(unit(at + 2))) return at;
        at += 2;
    }
    return -1;
}

// How a value's content is written: CDATA sections only, text (with the five predefined
// entities and character references) that CDATA sections may be mixed into, text that refers to
// an entity of the document's own, or anything else with markup.
// The markup that decides it is ASCII, so a content's UTF-8 bytes are read as they are.
enum class Form { CData, Text, Entity, Markup };

// Whether the text starts with one of the five predefined entities or a character reference.
bool StartsWithSafeReference(QByteArrayView text) {
    for (const char* name : {"&amp;", "&lt;", "&gt;", "&quot;", "&apos;"})
        if (text.startsWith(name)) return true;
    const bool hex = text.startsWith("&#x");
    if (!hex && !text.startsWith("&#")) return false;
    const auto isDigit = [hex](char c) {
        return (c >= '0' && c <= '9') ||
               (hex && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')));
    };
    const qsizetype first = hex ? 3 : 2;
    qsizetype at = first;
    while (at < text.size() && isDigit(text[at])) ++at;
    return at > first && at < text.size() && text[at] == ';';
}

// True when the text refers to an entity of the document's own (declared in a DOCTYPE, or not
// at all): the parser gives its replacement text or nothing, and writing the value back would
// lose the reference. The five predefined entities and character references are safe.
bool HasDocumentEntity(QByteArrayView raw) {
    for (qsizetype at = raw.indexOf('&'); at >= 0; at = raw.indexOf('&', at + 1))
        if (!StartsWithSafeReference(raw.sliced(at))) return true;
    return false;
}

// The form of a content given as UTF-8.
Form ContentForm(QByteArrayView raw) {
    const QByteArrayView open("<![CDATA["), close("]]>");
    bool text = false, cdata = false, entity = false;
    for (qsizetype at = 0; at < raw.size();) {
        const qsizetype markup = raw.indexOf('<', at);
        const QByteArrayView run = raw.sliced(at, (markup < 0 ? raw.size() : markup) - at);
        text |= !run.isEmpty();
        entity |= HasDocumentEntity(run);
        if (markup < 0) break;
        const qsizetype end = raw.indexOf(close, markup + open.size());
        if (!raw.sliced(markup).startsWith(open) || end < 0) return Form::Markup;
        cdata = true;
        at = end + close.size();
    }
    if (entity) return Form::Entity;
    return cdata && !text ? Form::CData : Form::Text;
}

// The elements the scanner tells apart; every other element, and every element of another
// namespace, is Other.
enum class Kind {
    Other,
    Project,
    Tasks,
    Task,
    ExtendedAttributes,
    ExtendedAttribute,
    UID,
    IsNull,
    FieldID,
    ValueGUID,
    Value,
    Ltuid,
    TextElement,  // one of TaskTextElements
};

struct ElementName {
    Kind kind = Kind::Other;
    QString field;  // for a text element, its catalogue name
};

const ElementName& NameOf(const char* local) {
    static const std::vector<std::pair<QByteArray, ElementName>> names = [] {
        std::vector<std::pair<QByteArray, ElementName>> list{
            {"Task", {Kind::Task, {}}},
            {"UID", {Kind::UID, {}}},
            {"ExtendedAttribute", {Kind::ExtendedAttribute, {}}},
            {"FieldID", {Kind::FieldID, {}}},
            {"Value", {Kind::Value, {}}},
            {"IsNull", {Kind::IsNull, {}}},
            {"ValueGUID", {Kind::ValueGUID, {}}},
            {"Ltuid", {Kind::Ltuid, {}}},
            {"Tasks", {Kind::Tasks, {}}},
            {"ExtendedAttributes", {Kind::ExtendedAttributes, {}}},
            {"Project", {Kind::Project, {}}},
        };
        for (auto it = TaskTextElements().cbegin(); it != TaskTextElements().cend(); ++it)
            list.push_back({it.key().toLatin1(), {Kind::TextElement, it.value()}});
        return list;
    }();
    static const ElementName other;
    // This runs for many elements of the file: the first character rules out most names.
    for (const auto& [name, element] : names)
        if (name[0] == local[0] && std::strcmp(name.constData(), local) == 0) return element;
    return other;
}

// A value that refers to an entity of the document's own: the parser gives the entity's text
// (or nothing, for one it does not read), and writing the value back would lose the reference.
struct EntityValue {
    StoredValue value;
    QString text;
};

// Why such a value is left alone, as a Replace call that would change it says.
QString EntityReason() {
    return QStringLiteral(
        "it refers to an entity that the file's document type declares, which "
        "a new value could not keep");
}

struct ExtendedValue {
    QString fieldId;
    std::optional<StoredValue> value;
    std::optional<EntityValue> leftAlone;
    bool lookup = false;  // a ValueGUID: the value comes from a lookup table
};

// A task's values, their texts already in the document's store, until the task's end tells
// whether it is edited at all.
struct Task {
    QString uid;
    bool isNull = false;
    std::vector<StoredValue> fields;
    std::vector<EntityValue> leftAlone;
    std::vector<ExtendedValue> extended;
};

// A project-level custom field definition.
struct Definition {
    QString fieldId;
    bool hasLookup = false;
};

// The element whose text is being collected.
struct Capture {
    qsizetype depth = 0;
    Kind kind = Kind::Other;
    QString field;
    qint64 begin = 0;
    bool nested = false;  // an element inside: the content is markup, left alone
};

// Makes the parser read each piece as it is given. expat 2.6 (and some distributions' 2.5) may
// put a piece off while a token stays unfinished; the pieces keep reading again linear without
// that, and a piece put off would leave a part's last end tag unread.
void ParseEveryPiece(XML_Parser parser) {
#ifdef QUILLMERE_EXPAT_HAS_REPARSE_DEFERRAL
    XML_SetReparseDeferralEnabled(parser, XML_FALSE);
#else
    Q_UNUSED(parser);
#endif
}

}  // namespace

// Walks the document once with expat and collects the editable values; or, with a second
// scanner, one part of it each.
class XmlScanner {
  public:
    XmlScanner(XmlProjectDocument& doc, const QString& fileName) : m_doc(doc), m_file(fileName) {
        m_parser = XML_ParserCreateNS(nullptr, kSeparator);
        if (!m_parser) throw std::bad_alloc();
        XML_SetUserData(m_parser, this);
        XML_SetXmlDeclHandler(m_parser, &XmlScanner::OnDecl);
        XML_SetElementHandler(m_parser, &XmlScanner::OnStart, &XmlScanner::OnEnd);
        ParseEveryPiece(m_parser);
    }
    ~XmlScanner() { XML_ParserFree(m_parser); }
    XmlScanner(const XmlScanner&) = delete;
    XmlScanner& operator=(const XmlScanner&) = delete;

    // Reads the whole document.
    void run() {
        const bool ok = feed(m_doc.m_bytes, true);
        if (m_refusal) throw Failure(errors::kNotAProjectFile, *m_refusal);
        if (!ok) throw Failure(errors::kNotAProjectFile, describe());
        if (!m_sawRoot)
            throw Failure(errors::kNotAProjectFile,
                          m_file + QStringLiteral(" holds no XML element."));
        finish();
    }

    // The first part: [0, split), which must end with a task's end tag inside the very <Tasks>
    // that the head ends with. Another one, even of the same kind, may have another name or bind
    // other prefixes, which the second part, reading on from the head's, would not know.
    bool runFirstPart(const SplitPoints& at) {
        return feed(QByteArrayView(m_doc.m_bytes).first(at.split), false) && m_tagEnd == at.split &&
               isPath({Kind::Project, Kind::Tasks}) && m_tasksTagEnd == at.head;
    }

    // The second part: the head again, which must end with the <Tasks> start tag, for the
    // parser's state there (the declarations, the open elements and their namespaces), which
    // is the state at the split; then the rest from the split on, as if it followed the head.
    bool runSecondPart(const SplitPoints& at) {
        const QByteArrayView bytes(m_doc.m_bytes);
        m_active = false;
        if (!feed(bytes.first(at.head), false) || m_tagEnd != at.head ||
            !isPath({Kind::Project, Kind::Tasks}))
            return false;
        m_active = true;
        m_shift = at.split - at.head;
        return feed(bytes.sliced(at.split), true);
    }

    // Takes what the second part's scanner found, then finishes the document.
    void finishWith(XmlScanner& second) {
        m_doc.appendValues(second.m_doc);
        m_extendedValues.insert(m_extendedValues.end(), second.m_extendedValues.begin(),
                                second.m_extendedValues.end());
        m_lookupFields.merge(second.m_lookupFields);
        finish();
    }

  private:
    // Gives the parser the bytes in pieces; false on a parse error or a refusal.
    bool feed(QByteArrayView bytes, bool final) {
        const bool read = FeedInPieces(bytes, final, [this](QByteArrayView piece, bool last) {
            std::optional<qint64> held;
            if (XML_Parse(m_parser, piece.data(), int(piece.size()), last) != XML_STATUS_OK)
                return held;
            m_given += piece.size();
            // The parser stops at the start of a token that the bytes so far do not finish.
            const XML_Index stop = XML_GetCurrentByteIndex(m_parser);
            return held = stop < 0 ? m_given : m_given - stop;
        });
        return read && !m_refusal;
    }

    // Where the parser is in the file.
    qint64 position() const { return XML_GetCurrentByteIndex(m_parser) + m_shift; }

    QString describe() const {
        return QStringLiteral("%1 is not a well-formed XML file (line %2, column %3: %4).")
            .arg(m_file)
            .arg(XML_GetCurrentLineNumber(m_parser))
            .arg(XML_GetCurrentColumnNumber(m_parser) + 1)
            .arg(QString::fromUtf8(XML_ErrorString(XML_GetErrorCode(m_parser))));
    }

    void refuse(const QString& reason) {
        if (!m_refusal) m_refusal = reason;
        XML_StopParser(m_parser, XML_FALSE);
    }

    static void OnDecl(void* self, const XML_Char*, const XML_Char* encoding, int) {
        auto* s = static_cast<XmlScanner*>(self);
        if (!encoding) return;
        const QString name = QString::fromUtf8(encoding).toLower();
        // The parser itself checks that a declared encoding agrees with the detected one.
        const QStringList readable{"utf-8", "utf8", "utf-16", "utf-16le", "utf-16be"};
        if (!readable.contains(name))
            s->refuse(QStringLiteral("%1 uses the character encoding %2; only UTF-8 and UTF-16 "
                                     "Project XML files can be opened.")
                          .arg(s->m_file, QString::fromUtf8(encoding)));
    }

    static void OnStart(void* self, const XML_Char* name, const XML_Char**) {
        static_cast<XmlScanner*>(self)->start(name);
    }
    static void OnEnd(void* self, const XML_Char*) { static_cast<XmlScanner*>(self)->end(); }
    static void OnText(void* self, const XML_Char* text, int length) {
        static_cast<XmlScanner*>(self)->m_text.append(text, length);
    }

    // The element's kind where the scanner may need it: in the project's namespace, no deeper
    // than an extended attribute's value, and below the second level only within the tasks or
    // the field definitions (not in the resources or assignments, which make up much of a file).
    const ElementName& nameOfElement(const char* qualified) const {
        static const ElementName other;
        const size_t depth = m_path.size() + 1;
        if (depth > 5 ||
            (depth > 2 && m_path[1] != Kind::Tasks && m_path[1] != Kind::ExtendedAttributes))
            return other;
        const qsizetype prefix = sizeof(kNamespace) - 1;
        if (std::strncmp(qualified, kNamespace, prefix) != 0 || qualified[prefix] != kSeparator)
            return other;
        return NameOf(qualified + prefix + 1);
    }

    void start(const char* qualified) {
        // The path grows before a refusal too: the parser may still report the element's end.
        const bool root = m_path.empty();
        const ElementName& name = nameOfElement(qualified);
        const Kind kind = name.kind;
        m_path.push_back(kind);
        noteTagEnd();
        if (m_path.size() == 2) m_tasksTagEnd = m_tagEnd;
        if (!m_active) return;
        if (m_capture) {
            m_capture->nested = true;
            return;
        }
        if (root) {
            m_sawRoot = true;
            if (kind != Kind::Project)
                return refuse(m_file + QStringLiteral(" is an XML file, but not a Microsoft "
                                                      "Project XML file."));
        }
        if (isPath({Kind::Project, Kind::Tasks, Kind::Task})) m_task.emplace();
        if (isPath({Kind::Project, Kind::Tasks, Kind::Task, Kind::ExtendedAttribute}))
            m_extended.emplace();
        if (isPath({Kind::Project, Kind::ExtendedAttributes, Kind::ExtendedAttribute}))
            m_definition.emplace();
        if (wantsText(kind)) beginCapture(name);
    }

    bool isPath(std::initializer_list<Kind> kinds) const {
        return m_path.size() == kinds.size() &&
               std::equal(kinds.begin(), kinds.end(), m_path.begin());
    }

    bool wantsText(Kind kind) const {
        const size_t depth = m_path.size();
        if (depth == 4 && m_task && !m_extended)
            return kind == Kind::UID || kind == Kind::IsNull || kind == Kind::TextElement;
        if (depth == 5 && m_extended)
            return kind == Kind::FieldID || kind == Kind::ValueGUID || kind == Kind::Value;
        return depth == 4 && m_definition && (kind == Kind::FieldID || kind == Kind::Ltuid);
    }

    void beginCapture(const ElementName& name) {
        m_capture.emplace();
        m_capture->depth = qsizetype(m_path.size());
        m_capture->kind = name.kind;
        m_capture->field = name.field;
        m_capture->begin = position() + XML_GetCurrentByteCount(m_parser);
        m_text.resize(0);
        XML_SetCharacterDataHandler(m_parser, &XmlScanner::OnText);
    }

    // Where a tag that can end a part (down to a task's) ends.
    void noteTagEnd() {
        if (m_path.size() <= 3)
            m_tagEnd = XML_GetCurrentByteIndex(m_parser) + XML_GetCurrentByteCount(m_parser);
    }

    void end() {
        noteTagEnd();
        if (!m_active) {
            m_path.pop_back();
            return;
        }
        if (m_capture && m_capture->depth == qsizetype(m_path.size())) {
            XML_SetCharacterDataHandler(m_parser, nullptr);
            if (!m_capture->nested) storeCapture(*m_capture);
            m_capture.reset();
        } else if (isPath({Kind::Project, Kind::Tasks, Kind::Task, Kind::ExtendedAttribute}) &&
                   m_task && m_extended) {
            m_task->extended.push_back(std::move(*m_extended));
            m_extended.reset();
        } else if (isPath({Kind::Project, Kind::Tasks, Kind::Task}) && m_task) {
            finishTask(*m_task);
            m_task.reset();
        } else if (isPath({Kind::Project, Kind::ExtendedAttributes, Kind::ExtendedAttribute}) &&
                   m_definition) {
            if (m_definition->hasLookup) m_lookupFields.insert(m_definition->fieldId);
            m_definition.reset();
        }
        m_path.pop_back();
    }

    void storeCapture(Capture& capture) {
        const auto text = [&] { return QString::fromUtf8(m_text).trimmed(); };
        StoredValue value;
        value.begin = qint32(capture.begin);
        value.end = qint32(position());
        if (m_extended) {
            if (capture.kind == Kind::FieldID) m_extended->fieldId = text();
            if (capture.kind == Kind::ValueGUID) m_extended->lookup = true;
            if (capture.kind == Kind::Value) {
                const Form form = take(value);
                if (form == Form::Entity)
                    m_extended->leftAlone = EntityValue{value, QString::fromUtf8(m_text)};
                if (form != Form::Entity && form != Form::Markup) m_extended->value = value;
            }
        } else if (m_definition) {
            if (capture.kind == Kind::FieldID) m_definition->fieldId = text();
            if (capture.kind == Kind::Ltuid) m_definition->hasLookup = true;
        } else if (m_task) {
            if (capture.kind == Kind::UID) m_task->uid = text();
            if (capture.kind == Kind::IsNull) m_task->isNull = text() == QLatin1String("1");
            if (capture.kind == Kind::TextElement) {
                value.fieldKey = qint16(m_doc.fieldKey(capture.field));
                const Form form = take(value);
                if (form == Form::Entity)
                    m_task->leftAlone.push_back({value, QString::fromUtf8(m_text)});
                if (form != Form::Entity && form != Form::Markup) m_task->fields.push_back(value);
            }
        }
    }

    void finishTask(Task& task) {
        // The project summary task and blank rows are not edited, as in Project's task views.
        if (task.uid == QLatin1String("0") || task.isNull) return;
        const qint32 taskKey = m_doc.taskKey(task.uid);
        for (StoredValue& value : task.fields) {
            value.taskKey = taskKey;
            m_doc.addValue(value);
        }
        for (EntityValue& left : task.leftAlone) {
            left.value.taskKey = taskKey;
            m_doc.leaveAlone(left.value, left.text, EntityReason());
        }
        for (ExtendedValue& extended : task.extended) {
            const auto field = TextFieldIds().constFind(extended.fieldId);
            if (field == TextFieldIds().cend() || extended.lookup) continue;
            // Kept in file order; dropped at the end if a lookup table turns up for its field.
            if (extended.value) {
                m_doc.addValue(Keyed(*extended.value, *field, taskKey));
                m_extendedValues.push_back({extended.value->begin, &field.key()});
            } else if (extended.leftAlone) {
                m_doc.leaveAlone(Keyed(extended.leftAlone->value, *field, taskKey),
                                 extended.leftAlone->text, EntityReason());
                m_extendedValues.push_back({extended.leftAlone->value.begin, &field.key()});
            }
        }
    }

    StoredValue Keyed(StoredValue value, const QString& field, qint32 taskKey) {
        value.fieldKey = qint16(m_doc.fieldKey(field));
        value.taskKey = taskKey;
        return value;
    }

    // The content's form from its bytes: plain text unless it holds markup or an entity.
    Form FormOf(const StoredValue& value) const {
        const QByteArrayView raw =
            QByteArrayView(m_doc.m_bytes).sliced(value.begin, value.end - value.begin);
        if (m_doc.m_encoding == XmlProjectDocument::Encoding::Utf8) return ContentForm(raw);
        return ContentForm(Decode(raw, m_doc.m_encoding).toUtf8());
    }

    // The captured content's form; its text goes to the store when it can be edited: plain
    // text, CDATA sections or both, which a new value is written as escaped text. An empty
    // element, or content with other markup (comments, processing instructions), is left alone.
    Form take(StoredValue& value) {
        if (value.end <= value.begin) return Form::Markup;
        const auto form = FormOf(value);
        if (form == Form::Markup || form == Form::Entity) return form;
        value.cdata = form == Form::CData;
        m_doc.storeUtf8(value, m_text);
        return form;
    }

    void finish() {
        // Lookup-table definitions may come after the tasks that use them.
        std::set<qint64> lookups;
        for (const auto& [begin, fieldId] : m_extendedValues)
            if (m_lookupFields.count(*fieldId)) lookups.insert(begin);
        if (!lookups.empty()) m_doc.keepValues([&](qint32 begin) { return !lookups.count(begin); });
        m_doc.indexValues();
    }

    XmlProjectDocument& m_doc;
    QString m_file;
    XML_Parser m_parser = nullptr;
    // Reading the head again for the second part: the elements are followed, nothing is kept.
    bool m_active = true;
    qint64 m_given = 0;         // the bytes handed to the parser so far
    qint64 m_shift = 0;         // added to the parser's byte positions to give the file's
    qint64 m_tagEnd = 0;        // where the last such tag ended, as the parser counts
    qint64 m_tasksTagEnd = -1;  // where the start tag of the last element at depth 2 ended
    std::vector<Kind> m_path;
    bool m_sawRoot = false;
    std::optional<QString> m_refusal;
    std::optional<Capture> m_capture;
    QByteArray m_text;  // the captured element's text, UTF-8 as the parser delivers it
    std::optional<Task> m_task;
    std::optional<ExtendedValue> m_extended;
    std::optional<Definition> m_definition;
    // Where each kept extended value starts, and its FieldID (a key of TextFieldIds).
    std::vector<std::pair<qint64, const QString*>> m_extendedValues;
    std::set<QString> m_lookupFields;
};

bool FeedInPieces(QByteArrayView bytes, bool final, const PieceParser& parse) {
    // Given all of a file at once, the parser would copy all of it.
    const qsizetype smallest = qsizetype(1) << 16, largest = qsizetype(1) << 30;
    qsizetype at = 0, held = 0;
    do {
        // Never less than the parser holds back, which it reads again with the next piece:
        // what it reads again then stays within what it is given.
        const qsizetype piece = std::min(std::clamp(held, smallest, largest), bytes.size() - at);
        const auto kept = parse(bytes.sliced(at, piece), final && at + piece == bytes.size());
        if (!kept) return false;
        held = qsizetype(*kept);
        at += piece;
    } while (at < bytes.size());
    return true;
}

bool XmlProjectDocument::LooksLikeXml(const QByteArray& bytes) {
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) return true;
    const auto encoding = EncodingOf(bytes);
    qsizetype length = qMin<qsizetype>(bytes.size(), 256);
    if (encoding != Encoding::Utf8) length &= ~1;
    const QString start = Decode(QByteArrayView(bytes).first(length), encoding);
    qsizetype i = start.startsWith(QChar(0xFEFF)) ? 1 : 0;
    while (i < start.size() && QStringView(u" \t\r\n").contains(start[i])) ++i;
    return i < start.size() && start[i] == QLatin1Char('<');
}

bool XmlProjectDocument::TryTwoParts(XmlProjectDocument& doc, const QString& fileName,
                                     const SplitPoints& at) {
    XmlProjectDocument rest;
    rest.m_bytes = doc.m_bytes;
    rest.m_encoding = doc.m_encoding;
    doc.shareStore(rest, at.split);
    XmlScanner first(doc, fileName), second(rest, fileName);
    if (!ReadInTwoParts([&] { return first.runFirstPart(at); },
                        [&] { return second.runSecondPart(at); }))
        return false;
    first.finishWith(second);
    return true;
}

std::unique_ptr<XmlProjectDocument> XmlProjectDocument::Parse(const QByteArray& bytes,
                                                              const QString& fileName,
                                                              qsizetype twoPartsFrom) {
    const auto make = [&] {
        auto doc = std::make_unique<XmlProjectDocument>();
        doc->m_bytes = bytes;
        doc->m_encoding = EncodingOf(bytes);
        return doc;
    };
    auto doc = make();
    if (doc->m_encoding == Encoding::Utf8 && bytes.size() >= twoPartsFrom) {
        const auto at = FindSplitPoints(bytes);
        if (at && TryTwoParts(*doc, fileName, *at)) {
            doc->m_readInTwoParts = true;
            return doc;
        }
        if (at) doc = make();
    }
    if (doc->m_encoding != Encoding::Utf8) {
        const qsizetype at = UnpairedSurrogate(bytes, doc->m_encoding);
        if (at >= 0)
            throw Failure(errors::kNotAProjectFile,
                          QStringLiteral("%1 is not well-formed UTF-16: the surrogate at byte %2 "
                                         "has no partner.")
                              .arg(fileName)
                              .arg(at));
    }
    XmlScanner(*doc, fileName).run();
    return doc;
}

namespace {

// Where the first character that XML cannot hold is, or -1. Surrogates come in pairs here (the
// save checks that first), and every character beyond the BMP is allowed.
qsizetype Unstorable(QStringView text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        if ((u < 0x20 && u != 0x9 && u != 0xA && u != 0xD) || u == 0xFFFE || u == 0xFFFF) return i;
    }
    return -1;
}

// What a text holds that its writing must see to, from one pass over it.
struct Writing {
    bool unstorable = false;  // a character XML cannot hold
    bool escapes = false;     // a character written as an entity
};

Writing WritingOf(QStringView text) {
    // Without branches, so that the compiler can test many characters at once.
    const char16_t kinds = KindsIn(text, [](char16_t u) {
        // (u | 2) == '>' for '<' and '>': with four tests of equality the compiler would test
        // bits of a constant instead, one character at a time.
        const int escaped = ((u | 2) == u'>') | (u == u'&') | (u == u'\r');
        const int control = (u < 0x20) & (u != 0x9) & (u != 0xA) & (u != 0xD);
        return char16_t(escaped | (control | (u >= 0xFFFE)) << 1);
    });
    return {(kinds & 2) != 0, (kinds & 1) != 0};
}

QString Escaped(QStringView text) {
    QString out;
    out.reserve(text.size() + 16);
    for (QChar c : text) {
        switch (c.unicode()) {
            case '&':
                out += QLatin1String("&amp;");
                break;
            case '<':
                out += QLatin1String("&lt;");
                break;
            case '>':
                out += QLatin1String("&gt;");
                break;
            // A literal CR would be read back as a line feed.
            case '\r':
                out += QLatin1String("&#13;");
                break;
            default:
                out += c;
        }
    }
    return out;
}

}  // namespace

void XmlProjectDocument::encode(const StoredValue& value, QStringView text, QByteArray& out) const {
    const Writing writing = WritingOf(text);
    if (const qsizetype at = writing.unstorable ? Unstorable(text) : -1; at >= 0)
        throw Failure(
            errors::kNotAProjectFile,
            QStringLiteral("The character U+%1 in the field %2 of task %3 cannot be "
                           "stored in a Project XML file.")
                .arg(QString::number(text[at].unicode(), 16).toUpper().rightJustified(4, '0'),
                     fieldName(value), taskName(value)));
    QString written;
    QStringView content = text;
    if (value.cdata && !text.contains(QLatin1Char('\r'))) {
        QString body = text.toString();
        body.replace(QLatin1String("]]>"), QLatin1String("]]]]><![CDATA[>"));
        content = written = QLatin1String("<![CDATA[") + body + QLatin1String("]]>");
    } else if (writing.escapes) {
        content = written = Escaped(text);
    }
    QStringEncoder encoder(m_encoding == Encoding::Utf16LE   ? QStringEncoder::Utf16LE
                           : m_encoding == Encoding::Utf16BE ? QStringEncoder::Utf16BE
                                                             : QStringEncoder::Utf8);
    const qsizetype at = out.size();
    out.resize(at + encoder.requiredSpace(content.size()));
    out.resize(encoder.appendToBuffer(out.data() + at, content) - out.constData());
}

}  // namespace quillmere::builtin
