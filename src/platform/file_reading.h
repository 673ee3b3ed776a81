#pragma once

#include <QByteArray>
#include <QString>

namespace quillmere {

// What a file was when it was read: where a result made from it comes from. A result is never
// more readable than its source, and never takes its source's place.
struct SourceFile {
    bool known = false;
    quint32 mode = 0;  // the permission bits
    quint32 group = 0;
    quint64 device = 0;
    quint64 inode = 0;
};

// The whole of a regular file, or its first limit + 1 bytes when it is larger. The opening
// never waits, so a named pipe or a device put where a file was cannot stop the program; anything
// but a regular file is refused. Throws Failure that names the path.
// source, when given, is told what the file was.
QByteArray ReadRegularFile(const QString& path, qint64 limit, SourceFile* source = nullptr);

}  // namespace quillmere
