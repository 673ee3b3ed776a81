#include "platform/host/builtin/xml_document.h"

#include "platform/failure.h"

#include <QRegularExpression>
#include <QStringDecoder>
#include <QStringEncoder>

#include <expat.h>

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

// The parser's UTF-8 as text. A U+FEFF at the start is part of the value, not a byte order mark.
QString FromParser(const QByteArray& utf8) {
    return QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom)
        .decode(utf8);
}

enum class Form { Text, CData, Markup };

// Plain text (with entities), CDATA sections only, or anything else with markup.
// True when the text refers to an entity of the document's own (declared in a DOCTYPE, or not
// at all): the parser gives its replacement text or nothing, and writing the value back would
// lose the reference. The five predefined entities and character references are safe.
bool HasDocumentEntity(const QString& raw) {
    static const QRegularExpression safe(
        QStringLiteral("&(amp|lt|gt|quot|apos|#[0-9]+|#x[0-9A-Fa-f]+);"));
    for (qsizetype at = raw.indexOf(QLatin1Char('&')); at >= 0;
         at = raw.indexOf(QLatin1Char('&'), at + 1)) {
        const auto anchored = QRegularExpression::AnchorAtOffsetMatchOption;
        if (!safe.match(raw, at, QRegularExpression::NormalMatch, anchored).hasMatch()) return true;
    }
    return false;
}

Form ContentForm(const QString& raw) {
    if (!raw.contains(QLatin1Char('<'))) return HasDocumentEntity(raw) ? Form::Markup : Form::Text;
    const QLatin1String open("<![CDATA["), close("]]>");
    qsizetype at = 0;
    while (at < raw.size()) {
        if (!QStringView(raw).mid(at).startsWith(open)) return Form::Markup;
        const qsizetype end = raw.indexOf(close, at + open.size());
        if (end < 0) return Form::Markup;
        at = end + close.size();
    }
    return Form::CData;
}

struct Capture {
    StoredValue value;
    QByteArray text;  // UTF-8 as the parser delivers it
};

struct ExtendedValue {
    QString fieldId;
    std::optional<Capture> value;
    bool lookup = false;  // a ValueGUID: the value comes from a lookup table
};

struct Task {
    QString uid;
    bool isNull = false;
    std::vector<Capture> fields;
    std::vector<ExtendedValue> extended;
};

// A project-level custom field definition.
struct Definition {
    QString fieldId;
    bool hasLookup = false;
};

}  // namespace

// Walks the document once with expat and collects the editable values.
class XmlScanner {
  public:
    XmlScanner(XmlProjectDocument& doc, const QString& fileName) : m_doc(doc), m_file(fileName) {}

    void run() {
        XML_Parser parser = XML_ParserCreateNS(nullptr, kSeparator);
        m_parser = parser;
        XML_SetUserData(parser, this);
        XML_SetXmlDeclHandler(parser, &XmlScanner::OnDecl);
        XML_SetElementHandler(parser, &XmlScanner::OnStart, &XmlScanner::OnEnd);
        XML_SetCharacterDataHandler(parser, &XmlScanner::OnText);
        const QByteArray& bytes = m_doc.m_bytes;
        const bool ok =
            XML_Parse(parser, bytes.constData(), int(bytes.size()), XML_TRUE) == XML_STATUS_OK;
        const QString error = ok ? QString() : describe(parser);
        XML_ParserFree(parser);
        if (m_refusal) throw Failure(errors::kNotAProjectFile, *m_refusal);
        if (!ok) throw Failure(errors::kNotAProjectFile, error);
        if (!m_sawRoot)
            throw Failure(errors::kNotAProjectFile,
                          m_file + QStringLiteral(" holds no XML element."));
        finish();
    }

