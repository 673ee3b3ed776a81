#include "host/builtin/mpx_document.h"

#include "platform/failure.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <optional>

namespace quillmere::builtin {

// The converters of one code page, opened once: opening one costs far more than converting a
// character.
struct CodePage {
    explicit CodePage(const QByteArray& codec)
        : encoder(codec.constData()), decoder(codec.constData()) {}
    QStringEncoder encoder;
    QStringDecoder decoder;
};

namespace {

const QChar kNoteLineBreak(0x7F);

// Task fields the host edits, by MPX field number.
const QHash<int, QString>& EditableTaskFields() {
    static const QHash<int, QString> fields = [] {
        QHash<int, QString> map{{1, "Name"}, {2, "WBS"}, {15, "Contact"}, {96, "Subproject File"}};
        for (int n = 1; n <= 10; ++n) map[3 + n] = QStringLiteral("Text%1").arg(n);
        return map;
    }();
    return fields;
}

const int kUniqueId = 98;
const int kId = 90;

// Field numbers by the English names of record 60, for files without record 61.
int NumberOfName(const QString& name) {
    static const QHash<QString, int> numbers = [] {
        QHash<QString, int> map{{"Name", 1},
                                {"WBS", 2},
                                {"Contact", 15},
                                {"Subproject File", 96},
                                {"Unique ID", kUniqueId},
                                {"ID", kId}};
        for (int n = 1; n <= 10; ++n) map[QStringLiteral("Text%1").arg(n)] = 3 + n;
        return map;
    }();
    return numbers.value(name.trimmed(), -1);
}

QByteArray CodecFor(const QString& codePage) {
    const QString page = codePage.trimmed().toUpper();
    if (page == QLatin1String("ANSI")) return "windows-1252";
    if (page == QLatin1String("850")) return "IBM850";
    if (page == QLatin1String("437")) return "IBM437";
    if (page == QLatin1String("MAC")) return "macintosh";
    return {};
}

bool IsControl(char16_t c) {
    return c < 0x20 || c == 0x7F;
}

// Bytes below 0x20 and 0x7F are the same control characters in every code page; the converters
// for 850 and 437 map some of them onto other characters (the note line break 0x7F onto U+001A),
// so they bypass the converter both ways.
QString DecodeBytes(QStringDecoder& decoder, QByteArrayView raw) {
    QString text;
    qsizetype run = 0;
    for (qsizetype i = 0; i <= raw.size(); ++i) {
        if (i < raw.size() && !IsControl(uchar(raw[i]))) continue;
        if (i > run) text += decoder.decode(raw.sliced(run, i - run));
        if (i < raw.size()) text += QChar(uchar(raw[i]));
        run = i + 1;
    }
    return text;
}

// The text in the code page, or nothing when a character has no byte of its own there (a
// converter's stand-in byte would be read back as another character).
std::optional<QByteArray> EncodeText(const QString& text, CodePage& page) {
    QStringEncoder& encoder = page.encoder;
    encoder.resetState();
    QByteArray bytes;
    qsizetype run = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i < text.size() && !IsControl(text[i].unicode())) continue;
        if (i > run)
            bytes.append(QByteArray(encoder.encode(QStringView(text).sliced(run, i - run))));
        if (i < text.size()) bytes.append(char(text[i].unicode()));
        run = i + 1;
    }
    page.decoder.resetState();
    if (encoder.hasError() || DecodeBytes(page.decoder, bytes) != text) return std::nullopt;
    return bytes;
}

struct Field {
    qint64 begin;
    qint64 end;
    QByteArray raw;  // unquoted bytes; most fields borrow them from the file without a copy
    bool quoted;
};

QByteArray Borrowed(QByteArrayView bytes) {
    return QByteArray::fromRawData(bytes.data(), bytes.size());
}

// One field from begin: its bytes up to the next separator, a quoted field's unquoted.
Field ReadField(QByteArrayView record, qint64 begin, char separator) {
    const auto until = [&](char c, qint64 from) {
        const qint64 at = record.indexOf(c, from);
        return at < 0 ? record.size() : at;
    };
    if (begin >= record.size() || record[begin] != '"') {
        const qint64 end = until(separator, begin);
        return {begin, end, Borrowed(record.sliced(begin, end - begin)), false};
    }
    QByteArray raw;
    qint64 i = begin + 1;
    while (true) {
        const qint64 quote = until('"', i);
        raw += record.sliced(i, quote - i);
        i = quote;
        if (i + 1 < record.size() && record[i + 1] == '"') {
            raw += '"';  // a doubled quote
            i += 2;
            continue;
        }
        if (i < record.size()) ++i;  // the closing quote
        break;
    }
    // Anything between the closing quote and the separator stays part of the field.
    const qint64 end = until(separator, i);
    raw += record.sliced(i, end - i);
    return {begin, end, raw, true};
}

