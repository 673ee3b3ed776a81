#pragma once

#include "platform/host/builtin/spliced_document.h"

#include <memory>

namespace quillmere::builtin {

// A Project XML (MSPDI) file: the free-text values of its tasks, each with the byte range of
// the element content it came from, so that saving rewrites nothing else.
class XmlProjectDocument : public SplicedDocument {
  public:
    // Throws Failure, naming the file, when the bytes are not a Project XML document.
    static std::unique_ptr<XmlProjectDocument> Parse(const QByteArray& bytes,
                                                     const QString& fileName);

    // Whether the bytes start like an XML document: a byte order mark or white space, then "<",
    // in UTF-8 or UTF-16.
    static bool LooksLikeXml(const QByteArray& bytes);

    enum class Encoding { Utf8, Utf16LE, Utf16BE };

  private:
    friend class XmlScanner;
    void encode(const StoredValue& value, QStringView text, QByteArray& out) const override;

    Encoding m_encoding = Encoding::Utf8;
};

}  // namespace quillmere::builtin
