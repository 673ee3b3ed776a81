#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringMatcher>

namespace quillmere::builtin {

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
    // The file's bytes with the changed values. Throws Failure when a value cannot be written.
    virtual QByteArray save() const = 0;
};

// Replaces every occurrence of one find text, left to right, in many values. Case-insensitive
// matching folds case across all of Unicode.
class TextReplacer {
  public:
    TextReplacer(const QString& find, const QString& replacement, bool matchCase);
    // True when text changed.
    bool apply(QString& text) const;

  private:
    QString m_find;
    QString m_replacement;
    QStringMatcher m_matcher;
};

}  // namespace quillmere::builtin
