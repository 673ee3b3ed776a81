#include "host/builtin/spliced_document.h"

#include "host/builtin/unit_blocks.h"
#include "platform/failure.h"
#include "platform/large_pages.h"

#include <QStringDecoder>

#include <algorithm>
#include <cstring>
#include <string_view>

namespace quillmere::builtin {
namespace {

#if defined(__GNUC__)

// Sixteen bytes, which GCC and Clang compile to the processor's vector instructions (SSE2 on
// x86-64, NEON on ARM).
using Lanes = uchar __attribute__((vector_size(16)));

Lanes Broadcast(char byte) {
    Lanes lanes;
    for (int i = 0; i < 16; ++i) lanes[i] = uchar(byte);
    return lanes;
}

Lanes LoadLanes(const char* at) {
    Lanes lanes;
    std::memcpy(&lanes, at, sizeof lanes);
    return lanes;
}

// Where needle next occurs in bytes from from on, or -1. Sixty-four places at a time are ruled out
// with a few vector operations wherever the needle's first and last bytes are not both found,
// which in text is nearly everywhere: a hundred searches cost less than reading the file.
qsizetype IndexOf(QByteArrayView bytes, QByteArrayView needle, qsizetype from) {
    const qsizetype size = needle.size();
    if (size == 0 || from + size > bytes.size()) return -1;
    const char* data = bytes.data();
    const auto matchesAt = [&](qsizetype at) {
        return data[at] == needle[0] && std::memcmp(data + at, needle.data(), size_t(size)) == 0;
    };
    const Lanes first = Broadcast(needle[0]), last = Broadcast(needle[size - 1]);
    // 0xFF in each lane where the place at that lane holds both bytes.
    const auto both = [&](const char* at) {
        return Lanes((LoadLanes(at) == first) & (LoadLanes(at + size - 1) == last));
    };
    const qsizetype block = 64;
    qsizetype at = from;
    for (; at + size - 1 + block <= bytes.size(); at += block) {
        const Lanes any =
            both(data + at) | both(data + at + 16) | both(data + at + 32) | both(data + at + 48);
        quint64 halves[2];
        std::memcpy(halves, &any, sizeof halves);
        if ((halves[0] | halves[1]) == 0) continue;
        for (qsizetype i = at; i < at + block; ++i)
            if (matchesAt(i)) return i;
    }
    for (; at + size <= bytes.size(); ++at)
        if (matchesAt(at)) return at;
    return -1;
}

#else

qsizetype IndexOf(QByteArrayView bytes, QByteArrayView needle, qsizetype from) {
    if (needle.isEmpty() || from + needle.size() > bytes.size()) return -1;
    const std::string_view haystack(bytes.data(), size_t(bytes.size()));
    const size_t at =
        haystack.find(std::string_view(needle.data(), size_t(needle.size())), size_t(from));
    return at == std::string_view::npos ? -1 : qsizetype(at);
}

#endif

// Makes room for size characters (or bytes) in the store without moving it again, in large pages.
template <typename Store>
void Reserve(Store& store, qsizetype size) {
    store.reserve(size);
    PreferLargePages(store.constData(), store.capacity() * qsizetype(sizeof(*store.constData())));
}

}  // namespace

qsizetype SplicedDocument::growTexts(qsizetype size) {
    const qsizetype at = m_texts.size();
    // A later part's texts lie from m_sharedFrom on, and the store must not move under them (the
    // terminating null that QString writes after its characters included).
    if (at + size >= m_sharedFrom)
        throw Failure(
            errors::kOverflow,
            QStringLiteral("The texts of a file's first part reach those of its second."));
    // Positions in the store are 32-bit; replacements that keep lengthening values stop here.
    if (at + size > kLargestStore)
        throw Failure(errors::kOverflow,
                      QStringLiteral("The replacements make the tasks' texts longer than "
                                     "Quillmere can hold (%1 characters).")
                          .arg(kLargestStore));
    // The values' texts read from a file take no more characters than the file has bytes: for a
    // large file that much is reserved at once, so that the store is never copied while the file
    // is read (for a moment, that would hold both copies), and only the part written takes
    // memory. Replacements that lengthen texts beyond that grow it by half again or more.
    const auto grow = [&](auto& store) {
        const qsizetype first = m_bytes.size() > (1 << 20) ? m_bytes.size() : 1024;
        if (store.capacity() < at + size) Reserve(store, qMax(at + size, qMax(first, at + at / 2)));
        store.resize(at + size);
    };
    grow(m_texts);
    if (!m_index.isEmpty()) {
        // Zero until the value's text is folded into it at the next search; a text that moves
        // again before then leaves its first place unwritten, and searched.
        grow(m_index);
        std::fill(m_index.begin() + at, m_index.end(), '\0');
    }
    return at;
}

const QByteArray& SplicedDocument::searchIndex() {
    if (m_index.size() != m_texts.size()) {
        Reserve(m_index, m_texts.capacity());
        // Its bytes for the characters never written are neither written nor searched.
        m_index.resize(m_texts.size());
        forWrittenTexts(
            [&](QStringView texts, qsizetype at) { FoldCaseToBytes(texts, m_index.data() + at); });
    } else {
        for (const quint32 index : m_staleInIndex) {
            const StoredValue& value = m_values[index];
            FoldCaseToBytes(textOf(value), m_index.data() + value.textAt);
        }
    }
    m_staleInIndex.clear();
    return m_index;
}

void SplicedDocument::addValue(StoredValue value, QStringView text) {
    value.textAt = growTexts(text.size());
    value.textSize = text.size();
    std::copy(text.begin(), text.end(), m_texts.begin() + value.textAt);
    m_values.push_back(std::move(value));
}

void SplicedDocument::shareStore(SplicedDocument& later, qsizetype from) {
    Q_ASSERT(m_texts.isEmpty() && from <= m_bytes.size());
    Reserve(m_texts, m_bytes.size());
    m_sharedFrom = from;
    later.m_shared = SharedStore{m_texts.data(), from, m_bytes.size()};
}

void SplicedDocument::storeUtf8(StoredValue& value, QByteArrayView utf8) {
    m_utf8.resetState();
    // UTF-8 never takes fewer bytes than UTF-16 takes code units.
    if (m_shared) {
        if (m_shared->limit - m_shared->end < utf8.size())
            throw Failure(errors::kOverflow,
                          QStringLiteral("The texts of a file's second part reach its end."));
        QChar* start = m_shared->texts + m_shared->end;
        value.textAt = qint32(m_shared->end);
        value.textSize = qint32(m_utf8.appendToBuffer(start, utf8) - start);
        m_shared->end += value.textSize;
        return;
    }
    value.textAt = qint32(growTexts(utf8.size()));
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
    Q_ASSERT(later.m_shared && later.m_shared->texts == m_texts.constData());
    // The store takes the later part's texts where they are.
    m_unwritten = {m_texts.size(), m_sharedFrom};
    m_texts.resize(later.m_shared->end);
    m_sharedFrom = kNotShared;
    std::vector<int> fields;
    for (const QString& name : later.m_fieldNames) fields.push_back(fieldKey(name));
    // Its tasks in order, as this document would have met them.
    std::vector<int> tasks;
    qint32 start = 0;
    for (const qint32 end : later.m_taskEnds) {
        tasks.push_back(taskKey(QStringView(later.m_taskNames).sliced(start, end - start)));
        start = end;
    }
    const auto ownKeys = [&](StoredValue value) {
        value.fieldKey = qint16(fields[value.fieldKey]);
        value.taskKey = tasks[value.taskKey];
        return value;
    };
    for (const StoredValue& value : later.m_values) m_values.push_back(ownKeys(value));
    for (const LeftAlone& left : later.m_leftAlone)
        m_leftAlone.push_back({ownKeys(left.value), left.text, left.why});
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
    // The characters never written between two parts' texts take no memory.
    const qsizetype stored = m_texts.size() - (m_unwritten.to - m_unwritten.from);
    if (stored <= 2 * m_liveTexts + 4096) return;
    QString texts;
    texts.reserve(m_liveTexts + m_liveTexts / 2 + 1024);
    for (StoredValue& value : m_values) {
        const qsizetype at = texts.size();
        texts.append(textOf(value));
        value.textAt = qint32(at);
    }
    m_texts = std::move(texts);
    m_unwritten = {};
    m_index = QByteArray();  // made again at the next search
    m_staleInIndex.clear();
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
    if (!m_index.isEmpty()) m_staleInIndex.push_back(quint32(index));
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
    // Every place in the index where the find text may start, whether case is matched or not,
    // each one mapped to the value it starts in. The replacement then looks in each such value
    // itself: a place that spans two values, or that only a hash byte of the index matched,
    // makes a candidate that holds nothing.
    QByteArray needle(found.find.size(), Qt::Uninitialized);
    FoldCaseToBytes(found.find, needle.data());
    size_t hint = 0;
    // Takes the value that holds the place, if any; where to search on.
    const auto take = [&](qsizetype at) {
        const auto index = valueAt(at, hint);
        if (!index) return at + 1;
        found.byField[m_values[*index].fieldKey].push_back(quint32(*index));
        return qsizetype(m_values[*index].textAt + m_values[*index].textSize);
    };
    if (m_searched) {
        const QByteArrayView index(searchIndex());
        forWrittenTexts([&](QStringView texts, qsizetype offset) {
            const QByteArrayView part = index.sliced(offset, texts.size());
            for (qsizetype at = IndexOf(part, needle, 0); at >= 0;)
                at = IndexOf(part, needle, take(offset + at) - offset);
        });
        return;
    }
    // The first search makes the index a piece at a time and keeps none of it: a document that
    // one pair is replaced in never holds the index (half the store's size) at all.
    m_searched = true;
    const qsizetype piece = 1 << 16;
    QByteArray bytes(piece + needle.size(), Qt::Uninitialized);
    qsizetype from = 0;
    forWrittenTexts([&](QStringView texts, qsizetype offset) {
        for (qsizetype start = 0; start < texts.size(); start += piece) {
            // The piece and as much after it as an occurrence that starts in it may take.
            const qsizetype length = std::min(piece + needle.size() - 1, texts.size() - start);
            FoldCaseToBytes(texts.sliced(start, length), bytes.data());
            const QByteArrayView folded(bytes.constData(), length);
            const qsizetype base = offset + start;
            for (qsizetype at = IndexOf(folded, needle, std::max(from - base, qsizetype(0)));
                 at >= 0;)
                at = IndexOf(folded, needle, (from = take(base + at)) - base);
        }
    });
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
    const int changed = replaceInValues(field, find, replacement, matchCase);
    if (!m_leftAlone.empty() && !find.isEmpty())
        reportLeftAlone(field, TextReplacer(find, storedReplacement(field, replacement), matchCase),
                        changed);
    return changed;
}

void SplicedDocument::reportLeftAlone(const QString& field, const TextReplacer& replacer,
                                      int changed) const {
    QStringList left;
    for (const LeftAlone& value : m_leftAlone)
        if (fieldName(value.value) == field && replacer.apply(value.text))
            left << QStringLiteral("the %1 of task %2 was left as it was: %3")
                        .arg(field, taskName(value.value), value.why);
    if (left.isEmpty()) return;
    QString description = left.join(QStringLiteral("; "));
    description[0] = description[0].toUpper();
    throw PartlyReplaced(errors::kHostInvalidArgument, description + QLatin1Char('.'), changed);
}

int SplicedDocument::replaceInValues(const QString& field, const QString& find,
                                     const QString& replacement, bool matchCase) {
    const auto key = m_fieldKeys.constFind(field);
    if (key == m_fieldKeys.cend() || find.isEmpty()) return 0;
    const std::vector<quint32>& inField = candidates(find, matchCase).byField[*key];
    if (inField.empty()) return 0;
    const QString stored = storedReplacement(field, replacement);
    const TextReplacer replacer(find, stored, matchCase);
    const bool carriageReturn = stored.contains(QLatin1Char('\r'));
    int changed = 0;
    // Ignoring case, the occurrences are found in the candidate's case-folded text with a plain
    // search.
    const bool folded = !matchCase && !HasSurrogate(find);
    QString text, foldedText;  // buffers for every value's new text and folded text
    for (const quint32 index : inField) {
        const QStringView current = textOf(m_values[index]);
        if (folded) {
            foldedText.resize(current.size());
            FoldCase(current, foldedText.data());
        }
        const bool found = folded ? replacer.applyFolded(current, foldedText, text)
                                  : replacer.apply(current, text);
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

// Where the first half of a UTF-16 surrogate pair without its other half is, or -1. It stands for
// no character, and no encoding can write it.
qsizetype LoneSurrogate(QStringView text) {
    // Texts rarely hold a surrogate, and every changed text is checked: first, all at once.
    if (!KindsIn(text, [](char16_t u) { return char16_t((u & 0xF800) == 0xD800); })) return -1;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        else if (text[i].isSurrogate())
            return i;
    }
    return -1;
}

}  // namespace

void SplicedDocument::checkCharacters(const StoredValue& value) const {
    const QStringView text = textOf(value);
    if (const qsizetype at = LoneSurrogate(text); at >= 0)
        throw Failure(errors::kNotAProjectFile,
                      QStringLiteral("The field %1 of task %2 holds half a character (the "
                                     "lone surrogate U+%3), which cannot be saved.")
                          .arg(fieldName(value), taskName(value))
                          .arg(QString::number(text[at].unicode(), 16).toUpper()));
}

Splice SplicedDocument::spliceOf(const StoredValue& value) const {
    Splice splice{value.begin, value.end, {}};
    checkCharacters(value);
    encode(value, textOf(value), splice.bytes);
    return splice;
}

void SplicedDocument::saveTo(const ByteSink& sink) const {
    const QByteArrayView bytes(m_bytes);
    qint64 copied = 0;
    QByteArray encoded;  // one buffer for every changed value
    for (const StoredValue& value : m_values) {
        if (!value.changed) continue;
        checkCharacters(value);
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
