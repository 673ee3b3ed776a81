#include "platform/file_reading.h"

#include "platform/reading_failures.h"

#include <QFile>
#include <QFileInfo>

namespace quillmere {

QByteArray ReadRegularFile(const QString& path, qint64 limit, SourceFile* source) {
    using namespace reading_failures;
    Q_UNUSED(source);
    if (!QFileInfo(path).isFile()) throw NotAFile(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) throw NotOpened(path, file.errorString());
    const QByteArray bytes = file.read(limit + 1);
    if (file.error() != QFileDevice::NoError) throw NotRead(path, file.errorString());
    return bytes;
}

}  // namespace quillmere
