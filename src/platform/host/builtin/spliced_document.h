#pragma once

#include "platform/host/builtin/project_document.h"

#include <QHash>

#include <vector>

namespace quillmere::builtin {

// One editable value of a file: the byte range it was read from and its current text.
struct StoredValue {
    qint64 begin = 0;  // bytes [begin, end) of the file
    qint64 end = 0;
    QString field;  // catalogue name
    QString task;   // how messages name the task: its unique ID
    QString text;
    bool changed = false;
    // Every replacement text that changed the value: a character the file did not hold came in
    // through one of these.
    QString replacements;
    // How the value was written, so that a new value keeps the form: Project XML CDATA, an MPX
    // quoted field, an MPX task note.
    bool cdata = false;
    bool quoted = false;
    bool note = false;
};

// A document saved by splicing: the original bytes, with only the changed values rewritten in
// the format's own encoding.
class SplicedDocument : public ProjectDocument {
  public:
    int replace(const QString& field, const QString& find, const QString& replacement,
                bool matchCase) final;
    QStringList values(const QString& field) const final;
    QByteArray save() const final;

  protected:
    // Orders the values by position and indexes them by field; call once they are all read.
    void indexValues();
    // The bytes that stand for a changed value; throws Failure when it cannot be written.
    virtual QByteArray encode(const StoredValue& value) const = 0;
    // A replacement as the field stores it, for a format that holds some characters its own way.
    virtual QString storedReplacement(const QString& field, const QString& replacement) const {
        Q_UNUSED(field);
        return replacement;
    }

    QByteArray m_bytes;
    std::vector<StoredValue> m_values;

  private:
    QHash<QString, std::vector<size_t>> m_byField;
};

}  // namespace quillmere::builtin
