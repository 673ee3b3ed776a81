#include "platform/host/builtin/spliced_document.h"

#include "platform/failure.h"

#include <QStringDecoder>

#include <algorithm>

namespace quillmere::builtin {
namespace {

bool HasSurrogate(QStringView text) {
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.isSurrogate(); });
}

}  // namespace

qsizetype SplicedDocument::growTexts(qsizetype size) {
    const qsizetype at = m_texts.size();
    // Positions in the store are 32-bit; replacements that keep lengthening values stop here.
    if (at + size > kLargestStore)
        throw Failure(errors::kOverflow,
                      QStringLiteral("The replacements make the tasks' texts longer than "
                                     "Quillmere can hold (%1 characters).")
                          .arg(kLargestStore));
    // The values' texts rarely take more characters than half the file's bytes: for a large
    // file that much is reserved at once, so that the store is seldom copied while the file is
    // read, and only the part written takes memory. Beyond that it grows by half again or more.
    const auto grow = [&](QString& store) {
        const qsizetype first = m_bytes.size() > (1 << 20) ? m_bytes.size() / 2 : 1024;
        if (store.capacity() < at + size) store.reserve(qMax(at + size, qMax(first, at + at / 2)));
        store.resize(at + size);
    };
    grow(m_texts);
    if (!m_folded.isEmpty()) grow(m_folded);
    return at;
}

const QString& SplicedDocument::foldedTexts() {
    if (m_folded.size() != m_texts.size()) {
        m_folded.reserve(m_texts.capacity());
        m_folded.resize(m_texts.size());
        FoldCase(m_texts, m_folded.data());
    }
    return m_folded;
}

void SplicedDocument::addValue(StoredValue value, QStringView text) {
    value.textAt = growTexts(text.size());
    value.textSize = text.size();
    std::copy(text.begin(), text.end(), m_texts.begin() + value.textAt);
    m_values.push_back(std::move(value));
}

void SplicedDocument::storeUtf8(StoredValue& value, QByteArrayView utf8) {
    // UTF-8 never takes fewer bytes than UTF-16 takes code units.
    value.textAt = qint32(growTexts(utf8.size()));
    m_utf8.resetState();
    QChar* start = m_texts.data() + value.textAt;
    value.textSize = qint32(m_utf8.appendToBuffer(start, utf8) - start);
    m_texts.resize(value.textAt + value.textSize);
}

int SplicedDocument::fieldKey(const QString& name) {
    auto key = m_fieldKeys.constFind(name);
    if (key == m_fieldKeys.cend()) {
        key = m_fieldKeys.insert(name, int(m_fieldNames.size()));
        m_fieldNames.push_back(name);
    }
    return *key;
}

int SplicedDocument::taskKey(QStringView label) {
    // A task's values come one after another.
    const qint32 start = m_taskEnds.empty() ? 0 : m_taskEnds.back();
    if (m_taskEnds.empty() || QStringView(m_taskNames).sliced(start) != label) {
        m_taskNames += label;
        m_taskEnds.push_back(qint32(m_taskNames.size()));
    }
    return int(m_taskEnds.size()) - 1;
}

void SplicedDocument::appendValues(const SplicedDocument& later) {
    std::vector<int> fields;
    for (const QString& name : later.m_fieldNames) fields.push_back(fieldKey(name));
    // Its tasks in order, as this document would have met them.
    std::vector<int> tasks;
    qint32 start = 0;
    for (const qint32 end : later.m_taskEnds) {
        tasks.push_back(taskKey(QStringView(later.m_taskNames).sliced(start, end - start)));
        start = end;
    }
    for (StoredValue value : later.m_values) {
        const QStringView text = later.textOf(value);
        value.fieldKey = qint16(fields[value.fieldKey]);
        value.taskKey = tasks[value.taskKey];
        addValue(value, text);
    }
}

QString SplicedDocument::taskName(const StoredValue& value) const {
    const qint32 start = value.taskKey == 0 ? 0 : m_taskEnds[value.taskKey - 1];
    return m_taskNames.sliced(start, m_taskEnds[value.taskKey] - start);
}