// Splits one record into fields; a quoted field may hold the separator and doubled quotes.
void SplitRecord(const QByteArray& bytes, qint64 begin, qint64 end, char separator,
                 std::vector<Field>& fields) {
    fields.clear();
    const QByteArrayView record = QByteArrayView(bytes).first(end);
    for (qint64 i = begin;; ++i) {
        fields.push_back(ReadField(record, i, separator));
        i = fields.back().end;
        if (i >= end) break;
    }
}

}  // namespace

class MpxScanner {
  public:
    MpxScanner(MpxProjectDocument& doc, const QString& fileName)
        : m_doc(doc), m_file(fileName), m_decoder(QStringDecoder::Utf8) {}

    void run() {
        const QByteArray& bytes = m_doc.m_bytes;
        qint64 start = 0;
        bool header = true;
        while (start < bytes.size()) {
            qint64 lineEnd = bytes.indexOf('\n', start);
            if (lineEnd < 0) lineEnd = bytes.size();
            qint64 contentEnd = lineEnd;
            if (contentEnd > start && bytes[contentEnd - 1] == '\r') --contentEnd;
            SplitRecord(bytes, start, contentEnd, m_doc.m_separator, m_fields);
            const auto& fields = m_fields;
            if (header) {
                readHeader(fields);
                header = false;
            } else {
                readRecord(fields);
            }
            start = lineEnd + 1;
        }
        m_doc.indexValues();
    }

  private:
    QString decode(const QByteArray& raw) { return DecodeBytes(m_decoder, raw); }

    void readHeader(const std::vector<Field>& fields) {
        const QString codePage = fields.size() > 3 ? QString::fromLatin1(fields[3].raw).trimmed()
                                                   : QStringLiteral("ANSI");
        m_doc.m_codec = CodecFor(codePage);
        if (m_doc.m_codec.isEmpty())
            throw Failure(errors::kNotAProjectFile,
                          QStringLiteral("%1 uses the MPX code page \"%2\", which Quillmere cannot "
                                         "read (it reads ANSI, 850, 437 and MAC).")
                              .arg(m_file, codePage));
        m_decoder = QStringDecoder(m_doc.m_codec.constData());
    }

    void readRecord(const std::vector<Field>& fields) {
        const QByteArray number = fields[0].raw.trimmed();
        if (number == "60" && !m_numericLayout) {
            m_layout.clear();
            for (size_t i = 1; i < fields.size(); ++i)
                m_layout << NumberOfName(decode(fields[i].raw));
        } else if (number == "61") {
            m_numericLayout = true;
            m_layout.clear();
            for (size_t i = 1; i < fields.size(); ++i) m_layout << fields[i].raw.trimmed().toInt();
        } else if (number == "70") {
            readTask(fields);
        } else if (number == "71") {
            readNote(fields);
        } else if (number == "50") {
            m_task.reset();
        }
    }

    struct Task {
        QString label;
        bool summary = false;
    };

    void readTask(const std::vector<Field>& fields) {
        QString uid;
        QString id;
        std::vector<std::pair<StoredValue, QString>> values;
        for (size_t i = 1; i < fields.size() && qsizetype(i - 1) < m_layout.size(); ++i) {
            const int number = m_layout[i - 1];
            if (number == kUniqueId) uid = decode(fields[i].raw).trimmed();
            if (number == kId) id = decode(fields[i].raw).trimmed();
            const auto name = EditableTaskFields().constFind(number);
            if (name != EditableTaskFields().cend())
                values.push_back(valueOf(fields[i], *name, false));
        }
        // The project summary task: Unique ID 0, or ID 0 where the file has no Unique ID.
        m_task = Task{uid.isEmpty() ? id : uid, (uid.isEmpty() ? id : uid) == QLatin1String("0")};
        if (m_task->summary) return;
        for (auto& [value, text] : values) keep(value, text);
    }

    void readNote(const std::vector<Field>& fields) {
        if (!m_task || m_task->summary || fields.size() < 2) return;
        auto [value, text] = valueOf(fields[1], QStringLiteral("Notes"), true);
        text.replace(kNoteLineBreak, QLatin1Char('\n'));
        keep(value, text);
    }

