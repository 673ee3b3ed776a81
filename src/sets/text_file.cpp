#include "sets/text_file.h"

#include "paths/path_routines.h"
#include "platform/failure.h"
#include "platform/file_system.h"
#include "sets/code_page.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QStringTokenizer>
#include <QtEndian>

#include <algorithm>
#include <new>

namespace quillmere {
namespace {

// The 16-bit units after a byte-order mark; a last odd byte is dropped.
QString FromUtf16(QByteArrayView bytes, bool bigEndian) {
    QString text(bytes.size() / 2, Qt::Uninitialized);
    QChar* out = text.data();
    for (qsizetype i = 0; i + 1 < bytes.size(); i += 2)
        *out++ = QChar(bigEndian ? qFromBigEndian<quint16>(bytes.data() + i)
                                 : qFromLittleEndian<quint16>(bytes.data() + i));
    return text;
}

bool IsOrdinaryFile(quint32 attributes) {
    return (attributes & (attr::kDirectory | attr::kHidden | attr::kSystem | attr::kDevice)) == 0;
}

bool AnyFileMatches(FileSystem& files, const QString& path) {
    QString folder = GetFolderPath(path);
    if (folder.isEmpty()) folder = QStringLiteral(".");
    const FolderListing listing = files.list(folder, GetFileName(path));
    return std::any_of(listing.files.cbegin(), listing.files.cend(),
                       [](const FoundEntry& file) { return IsOrdinaryFile(file.attributes); });
}

}  // namespace

QString DecodeText(const QByteArray& bytes) {
    // Only a whole mark: a Windows-1252 text may well start with the byte 0xFE or 0xFF.
    if (bytes.startsWith("\xFF\xFE")) return FromUtf16(bytes.sliced(2), false);
    if (bytes.startsWith("\xFE\xFF")) return FromUtf16(bytes.sliced(2), true);
    if (bytes.startsWith("\xEF\xBB\xBF")) return QString::fromUtf8(bytes.sliced(3));
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError()) return text;
    return FromWindows1252(bytes);
}

QString ReadTextFile(FileSystem& files, const QString& path) {
    if (!FileExists(files, path)) return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(errors::kPathFileAccess,
                      QStringLiteral("%1 could not be opened: %2").arg(path, file.errorString()));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw Failure(errors::kPathFileAccess,
                      QStringLiteral("%1 could not be read: %2").arg(path, file.errorString()));
    return DecodeText(bytes);
}

SetPair SplitPair(const QString& line, const QString& separator) {
    const qsizetype first = line.indexOf(separator);
    if (first < 0) return {line, QString()};
    const qsizetype start = first + separator.size();
    const qsizetype second = line.indexOf(separator, start);
    return {line.left(first), line.mid(start, second < 0 ? -1 : second - start)};
}

QList<SetPair> PairsOfText(QString text, const QString& separator) {
    text.remove(QLatin1Char('\r'));
    QList<SetPair> pairs;
    // The lines where they lie: a string of its own for each would take the text's size again.
    for (const QStringView line : qTokenize(text, u'\n')) {
        if (!line.isEmpty() && line.contains(separator))
            pairs << SplitPair(line.toString(), separator);
    }
    return pairs;
}

QList<SetPair> ReadSetFile(FileSystem& files, const QString& path, const QString& separator) {
    try {
        return PairsOfText(ReadTextFile(files, path), separator);
    } catch (const std::bad_alloc&) {
        throw Failure(errors::kOutOfMemory,
                      QStringLiteral("%1 (%2 MB) is too large to be read as a set file: it does "
                                     "not fit into the memory this program may take.")
                          .arg(path)
                          .arg(QFileInfo(path).size() / 1000000));
    }
}

bool FileMatches(FileSystem& files, const QString& path) {
    try {
        if (path.contains(QLatin1Char('*')) || path.contains(QLatin1Char('?')))
            return AnyFileMatches(files, path);
        return IsOrdinaryFile(files.attributes(path));
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace quillmere
