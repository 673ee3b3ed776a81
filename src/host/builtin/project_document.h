#pragma once

#include "platform/atomic_file.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringMatcher>

#include <optional>
#include <vector>

namespace quillmere::builtin {

// A byte range of the opened file that saving rewrites, and the bytes written in its place.
struct Splice {
    qint64 begin = 0;  // bytes [begin, end) of the opened file
    qint64 end = 0;
    QByteArray bytes;
};

// One opened project file. Values are edited in memory; saving writes the file's original
// bytes with only the changed values rewritten.
class ProjectDocument {
  public:
    virtual ~ProjectDocument() = default;
    // Replaces every occurrence of find in the named catalogue field of every task that the
    // format stores as free text. Fields the format does not store as text are left alone.
    // The number of values that changed.
    virtual int replace(const QString& field, const QString& find, const QString& replacement,
                        bool matchCase) = 0;
    // The current values of a field, task by task, as the host edits them.
    virtual QStringList values(const QString& field) const = 0;
    // The file's bytes with the changed values, piece by piece into sink, or all at once.
    // Throws Failure when a value cannot be written.
    virtual void saveTo(const ByteSink& sink) const = 0;
    // For the checks that compare whole files, the tests' and the fuzz harness's; the program
    // itself saves through saveTo, never holding a whole result.
    QByteArray save() const {
        QByteArray bytes;
        saveTo([&bytes](QByteArrayView piece) { bytes.append(piece); });
        return bytes;
    }
    // What save() puts in place of the original bytes: one splice per changed value, in file
    // order; every byte outside them is copied as it is. Throws Failure as save() does. The fuzz
    // harness holds a save to it: only the changed values' bytes may differ from the file's.
    virtual std::vector<Splice> splices() const = 0;
};

// Replaces every occurrence of one find text, left to right, in many values. Case-insensitive
// matching folds case across all of Unicode.
class TextReplacer {
  public:
    TextReplacer(const QString& find, const QString& replacement, bool matchCase);
    // The text with every occurrence replaced, or nothing when that leaves it as it was.
    std::optional<QString> apply(QStringView text) const;
    // The same into result, whose memory is reused; false (and result undefined) when the text
    // stays as it was.
    bool apply(QStringView text, QString& result) const;
    // The same, ignoring case, for a find text without surrogates: the occurrences are found by
    // a plain search in folded, the text case-folded by FoldCase (at the same positions).
    bool applyFolded(QStringView text, QStringView folded, QString& result) const;

  private:
    bool replaceFound(QStringView text, QStringView searched, const QStringMatcher& matcher,
                      QString& result) const;

    QString m_find;
    QString m_replacement;
    QStringMatcher m_matcher;
    QString m_foldedFind;
    QStringMatcher m_foldedMatcher;
    // Whether every occurrence differs from the replacement, so that replacing one changes the
    // text without comparing it with what it was.
    bool m_alwaysChanges = false;
};

// Whether the text holds half of a surrogate pair, or both.
bool HasSurrogate(QStringView text);
// Case-folds one UTF-16 unit at a time into out (text.size() units), as matching that ignores
// case folds a text without surrogates; a surrogate is kept.
void FoldCase(QStringView text, QChar* out);
// Case-folds each UTF-16 unit as FoldCase does into one byte: the folded unit itself where it is
// ASCII, or else a hash of it from 0x80 up. Texts equal when folded give equal bytes, so a search
// of such bytes finds every place where matching that ignores case (or matching case) may find a
// text, and a few more.
void FoldCaseToBytes(QStringView text, char* out);

}  // namespace quillmere::builtin
