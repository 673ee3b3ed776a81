#pragma once

#include "host/builtin/spliced_document.h"
#include "host/builtin/xml_two_parts.h"

#include <functional>
#include <limits>
#include <memory>
#include <optional>

namespace quillmere::builtin {

// Parses one piece of a file (the last one when the flag says so) and answers how many of the
// bytes given so far the parser holds back unread, a token that they do not finish; nothing
// when the bytes are refused.
using PieceParser = std::function<std::optional<qint64>(QByteArrayView piece, bool last)>;

// Hands the bytes to a parser that reads a token left unfinished by one piece again from its
// start with the next, in pieces that keep the parser's copy of them small and grow with such a
// token, so that one token of any size is read again as few times as the file is read: the time
// stays linear in the file's size. False when the parser refuses a piece.
bool FeedInPieces(QByteArrayView bytes, bool final, const PieceParser& parse);

// A Project XML (MSPDI) file: the free-text values of its tasks, each with the byte range of
// the element content it came from, so that saving rewrites nothing else.
class XmlProjectDocument : public SplicedDocument {
  public:
    // A UTF-8 file from this size on is read in two parts at once, where it can be, on a
    // machine of more than one core.
    static constexpr qsizetype kTwoPartsFrom = qsizetype(2) << 20;
    // No file is read in two parts: a thread that works beside others takes no second one.
    static constexpr qsizetype kOnePartOnly = std::numeric_limits<qsizetype>::max();

    // Throws Failure, naming the file, when the bytes are not a Project XML document.
    static std::unique_ptr<XmlProjectDocument> Parse(const QByteArray& bytes,
                                                     const QString& fileName,
                                                     qsizetype twoPartsFrom = kOnePartOnly);

    // Whether the bytes start like an XML document: a byte order mark or white space, then "<",
    // in UTF-8 or UTF-16.
    static bool LooksLikeXml(const QByteArray& bytes);

    enum class Encoding { Utf8, Utf16LE, Utf16BE };

    // Whether the file was read in two parts at once: a split that turns out not to be clean
    // leaves it read in one, which only the time shows otherwise.
    bool readInTwoParts() const { return m_readInTwoParts; }

  private:
    friend class XmlScanner;
    // Reads the document in two parts on two threads; false (and doc to be read again) when the
    // file does not split as its bytes suggested, is not well-formed, is refused, or a part throws:
    // reading it in one part then says why.
    static bool TryTwoParts(XmlProjectDocument& doc, const QString& fileName,
                            const SplitPoints& at);
    void encode(const StoredValue& value, QStringView text, QByteArray& out) const override;

    Encoding m_encoding = Encoding::Utf8;
    bool m_readInTwoParts = false;
};

}  // namespace quillmere::builtin