  private:
    QString describe(XML_Parser parser) const {
        return QStringLiteral("%1 is not a well-formed XML file (line %2, column %3: %4).")
            .arg(m_file)
            .arg(XML_GetCurrentLineNumber(parser))
            .arg(XML_GetCurrentColumnNumber(parser) + 1)
            .arg(QString::fromUtf8(XML_ErrorString(XML_GetErrorCode(parser))));
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

    static void OnStart(void* self, const XML_Char* name, const XML_Char** attributes) {
        static_cast<XmlScanner*>(self)->start(name, attributes);
    }
    static void OnEnd(void* self, const XML_Char*) { static_cast<XmlScanner*>(self)->end(); }
    static void OnText(void* self, const XML_Char* text, int length) {
        auto* s = static_cast<XmlScanner*>(self);
        if (s->m_capture) s->m_capture->text.append(text, length);
    }

    void start(const char* qualified, const char**) {
        const QByteArray full(qualified);
        const qsizetype cut = full.lastIndexOf(kSeparator);
        const QByteArray ns = cut < 0 ? QByteArray() : full.left(cut);
        const QString local = QString::fromUtf8(cut < 0 ? full : full.mid(cut + 1));
        // The path grows before a refusal too: the parser may still report the element's end.
        const bool root = m_path.isEmpty();
        m_path << (ns == kNamespace ? local : QStringLiteral("?"));
        if (root) {
            m_sawRoot = true;
            if (m_path.first() != QLatin1String("Project"))
                return refuse(m_file + QStringLiteral(" is an XML file, but not a Microsoft "
                                                      "Project XML file."));
        }
        if (isPath({"Project", "Tasks", "Task"})) m_task.emplace();
        if (isPath({"Project", "Tasks", "Task", "ExtendedAttribute"})) m_extended.emplace();
        if (isPath({"Project", "ExtendedAttributes", "ExtendedAttribute"})) m_definition.emplace();
        if (wantsText()) {
            m_capture.emplace();
            const qint64 tagStart = XML_GetCurrentByteIndex(m_parser);
            m_capture->value.begin = tagStart + XML_GetCurrentByteCount(m_parser);
        }
    }

    bool isPath(std::initializer_list<const char*> names) const {
        if (m_path.size() != qsizetype(names.size())) return false;
        qsizetype i = 0;
        for (const char* name : names)
            if (m_path[i++] != QLatin1String(name)) return false;
        return true;
    }

    bool wantsText() const {
        if (m_path.size() == 4 && m_task) return true;
        if (m_path.size() == 5 && m_extended) return true;
        return m_path.size() == 4 && m_definition;
    }

    void end() {
        if (m_capture) {
            m_capture->value.end = XML_GetCurrentByteIndex(m_parser);
            storeCapture(*m_capture);
            m_capture.reset();
        }
        if (isPath({"Project", "Tasks", "Task", "ExtendedAttribute"}) && m_task && m_extended) {
            m_task->extended.push_back(*m_extended);
            m_extended.reset();
        } else if (isPath({"Project", "Tasks", "Task"}) && m_task) {
            finishTask(*m_task);
            m_task.reset();
        } else if (isPath({"Project", "ExtendedAttributes", "ExtendedAttribute"}) && m_definition) {
            if (m_definition->hasLookup) m_lookupFields.insert(m_definition->fieldId);
            m_definition.reset();
        }
        m_path.removeLast();
    }

    void storeCapture(Capture& capture) {
        const QString& element = m_path.last();
        const QString text = QString::fromUtf8(capture.text);
        if (m_extended && m_path.size() == 5) {
            if (element == QLatin1String("FieldID")) m_extended->fieldId = text.trimmed();
            if (element == QLatin1String("ValueGUID")) m_extended->lookup = true;
            if (element == QLatin1String("Value")) m_extended->value = capture;
        } else if (m_definition && m_path.size() == 4) {
            if (element == QLatin1String("FieldID")) m_definition->fieldId = text.trimmed();
            if (element == QLatin1String("Ltuid")) m_definition->hasLookup = true;
        } else if (m_task && m_path.size() == 4) {
            if (element == QLatin1String("UID")) m_task->uid = text.trimmed();
            if (element == QLatin1String("IsNull"))
                m_task->isNull = text.trimmed() == QLatin1String("1");
            const auto field = TaskTextElements().constFind(element);
            if (field != TaskTextElements().cend()) {
                capture.value.field = *field;
                m_task->fields.push_back(capture);
            }
        }
    }

    void finishTask(Task& task) {
        // The project summary task and blank rows are not edited, as in Project's task views.
        if (task.uid == QLatin1String("0") || task.isNull) return;
        for (Capture& field : task.fields) keep(field, task.uid);
        for (ExtendedValue& extended : task.extended) {
            const auto text = TextFieldIds().constFind(extended.fieldId);
            if (text == TextFieldIds().cend() || !extended.value || extended.lookup) continue;
            extended.value->value.field = *text;
            m_pendingExtended.push_back({extended.fieldId, *extended.value, task.uid});
        }
    }

    void keep(Capture& capture, const QString& uid) {
        StoredValue& value = capture.value;
        // An empty element, or content with markup other than one CDATA section, is left alone.
        if (value.end <= value.begin) return;
        const QString raw =
            Decode(QByteArrayView(m_doc.m_bytes).sliced(value.begin, value.end - value.begin),
                   m_doc.m_encoding);
        const auto form = ContentForm(raw);
        // Content with comments or processing instructions is left alone.
        if (form == Form::Markup) return;
        value.cdata = form == Form::CData;
        value.task = uid;
        value.text = FromParser(capture.text);
        m_doc.m_values.push_back(value);
    }

    void finish() {
        // Lookup-table definitions may come after the tasks that use them.
        for (auto& pending : m_pendingExtended)
            if (!m_lookupFields.count(pending.fieldId)) keep(pending.capture, pending.uid);
        m_doc.indexValues();
    }

    struct PendingExtended {
        QString fieldId;
        Capture capture;
        QString uid;
    };

    XmlProjectDocument& m_doc;
    QString m_file;
    XML_Parser m_parser = nullptr;
    QStringList m_path;
    bool m_sawRoot = false;
    std::optional<QString> m_refusal;
    std::optional<Capture> m_capture;
    std::optional<Task> m_task;
    std::optional<ExtendedValue> m_extended;
    std::optional<Definition> m_definition;
    std::vector<PendingExtended> m_pendingExtended;
    std::set<QString> m_lookupFields;
};

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

std::unique_ptr<XmlProjectDocument> XmlProjectDocument::Parse(const QByteArray& bytes,
                                                              const QString& fileName) {
    auto doc = std::make_unique<XmlProjectDocument>();
    doc->m_bytes = bytes;
    doc->m_encoding = EncodingOf(bytes);
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

bool IsXmlChar(char32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || c >= 0x10000;
}

QString Escaped(const QString& text) {
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

QByteArray XmlProjectDocument::encode(const StoredValue& value) const {
    for (char32_t c : value.text.toUcs4()) {
        if (!IsXmlChar(c))
            throw Failure(errors::kNotAProjectFile,
                          QStringLiteral("The character U+%1 in the field %2 of task %3 cannot be "
                                         "stored in a Project XML file.")
                              .arg(QString::number(uint(c), 16).toUpper().rightJustified(4, '0'),
                                   value.field, value.task));
    }
    QString content;
    if (value.cdata && !value.text.contains(QLatin1Char('\r'))) {
        QString body = value.text;
        body.replace(QLatin1String("]]>"), QLatin1String("]]]]><![CDATA[>"));
        content = QLatin1String("<![CDATA[") + body + QLatin1String("]]>");
    } else {
        content = Escaped(value.text);
    }
    switch (m_encoding) {
        case Encoding::Utf16LE:
            return QStringEncoder(QStringEncoder::Utf16LE).encode(content);
        case Encoding::Utf16BE:
            return QStringEncoder(QStringEncoder::Utf16BE).encode(content);
        default:
            return content.toUtf8();
    }
}

}  // namespace quillmere::builtin
