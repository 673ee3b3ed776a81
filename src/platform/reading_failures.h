#pragma once

// The failures that reading a file reports, on every system.

#include "platform/failure.h"

#include <QString>

namespace quillmere::reading_failures {

inline Failure NotOpened(const QString& path, const QString& reason) {
    return Failure(errors::kFileNotFound,
                   QStringLiteral("%1 could not be opened: %2").arg(path, reason));
}

inline Failure NotRead(const QString& path, const QString& reason) {
    return Failure(errors::kFileNotFound,
                   QStringLiteral("%1 could not be read: %2").arg(path, reason));
}

inline Failure NotAFile(const QString& path) {
    return NotOpened(path, QStringLiteral("it is not a regular file (a named pipe, a device or a "
                                          "socket, say), so it was not read"));
}

}  // namespace quillmere::reading_failures
