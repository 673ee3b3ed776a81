#pragma once

#include <QByteArray>
#include <QString>

namespace quillmere {

// The whole of a regular file, or its first limit + 1 bytes when it is larger. The opening
// never waits, so a named pipe or a device put where a file was cannot stop the program; anything
// but a regular file is refused. Throws Failure that names the path.
QByteArray ReadRegularFile(const QString& path, qint64 limit);

}  // namespace quillmere
