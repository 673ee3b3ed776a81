#include "sets/text_file.h"

#include "paths/path_routines.h"
#include "platform/failure.h"
#include "platform/file_system.h"
#include "sets/code_page.h"

#include <QFile>
#include <QStringDecoder>
#include <QtEndian>

#include <algorithm>

namespace quillmere {
namespace {

QString FromUtf16LittleEndian(const QByteArray& bytes) {
    QString text(bytes.size() / 2, Qt::Uninitialized);
    QChar* out = text.data();
    for (qsizetype i = 0; i + 1 < bytes.size(); i += 2)
        *out++ = QChar(qFromLittleEndian<quint16>(bytes.constData() + i));
    if (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);
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
    if (bytes.isEmpty()) return {};
    const auto first = static_cast<unsigned char>(bytes[0]);
    if (first == 0xFF || first == 0xFE) return FromUtf16LittleEndian(bytes);
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
    if (text.isEmpty()) return pairs;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        if (!line.isEmpty() && line.contains(separator)) pairs << SplitPair(line, separator);
    }
    return pairs;
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