void SplicedDocument::indexValues() {
    const auto byPosition = [](const StoredValue& a, const StoredValue& b) {
        return a.begin < b.begin;
    };
    if (!std::is_sorted(m_values.begin(), m_values.end(), byPosition))
        std::stable_sort(m_values.begin(), m_values.end(), byPosition);
    m_liveTexts = 0;
    for (const StoredValue& value : m_values) m_liveTexts += value.textSize;
    indexSlots();
    m_candidates.reset();
}

void SplicedDocument::indexSlots() {
    m_slots.clear();
    m_slots.reserve(m_values.size());
    for (size_t i = 0; i < m_values.size(); ++i) {
        const StoredValue& value = m_values[i];
        // An empty value holds no find text, so it never changes; it has no slot of its own
        // and would share its position with the next value.
        if (value.textSize > 0) m_slots.push_back({value.textAt, quint32(i)});
    }
    const auto byText = [](const Slot& a, const Slot& b) { return a.textAt < b.textAt; };
    if (!std::is_sorted(m_slots.begin(), m_slots.end(), byText))
        std::sort(m_slots.begin(), m_slots.end(), byText);
}

void SplicedDocument::compactTexts() {
    // Texts that moved leave their old places behind; once those outweigh the values' own
    // texts, the store is written anew, so that many pairs that lengthen values cost no more
    // memory, nor searches longer, than the values need.
    if (m_texts.size() <= 2 * m_liveTexts + 4096) return;
    QString texts;
    texts.reserve(m_liveTexts + m_liveTexts / 2 + 1024);
    for (StoredValue& value : m_values) {
        const qsizetype at = texts.size();
        texts.append(textOf(value));
        value.textAt = qint32(at);
    }
    m_texts = std::move(texts);
    m_folded = QString();  // folded again at the next search that ignores case
    indexSlots();
}

void SplicedDocument::setText(size_t index, QStringView text) {
    StoredValue& value = m_values[index];
    // A text no longer than the old one stays where it was; a longer one moves to the store's
    // end, after every slot so far.
    if (text.size() > value.textSize) {
        value.textAt = growTexts(text.size());
        m_slots.push_back({value.textAt, quint32(index)});
    }
    m_liveTexts += text.size() - value.textSize;
    std::copy(text.begin(), text.end(), m_texts.begin() + value.textAt);
    if (!m_folded.isEmpty()) FoldCase(text, m_folded.data() + value.textAt);
    value.textSize = text.size();
    value.changed = true;
    ++m_generation;
}

std::optional<size_t> SplicedDocument::valueAt(qsizetype at, size_t& hint) const {
    const auto from = m_slots.begin() + qsizetype(hint);
    const auto before = [](qsizetype position, const Slot& s) { return position < s.textAt; };
    // Most often the next slot or one soon after: a short look ahead before halving the rest.
    const auto near = from + std::min<qsizetype>(8, m_slots.end() - from);
    auto after = std::find_if(from, near, [&](const Slot& s) { return before(at, s); });
    if (after == near && after != m_slots.end())
        after = std::upper_bound(after, m_slots.end(), at, before);
    if (after == m_slots.begin()) return std::nullopt;
    hint = size_t(std::prev(after) - m_slots.begin());
    const Slot& slot = *std::prev(after);
    const StoredValue& value = m_values[slot.value];
    if (value.textAt != slot.textAt || at >= value.textAt + value.textSize) return std::nullopt;
    return slot.value;
}

void SplicedDocument::findInStore(Candidates& found) {
    // Every occurrence in the store (folded when case is ignored), each one mapped to the value
    // it starts in; one that spans two values only makes a candidate that holds nothing.
    QString needle = found.find;
    if (!found.matchCase) FoldCase(found.find, needle.data());
    const QString& store = found.matchCase ? m_texts : foldedTexts();
    const QStringMatcher matcher(needle, Qt::CaseSensitive);
    size_t hint = 0;
    for (qsizetype at = matcher.indexIn(store); at >= 0;) {
        const auto index = valueAt(at, hint);
        qsizetype next = at + 1;
        if (index) {
            found.byField[m_values[*index].fieldKey].push_back(quint32(*index));
            next = m_values[*index].textAt + m_values[*index].textSize;
        }
        at = matcher.indexIn(store, next);
    }
}

