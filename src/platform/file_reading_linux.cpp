#include "platform/file_reading.h"

#include "platform/large_pages.h"
#include "platform/reading_failures.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <deque>

namespace quillmere {
namespace {

using namespace reading_failures;

QString SystemError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Closes a descriptor when it goes.
struct Held {
    int fd = -1;
    ~Held() {
        if (fd >= 0) ::close(fd);
    }
    void take(int other) {
        if (fd >= 0) ::close(fd);
        fd = other;
    }
};

// A path's parts, in order, without empty and "." parts.
void PrependParts(std::deque<QByteArray>& parts, const QByteArray& text) {
    const QList<QByteArray> split = text.split('/');
    for (auto part = split.crbegin(); part != split.crend(); ++part)
        if (!part->isEmpty() && *part != ".") parts.push_front(*part);
}

// The rule the system keeps for links in a shared sticky folder (such as /tmp), kept here as well,
// since the links are followed here: only a link of this user's or of the folder's owner's.
bool MayFollow(int folder, const struct stat& link, uid_t user) {
    struct stat shared {};
    if (::fstat(folder, &shared) != 0) return false;
    const bool sticky = (shared.st_mode & S_ISVTX) && (shared.st_mode & S_IWOTH);
    return !sticky || link.st_uid == user || link.st_uid == shared.st_uid;
}

// What a source path leads to, resolved one part at a time relative to the folder reached so far,
// so that a link swapped meanwhile cannot slip past the check. The owners of the links on the way
// that are neither this user nor root, and the last part, opened without following a link and
// without waiting; -1 with errno set on failure.
int OpenResolved(const QByteArray& path, std::vector<uid_t>& othersLinks) {
    Held folder{::open(path.startsWith('/') ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC)};
    std::deque<QByteArray> parts;
    PrependParts(parts, path);
    const uid_t user = ::geteuid();
    for (int links = 0; folder.fd >= 0 && !parts.empty();) {
        const QByteArray name = parts.front();
        parts.pop_front();
        Held entry{::openat(folder.fd, name.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC)};
        struct stat info {};
        if (entry.fd < 0 || ::fstat(entry.fd, &info) != 0) return -1;
        if (S_ISLNK(info.st_mode)) {
            char text[PATH_MAX];
            const ssize_t size = ::readlinkat(entry.fd, "", text, sizeof text);
            if (size < 0) return -1;
            if (++links > 40) return errno = ELOOP, -1;
            if (size == ssize_t(sizeof text)) return errno = ENAMETOOLONG, -1;
            if (!MayFollow(folder.fd, info, user)) return errno = EACCES, -1;
            if (info.st_uid != user && info.st_uid != 0) othersLinks.push_back(info.st_uid);
            const QByteArray target(text, size);
            if (target.startsWith('/')) folder.take(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
            PrependParts(parts, target);
            continue;
        }
        if (parts.empty())
            return ::openat(folder.fd, name.constData(),
                            O_RDONLY | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC);
        if (!S_ISDIR(info.st_mode)) return errno = ENOTDIR, -1;
        folder.take(entry.fd);
        entry.fd = -1;
    }
    if (folder.fd >= 0) errno = EISDIR;
    return -1;
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
    std::vector<uid_t> othersLinks;
    const int fd = OpenResolved(QFile::encodeName(path), othersLinks);
    if (fd < 0) throw NotOpened(path, SystemError());
    try {
        struct stat info {};
        if (::fstat(fd, &info) != 0) throw NotOpened(path, SystemError());
        if (!S_ISREG(info.st_mode)) throw NotAFile(path);
        // Another user's link leads here only to a file of that user's own: a tree of theirs
        // must not lead this program to what they may not read (root's files, this user's).
        for (const uid_t owner : othersLinks)
            if (owner != info.st_uid)
                throw NotOpened(path, QStringLiteral("it is reached through a link of another "
                                                     "user to a file that is not theirs, so it "
                                                     "was not read"));
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
