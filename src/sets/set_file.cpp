#include "sets/set_file.h"

#include "paths/path_routines.h"
#include "platform/atomic_file.h"
#include "platform/failure.h"
#include "sets/code_page.h"
#include "sets/text_file.h"

#include <QtEndian>

namespace quillmere {
namespace {

QString SetFileText(const QStringList& finds, const QStringList& replacements) {
    QString text;
    for (qsizetype i = 0; i < finds.size(); ++i) {
        if (i >= replacements.size())
            throw Failure(errors::kInvalidIndex, QStringLiteral("Invalid property array index"));
        text += finds[i] + QLatin1String("::") + replacements[i] + QLatin1String("\r\n");
    }
    return text;
}

QByteArray Utf16LittleEndianWithMark(QStringView text) {
    QByteArray bytes(2 * (text.size() + 1), Qt::Uninitialized);
    qToLittleEndian<quint16>(0xFEFF, bytes.data());
    for (qsizetype i = 0; i < text.size(); ++i)
        qToLittleEndian<quint16>(text[i].unicode(), bytes.data() + 2 * (i + 1));
    return bytes;
}

}  // namespace

QByteArray SetFileBytes(const QStringList& finds, const QStringList& replacements) {
    const QString text = SetFileText(finds, replacements);
    // Windows-1252 only when the reader gives the same text back: a start that forms a
    // byte-order mark reads as UTF-16, and bytes that happen to form UTF-8 read as UTF-8.
    const std::optional<QByteArray> ansi = ToWindows1252(text);
    if (ansi && DecodeText(*ansi) == text) return *ansi;
    return Utf16LittleEndianWithMark(text);
}

void SaveSetFile(FileSystem& files, Dialogs& dialogs, const QString& path, const QStringList& finds,
                 const QStringList& replacements) {
    if (!ConfirmOverwrite(files, dialogs, path)) return;
    SaveEditedFile(path, SetFileBytes(finds, replacements));
}

}  // namespace quillmere
