#pragma once

#include "host/builtin/spliced_document.h"

#include <memory>

namespace quillmere::builtin {

struct CodePage;

// An MPX 4.0 file: the free-text fields of its task records (by the field numbers of record
// 61) and the task notes (record 71), each with the byte range it came from.
class MpxProjectDocument : public SplicedDocument {
  public:
    MpxProjectDocument();
    ~MpxProjectDocument() override;
    // Throws Failure, naming the file, when the bytes are not an MPX file it can read.
    static std::unique_ptr<MpxProjectDocument> Parse(const QByteArray& bytes,
                                                     const QString& fileName);

  private:
    friend class MpxScanner;
    void encode(const StoredValue& value, QStringView text, QByteArray& out) const override;
    QString storedReplacement(const QString& field, const QString& replacement) const override;

    char m_separator = ',';
    QByteArray m_codec;                        // the ICU name of the file's code page
    mutable std::unique_ptr<CodePage> m_page;  // its converters, once a value is written
};

}  // namespace quillmere::builtin