const SplicedDocument::Candidates& SplicedDocument::candidates(const QString& find,
                                                               bool matchCase) {
    if (m_candidates && m_candidates->find == find && m_candidates->matchCase == matchCase &&
        m_candidates->generation == m_generation)
        return *m_candidates;
    Candidates found{find, matchCase, m_generation, {}};
    found.byField.resize(m_fieldNames.size());
    if (!matchCase && HasSurrogate(find)) {
        // Matching that ignores case reads a surrogate together with its neighbour, which in the
        // store may be another value's: such a find text is tried in every value.
        for (size_t i = 0; i < m_values.size(); ++i)
            found.byField[m_values[i].fieldKey].push_back(quint32(i));
    } else {
        findInStore(found);
    }
    m_candidates = std::move(found);
    return *m_candidates;
}

int SplicedDocument::replace(const QString& field, const QString& find, const QString& replacement,
                             bool matchCase) {
    const auto key = m_fieldKeys.constFind(field);
    if (key == m_fieldKeys.cend() || find.isEmpty()) return 0;
    const std::vector<quint32>& inField = candidates(find, matchCase).byField[*key];
    if (inField.empty()) return 0;
    const QString stored = storedReplacement(field, replacement);
    const TextReplacer replacer(find, stored, matchCase);
    const bool carriageReturn = stored.contains(QLatin1Char('\r'));
    int changed = 0;
    // Ignoring case, the occurrences are found in the folded store, which a candidate search
    // has made, with a plain search.
    const bool folded = !matchCase && !HasSurrogate(find);
    if (folded) foldedTexts();  // made anew after the store was compacted
    QString text;               // one buffer for every value's new text
    for (const quint32 index : inField) {
        const StoredValue& value = m_values[index];
        const bool found =
            folded ? replacer.applyFolded(
                         textOf(value), QStringView(m_folded).sliced(value.textAt, value.textSize),
                         text)
                   : replacer.apply(textOf(value), text);
        if (!found) continue;
        setText(index, text);
        m_values[index].carriageReturnReplaced |= carriageReturn;
        ++changed;
    }
    // Only candidates changed, so the candidates of this find text are still all the values that
    // may hold it (by index, which compacting the store keeps).
    m_candidates->generation = m_generation;
    compactTexts();
    return changed;
}

QStringList SplicedDocument::values(const QString& field) const {
    QStringList texts;
    const int key = m_fieldKeys.value(field, -1);
    for (const StoredValue& value : m_values)
        if (value.fieldKey == key) texts << textOf(value).toString();
    return texts;
}

namespace {

// Half of a UTF-16 surrogate pair stands for no character; no encoding can write it.
void CheckCharacters(const QString& field, const QString& task, QStringView text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            ++i;
        } else if (text[i].isSurrogate()) {
            throw Failure(errors::kNotAProjectFile,
                          QStringLiteral("The field %1 of task %2 holds half a character (the "
                                         "lone surrogate U+%3), which cannot be saved.")
                              .arg(field, task)
                              .arg(QString::number(text[i].unicode(), 16).toUpper()));
        }
    }
}

}  // namespace

Splice SplicedDocument::spliceOf(const StoredValue& value) const {
    Splice splice{value.begin, value.end, {}};
    CheckCharacters(fieldName(value), taskName(value), textOf(value));
    encode(value, textOf(value), splice.bytes);
    return splice;
}

void SplicedDocument::saveTo(const ByteSink& sink) const {
    const QByteArrayView bytes(m_bytes);
    qint64 copied = 0;
    QByteArray encoded;  // one buffer for every changed value
    for (const StoredValue& value : m_values) {
        if (!value.changed) continue;
        CheckCharacters(fieldName(value), taskName(value), textOf(value));
        encoded.resize(0);
        encode(value, textOf(value), encoded);
        sink(bytes.sliced(copied, value.begin - copied));
        sink(encoded);
        copied = value.end;
    }
    sink(bytes.sliced(copied));
}

std::vector<Splice> SplicedDocument::splices() const {
    std::vector<Splice> result;
    for (const StoredValue& value : m_values)
        if (value.changed) result.push_back(spliceOf(value));
    return result;
}

}  // namespace quillmere::builtin
