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
    QByteArray save() const {
        QByteArray bytes;
        saveTo([&bytes](QByteArrayView piece) { bytes.append(piece); });
        return bytes;
    }
    // What save() puts in place of the original bytes: one splice per changed value, in file
    // order; every byte outside them is copied as it is. Throws Failure as save() does.
    virtual std::vector<Splice> splices() const = 0;
};

// Replaces every occurrence of one find text, left to right, in many values. Case-insensitive
// matching folds case across all of Unicode.
class TextReplacer {
  public:
    TextReplacer(const QString& find, const QString& replacement, bool matchCase);
    // The text with every occurrence replaced, or nothing when that leaves it as it was.
    std::optional<QString> apply(QStringView text) const;
    // Whether find occurs in text.
    bool occursIn(QStringView text) const {
        return !m_find.isEmpty() && m_matcher.indexIn(text) >= 0;
    }

  private:
    QString m_find;
    QString m_replacement;
    QStringMatcher m_matcher;
};

}  // namespace quillmere::builtin
