#include "platform/file_system.h"

#include <algorithm>

namespace quillmere {
namespace {

// The length a UTF-8 sequence starting with this byte has; 0 for a byte that starts none.
int SequenceLength(unsigned char lead) {
    if (lead < 0x80) return 1;
    if ((lead & 0xE0) == 0xC0) return 2;
    if ((lead & 0xF0) == 0xE0) return 3;
    if ((lead & 0xF8) == 0xF0) return 4;
    return 0;
}

}  // namespace

QString EscapedName(QByteArrayView bytes) {
    QString shown;
    for (qsizetype at = 0; at < bytes.size();) {
        const qsizetype length = SequenceLength(static_cast<unsigned char>(bytes[at]));
        const QByteArrayView sequence = bytes.sliced(at, std::min(length, bytes.size() - at));
        // The decoder turns an overlong form, a surrogate or a cut sequence into U+FFFD, which
        // does not encode back to the same bytes.
        const QString decoded = QString::fromUtf8(sequence);
        if (length > 0 && sequence.size() == length && decoded.toUtf8() == sequence) {
            shown += decoded;
            at += length;
        } else {
            const uint byte = static_cast<unsigned char>(bytes[at]);
            shown +=
                QStringLiteral("\\x") + QString::number(byte, 16).rightJustified(2, u'0').toUpper();
            ++at;
        }
    }
    return shown;
}

}  // namespace quillmere
