#include "platform/file_reading.h"

#include "platform/failure.h"
#include "platform/large_pages.h"

#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#endif

namespace quillmere {
namespace {

Failure NotOpened(const QString& path, const QString& reason) {
    return Failure(errors::kFileNotFound,
                   QStringLiteral("%1 could not be opened: %2").arg(path, reason));
}

Failure NotRead(const QString& path, const QString& reason) {
    return Failure(errors::kFileNotFound,
                   QStringLiteral("%1 could not be read: %2").arg(path, reason));
}

Failure NotAFile(const QString& path) {
    return NotOpened(path, QStringLiteral("it is not a regular file (a named pipe, a device or a "
                                          "socket, say), so it was not read"));
}

#ifdef Q_OS_UNIX

QString SystemError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Reads to the end, or up to one byte past the limit; the size the file had when opened is only
// a first guess.
QByteArray ReadAll(int fd, const QString& path, qint64 size, qint64 limit) {
    const qsizetype most = qsizetype(limit) + 1;
    QByteArray bytes;
    bytes.resize(std::min<qsizetype>(qsizetype(size) + 1, most));
    PreferLargePages(bytes.constData(), bytes.size());
    qsizetype filled = 0;
    while (filled < most) {
        if (filled == bytes.size()) bytes.resize(std::min<qsizetype>(filled * 2, most));
        const ssize_t n = ::read(fd, bytes.data() + filled, size_t(bytes.size() - filled));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw NotRead(path, SystemError());
        if (n == 0) break;
        filled += n;
    }
    bytes.truncate(filled);
    return bytes;
}

#endif

}  // namespace

QByteArray ReadRegularFile(const QString& path, qint64 limit) {
#ifdef Q_OS_UNIX
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) throw NotOpened(path, SystemError());
    try {
        struct stat info {};
        if (::fstat(fd, &info) != 0) throw NotOpened(path, SystemError());
        if (!S_ISREG(info.st_mode)) throw NotAFile(path);
        // A regular file reads as usual from here on.
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        QByteArray bytes = ReadAll(fd, path, info.st_size, limit);
        ::close(fd);
        return bytes;
    } catch (...) {
        ::close(fd);
        throw;
    }
#else
    if (!QFileInfo(path).isFile()) throw NotAFile(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) throw NotOpened(path, file.errorString());
    const QByteArray bytes = file.read(limit + 1);
    if (file.error() != QFileDevice::NoError) throw NotRead(path, file.errorString());
    return bytes;
#endif
}

}  // namespace quillmere
