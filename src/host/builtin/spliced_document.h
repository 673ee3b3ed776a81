#pragma once

#include "host/builtin/project_document.h"

#include <QHash>
#include <QStringDecoder>

#include <deque>
#include <limits>
#include <optional>
#include <vector>

namespace quillmere::builtin {

// One editable value of a file: the byte range it was read from and where its current text
// lies in the document's text store. A file opens only below 1 GB, so 32 bits hold every offset
// (a file has more values than anything else: they are kept small).
struct StoredValue {
    qint32 begin = 0;  // bytes [begin, end) of the file
    qint32 end = 0;
    qint32 textAt = 0;  // the text: characters [textAt, textAt + textSize) of the store
    qint32 textSize = 0;
    qint32 taskKey = 0;   // the task, by its number within the document
    qint16 fieldKey = 0;  // the field, by its number within the document
    bool changed : 1 = false;
    // A replacement holding a carriage return changed the value: that CR is not the file's own.
    bool carriageReturnReplaced : 1 = false;
    // How the value was written, so that a new value keeps the form: Project XML CDATA, an MPX
    // quoted field, an MPX task note.
    bool cdata : 1 = false;
    bool quoted : 1 = false;
    bool note : 1 = false;
};

// A document saved by splicing: the original bytes, with only the changed values rewritten in
// the format's own encoding. The texts of all values lie one after another in one store, and a
// byte per character of it, case-folded, in an index, so that one search of the index finds
// every value that may hold a find text: the walk over the fields then visits only those, and a
// find text that occurs nowhere costs that one search.
class SplicedDocument : public ProjectDocument {
  public:
    int replace(const QString& field, const QString& find, const QString& replacement,
                bool matchCase) final;
    QStringList values(const QString& field) const final;
    void saveTo(const ByteSink& sink) const final;
    std::vector<Splice> splices() const final;

  protected:
    // Adds a value whose text is given, or whose text storeUtf8 has put in the store.
    void addValue(StoredValue value, QStringView text);
    void addValue(const StoredValue& value) { m_values.push_back(value); }
    // A value that the format cannot rewrite: its text as it reads, and why.
    struct LeftAlone {
        StoredValue value;
        QString text;
        QString why;
    };
    // Keeps such a value, so that a Replace call that would change it says so.
    void leaveAlone(const StoredValue& value, QString text, QString why) {
        m_leftAlone.push_back({value, std::move(text), std::move(why)});
    }
    // Forgets the values, left alone or not, that start where keep says no.
    template <typename Keep>
    void keepValues(Keep keep) {
        std::erase_if(m_values, [&](const StoredValue& value) { return !keep(value.begin); });
        std::erase_if(m_leftAlone, [&](const LeftAlone& left) { return !keep(left.value.begin); });
    }
    // Puts a value's text, given as UTF-8, in the store, or in the store shared with it (a
    // U+FEFF at its start is a character of the value, not a byte order mark).
    void storeUtf8(StoredValue& value, QByteArrayView utf8);
    // The numbers of a field (by its catalogue name) and of a task (by how messages name it: its
    // unique ID) that values are added with.
    int fieldKey(const QString& name);
    int taskKey(QStringView label);
    const QString& fieldName(const StoredValue& value) const {
        return m_fieldNames[value.fieldKey];
    }
    QString taskName(const StoredValue& value) const;
    // Lets a document that reads the part of the same file from byte from on, beside this one,
    // decode its texts straight into this one's store, from character from on. A text takes no
    // more characters than its UTF-8 bytes, so this document's own texts, read from the bytes
    // before, end before that; should they not, the store does not move: growing them throws
    // Failure. Taking that document's values then copies no text.
    void shareStore(SplicedDocument& later, qsizetype from);
    // Adds the values of a document read from a later part of the same file, as if this one had
    // read them itself; their texts are in this one's store (shareStore).
    void appendValues(const SplicedDocument& later);
    // Orders the values by position and indexes them by field; call once they are all read.
    void indexValues();
    QStringView textOf(const StoredValue& value) const {
        return QStringView(m_texts).sliced(value.textAt, value.textSize);
    }
    // Appends the bytes that stand for a changed value to out; throws Failure when it cannot be
    // written.
    virtual void encode(const StoredValue& value, QStringView text, QByteArray& out) const = 0;
    // A replacement as the field stores it, for a format that holds some characters its own way.
    virtual QString storedReplacement(const QString& field, const QString& replacement) const {
        Q_UNUSED(field);
        return replacement;
    }