    std::pair<StoredValue, QString> valueOf(const Field& field, const QString& name, bool note) {
        StoredValue value;
        value.begin = field.begin;
        value.end = field.end;
        value.fieldKey = m_doc.fieldKey(name);
        value.quoted = field.quoted;
        value.note = note;
        return {value, decode(field.raw)};
    }

    void keep(StoredValue& value, const QString& text) {
        value.taskKey = m_doc.taskKey(m_task ? m_task->label : QString());
        m_doc.addValue(value, text);
    }

    MpxProjectDocument& m_doc;
    QString m_file;
    QStringDecoder m_decoder;
    QList<int> m_layout;
    std::vector<Field> m_fields;  // the record being read
    bool m_numericLayout = false;
    std::optional<Task> m_task;
};

MpxProjectDocument::MpxProjectDocument() = default;
MpxProjectDocument::~MpxProjectDocument() = default;

std::unique_ptr<MpxProjectDocument> MpxProjectDocument::Parse(const QByteArray& bytes,
                                                              const QString& fileName) {
    if (bytes.size() < 4 || !bytes.startsWith("MPX") || (bytes[3] != ',' && bytes[3] != ';'))
        throw Failure(errors::kNotAProjectFile,
                      fileName + QStringLiteral(" has no MPX header record (\"MPX\" and a list "
                                                "separator)."));
    auto doc = std::make_unique<MpxProjectDocument>();
    doc->m_bytes = bytes;
    doc->m_separator = bytes[3];
    MpxScanner(*doc, fileName).run();
    return doc;
}

namespace {

// Names the first character of text that the code page cannot hold.
Failure Unencodable(const QString& field, const QString& task, const QString& text,
                    const QByteArray& codec) {
    QString culprit;
    CodePage page(codec);
    for (char32_t c : text.toUcs4()) {
        const QString single = QString::fromUcs4(&c, 1);
        if (!EncodeText(single, page)) {
            culprit =
                QStringLiteral("\"%1\" (U+%2)")
                    .arg(single, QString::number(uint(c), 16).toUpper().rightJustified(4, '0'));
            break;
        }
    }
    return Failure(errors::kNotAProjectFile,
                   QStringLiteral("The character %1 in the field %2 of task %3 cannot be stored "
                                  "in this MPX file's code page (%4).")
                       .arg(culprit, field, task, QString::fromLatin1(codec)));
}

// A note reads byte 0x7F as a line break and every other byte as its character, so the text
// it holds is written back the same way. It cannot hold U+007F itself, nor a carriage return
// that is not the file's own (a record ends at a line end).
QString NoteText(const StoredValue& value, const QString& field, const QString& task,
                 QStringView text) {
    const auto refuse = [&](const char* what) {
        return Failure(errors::kNotAProjectFile,
                       QStringLiteral("The field %1 of task %2 would hold %3, which an MPX "
                                      "note cannot store.")
                           .arg(field, task, QLatin1String(what)));
    };
    if (text.contains(kNoteLineBreak)) throw refuse("the character U+007F");
    if (text.contains(QLatin1Char('\r')) && value.carriageReturnReplaced)
        throw refuse("a carriage return without a line feed");
    return text.toString().replace(QLatin1Char('\n'), kNoteLineBreak);
}

}  // namespace

QString MpxProjectDocument::storedReplacement(const QString& field,
                                              const QString& replacement) const {
    // A line break typed as CR LF is one note line break.
    if (field != QLatin1String("Notes")) return replacement;
    return QString(replacement).replace(QLatin1String("\r\n"), QLatin1String("\n"));
}

void MpxProjectDocument::encode(const StoredValue& value, QStringView stored,
                                QByteArray& out) const {
    QString text = stored.toString();
    if (value.note) {
        text = NoteText(value, fieldName(value), taskName(value), stored);
    } else if (text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'))) {
        throw Failure(errors::kNotAProjectFile,
                      QStringLiteral("The field %1 of task %2 would hold a line break, which an "
                                     "MPX file cannot store.")
                          .arg(fieldName(value), taskName(value)));
    }
    if (!m_page) m_page = std::make_unique<CodePage>(m_codec);
    const auto encoded = EncodeText(text, *m_page);
    if (!encoded) throw Unencodable(fieldName(value), taskName(value), text, m_codec);
    QByteArray bytes = *encoded;
    // A carriage return at the end of a line would be taken for part of the line end.
    if (value.quoted || bytes.contains(m_separator) || bytes.contains('"') ||
        bytes.endsWith('\r')) {
        bytes.replace("\"", "\"\"");
        bytes = '"' + bytes + '"';
    }
    out += bytes;
}

}  // namespace quillmere::builtin
