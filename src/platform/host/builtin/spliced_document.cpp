#include "platform/host/builtin/spliced_document.h"

#include "platform/failure.h"

#include <algorithm>

namespace quillmere::builtin {

void SplicedDocument::indexValues() {
    std::sort(m_values.begin(), m_values.end(),
              [](const StoredValue& a, const StoredValue& b) { return a.begin < b.begin; });
    m_byField.clear();
    for (size_t i = 0; i < m_values.size(); ++i) m_byField[m_values[i].field].push_back(i);
}

int SplicedDocument::replace(const QString& field, const QString& find, const QString& replacement,
                             bool matchCase) {
    const auto indexes = m_byField.constFind(field);
    if (indexes == m_byField.cend()) return 0;
    const QString stored = storedReplacement(field, replacement);
    const TextReplacer replacer(find, stored, matchCase);
    int changed = 0;
    for (size_t i : *indexes) {
        if (replacer.apply(m_values[i].text)) {
            m_values[i].changed = true;
            m_values[i].replacements += stored;
            ++changed;
        }
    }
    return changed;
}

QStringList SplicedDocument::values(const QString& field) const {
    QStringList texts;
    for (size_t i : m_byField.value(field)) texts << m_values[i].text;
    return texts;
}

namespace {

// Half of a UTF-16 surrogate pair stands for no character; no encoding can write it.
void CheckCharacters(const StoredValue& value) {
    const QString& text = value.text;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            ++i;
        } else if (text[i].isSurrogate()) {
            throw Failure(errors::kNotAProjectFile,
                          QStringLiteral("The field %1 of task %2 holds half a character (the "
                                         "lone surrogate U+%3), which cannot be saved.")
                              .arg(value.field, value.task)
                              .arg(QString::number(text[i].unicode(), 16).toUpper()));
        }
    }
}

}  // namespace

QByteArray SplicedDocument::save() const {
    QByteArray out;
    out.reserve(m_bytes.size() + 1024);
    qint64 copied = 0;
    for (const StoredValue& value : m_values) {
        if (!value.changed) continue;
        CheckCharacters(value);
        out.append(QByteArrayView(m_bytes).sliced(copied, value.begin - copied));
        out.append(encode(value));
        copied = value.end;
    }
    out.append(QByteArrayView(m_bytes).sliced(copied));
    return out;
}

}  // namespace quillmere::builtin
