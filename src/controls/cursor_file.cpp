#include "controls/cursor_file.h"

#include "platform/failure.h"

#include <QFile>
#include <QPixmap>
#include <QtEndian>

namespace quillmere {

QCursor LoadCursorFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(errors::kFileNotFound, file.errorString() + QStringLiteral(": ") + path);
    const QByteArray bytes = file.readAll();
    QPixmap image;
    if (!image.loadFromData(bytes, "CUR") && !image.loadFromData(bytes))
        throw Failure(errors::kInvalidPicture, QStringLiteral("Invalid picture: ") + path);
    // A pointer file (type 2) keeps its hotspot where an icon file keeps other data; an icon
    // points with its centre.
    int hotX = image.width() / 2;
    int hotY = image.height() / 2;
    if (bytes.size() >= 14 && qFromLittleEndian<quint16>(bytes.constData() + 2) == 2) {
        hotX = qFromLittleEndian<quint16>(bytes.constData() + 10);
        hotY = qFromLittleEndian<quint16>(bytes.constData() + 12);
    }
    return QCursor(image, qBound(0, hotX, image.width() - 1), qBound(0, hotY, image.height() - 1));
}

}  // namespace quillmere
