#include "platform/file_reading.h"

#include "platform/large_pages.h"
#include "platform/reading_failures.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace quillmere {
namespace {

using namespace reading_failures;

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

}  // namespace

QByteArray ReadRegularFile(const QString& path, qint64 limit, SourceFile* source) {
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) throw NotOpened(path, SystemError());
    try {
        struct stat info {};
        if (::fstat(fd, &info) != 0) throw NotOpened(path, SystemError());
        if (!S_ISREG(info.st_mode)) throw NotAFile(path);
        if (source)
            *source = SourceFile{true, quint32(info.st_mode & 0777), quint32(info.st_gid),
                                 quint64(info.st_dev), quint64(info.st_ino)};
        // A regular file reads as usual from here on.
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        QByteArray bytes = ReadAll(fd, path, info.st_size, limit);
        ::close(fd);
        return bytes;
    } catch (...) {
        ::close(fd);
        throw;
    }
}

}  // namespace quillmere