    QByteArray m_bytes;
    // In blocks: a file has more values than anything else, and a growing vector would hold
    // two copies of them for a moment.
    std::deque<StoredValue> m_values;

  private:
    int replaceInValues(const QString& field, const QString& find, const QString& replacement,
                        bool matchCase);
    // Throws PartlyReplaced, naming them, when the replacer would change values of the field
    // that were left alone; changed: what the call changed in the others.
    void reportLeftAlone(const QString& field, const TextReplacer& replacer, int changed) const;

    // The values that may hold one find text, ordered by field and position.
    struct Candidates {
        QString find;
        bool matchCase = false;
        quint64 generation = 0;
        std::vector<std::vector<quint32>> byField;  // value indexes, by field key
    };
    struct Slot {
        qint32 textAt;
        quint32 value;
    };

    void indexSlots();
    void compactTexts();
    // Makes room for size more characters at the end of the store; returns where they start.
    qsizetype growTexts(qsizetype size);
    void setText(size_t index, QStringView text);
    // Throws Failure, naming the field and task, when the value's text holds half a character.
    void checkCharacters(const StoredValue& value) const;
    // What a changed value is saved as; throws Failure when it cannot be written.
    Splice spliceOf(const StoredValue& value) const;
    const Candidates& candidates(const QString& find, bool matchCase);
    // Adds the values in which one search of the store finds the find text.
    void findInStore(Candidates& found);
    // The value whose current text holds the store's character at, if any.
    // The search starts at slot hint and leaves it where the value was found, so that a run of
    // increasing positions walks the slots once.
    std::optional<size_t> valueAt(qsizetype at, size_t& hint) const;

    // The index of the store: a byte for each of its characters (FoldCaseToBytes), made on the
    // second search. Half the store's size, it is searched at half the cost, without folding a
    // character per comparison, and finds a text whether its case matches or not.
    const QByteArray& searchIndex();

    static constexpr qsizetype kLargestStore = qsizetype(1) << 30;
    std::vector<LeftAlone> m_leftAlone;
    QString m_texts;
    qsizetype m_liveTexts = 0;  // characters of the values' current texts
    QByteArray m_index;
    bool m_searched =
        false;  // whether a find text was searched for: the next search makes the index
    // The values changed since the index was last searched: their bytes in it are brought up to
    // date at the next search, which the last pair of a run never makes.
    std::vector<quint32> m_staleInIndex;
    QStringDecoder m_utf8{QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom};
    // While a document reads a later part beside this one: where its texts start in this
    // store, and, in that document, where they end and how far they may reach.
    static constexpr qsizetype kNotShared = std::numeric_limits<qsizetype>::max();
    qsizetype m_sharedFrom = kNotShared;
    struct SharedStore {
        QChar* texts = nullptr;
        qsizetype end = 0;
        qsizetype limit = 0;
    };
    std::optional<SharedStore> m_shared;
    // The characters between the texts of a file's two parts, never written and held by no value.
    struct {
        qsizetype from = 0;
        qsizetype to = 0;
    } m_unwritten;
    // Calls read(texts, at) for the parts of the store that hold texts, where at is where texts
    // start: all of it but what was never written.
    template <typename Read>
    void forWrittenTexts(Read read) const {
        const QStringView all(m_texts);
        read(all.first(m_unwritten.from), 0);
        read(all.sliced(m_unwritten.to), m_unwritten.to);
    }
    // Where each value's text lies, by position in the store; a value whose text moved keeps a
    // stale entry, which valueAt skips.
    std::vector<Slot> m_slots;
    QHash<QString, int> m_fieldKeys;
    std::vector<QString> m_fieldNames;
    // The tasks' names one after another, and where each ends: a file may have many tasks.
    QString m_taskNames;
    std::vector<qint32> m_taskEnds;
    // Counts the changes to any value.
    quint64 m_generation = 0;
    std::optional<Candidates> m_candidates;
};

}  // namespace quillmere::builtin
