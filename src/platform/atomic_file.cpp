#include "platform/atomic_file.h"

#include "platform/failure.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <csignal>
#include <limits>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

#ifdef Q_OS_LINUX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <set>
#endif

namespace quillmere {
namespace {

Failure SaveFailure(const QString& path, const QString& reason) {
    return Failure(errors::kPathFileAccess,
                   QStringLiteral("%1 could not be saved: %2").arg(path, reason));
}

void SaveSynced(const QString& path, const std::function<void(const ByteSink&)>& write) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) throw SaveFailure(path, file.errorString());
    // Given up (a throw) before commit(), the temporary file is removed.
    write([&](QByteArrayView bytes) {
        if (file.write(bytes.data(), bytes.size()) != bytes.size())
            throw SaveFailure(path, file.errorString());
    });
    // commit() does not notice a failure of the last flush (a full disk), so flush first.
    if (!file.flush() || !file.commit()) throw SaveFailure(path, file.errorString());
}

#ifdef Q_OS_LINUX

QString SystemError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

bool WriteAll(int fd, QByteArrayView bytes) {
    for (qsizetype written = 0; written < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + written, size_t(bytes.size() - written));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        written += n;
    }
    return true;
}

// The process's umask as the system shows it (Linux 4.7 and later), or -1.
int ShownMask() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    const QByteArray text = status.readAll();
    const qsizetype at = text.indexOf("\nUmask:");
    if (at < 0) return -1;
    const qsizetype start = at + 7;
    bool ok = false;
    const int mask = text.mid(start, text.indexOf('\n', start) - start).trimmed().toInt(&ok, 8);
    return ok ? mask : -1;
}

// The process's umask, read once. umask() reads it only by setting it: a file that another
// thread creates meanwhile (saves run on several threads) takes the wrong mode, and two such
// reads at once can leave the mask cleared for good.
mode_t CreationMask() {
    static const mode_t mask = [] {
        const int shown = ShownMask();
        if (shown >= 0) return mode_t(shown);
        const mode_t set = ::umask(0);
        ::umask(set);
        return set;
    }();
    return mask;
}

// The mode a new file gets (read and write for all, less the process's umask), or the mode of
// the file being replaced.
mode_t ModeFor(const QByteArray& target) {
    struct stat existing {};
    if (::stat(target.constData(), &existing) == 0) return existing.st_mode & 07777;
    return 0666 & ~CreationMask();
}

// Writes the pieces to fd through a buffer, so that many small pieces cost few system calls.
void WriteBuffered(int fd, const QString& path, const std::function<void(const ByteSink&)>& write) {
    const qsizetype kBuffer = 1 << 16;
    QByteArray buffer;
    buffer.reserve(kBuffer);
    const auto flush = [&] {
        if (!WriteAll(fd, buffer)) throw SaveFailure(path, SystemError());
        buffer.clear();
    };
    write([&](QByteArrayView bytes) {
        if (buffer.size() + bytes.size() > kBuffer) flush();
        if (bytes.size() >= kBuffer) {
            if (!WriteAll(fd, bytes)) throw SaveFailure(path, SystemError());
        } else {
            buffer.append(bytes);
        }
    });
    flush();
}

// A named temporary file beside the target, written and renamed over it without a sync.
// The file a save replaces: through a link (even one to no file yet), the file it leads to.
QFileInfo SaveTarget(const QString& path) {
    const QFileInfo info(path);
    if (!info.isSymLink()) return info;
    return QFileInfo(info.exists() ? info.canonicalFilePath() : info.symLinkTarget());
}

// A new file in folder with no name yet, so that a program that dies while writing it leaves
// nothing behind; or, where the file system cannot do that, a hidden one with a short name.
int OpenUnnamed(const QByteArray& folder, QByteArray& named) {
    const int fd = ::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd >= 0) return fd;
    named = folder + "/.quillmere-XXXXXX";
    return ::mkstemp(named.data());
}

// Puts the written file in place of the target in one step.
bool Commit(int fd, QByteArray& named, const QByteArray& folder, const QByteArray& target) {
    if (named.isEmpty()) {
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
        // Where no file is in the way, the file takes the target's name directly.
        if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, target.constData(), AT_SYMLINK_FOLLOW) ==
            0)
            return true;
        if (errno != EEXIST) return false;
        for (int attempt = 0; named.isEmpty() && attempt < 100; ++attempt) {
            const QByteArray candidate = folder + "/.quillmere-" + QByteArray::number(::getpid()) +
                                         "-" + QByteArray::number(attempt);
            if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, candidate.constData(),
                         AT_SYMLINK_FOLLOW) == 0)
                named = candidate;
            else if (errno != EEXIST)
                return false;
        }
        if (named.isEmpty()) return false;
    }
    return ::rename(named.constData(), target.constData()) == 0;
}

// As QSaveFile saves, without its sync.
void SaveDeferred(const QString& path, const std::function<void(const ByteSink&)>& write) {
    const QFileInfo real = SaveTarget(path);
    if (real.exists() && !real.isWritable())
        throw SaveFailure(path, QStringLiteral("Existing file %1 is not writable").arg(path));
    const QByteArray target = QFile::encodeName(real.absoluteFilePath());
    const QByteArray folder = QFile::encodeName(real.absolutePath());
    QByteArray named;
    const int fd = OpenUnnamed(folder, named);
    if (fd < 0) throw SaveFailure(path, SystemError());
    bool done = false;
    QString reason;
    try {
        if (::fchmod(fd, ModeFor(target)) != 0) throw SaveFailure(path, SystemError());
        WriteBuffered(fd, path, write);
        done = Commit(fd, named, folder, target);
        if (!done) reason = SystemError();
    } catch (...) {
        ::close(fd);
        if (!named.isEmpty()) ::unlink(named.constData());
        throw;
    }
    ::close(fd);
    if (done) return;
    if (!named.isEmpty()) ::unlink(named.constData());
    throw SaveFailure(path, reason);
}

#endif

}  // namespace

void SaveFileAtomically(const QString& path, const std::function<void(const ByteSink&)>& write,
                        Durability durability) {
#ifdef Q_OS_LINUX
    if (durability == Durability::Deferred) return SaveDeferred(path, write);
#endif
    SaveSynced(path, write);
}

void SaveFileAtomically(const QString& path, const QByteArray& bytes, Durability durability) {
    SaveFileAtomically(
        path, [&](const ByteSink& sink) { sink(bytes); }, durability);
}

void KeepRunningPastFileSizeLimit() {
#ifdef Q_OS_UNIX
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}

int OpenFilesLimit() {
#ifdef Q_OS_UNIX
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        return int(std::min<rlim_t>(limit.rlim_cur, std::numeric_limits<int>::max()));
#endif
    return std::numeric_limits<int>::max();
}

void SavedFiles::sync() {
    const std::lock_guard lock(m_mutex);
#ifdef Q_OS_LINUX
    // One sync of each file system that holds a saved file: its data, and the renames that put
    // the files in place.
    std::set<dev_t> synced;
    for (const QString& path : std::as_const(m_paths)) {
        // Through a link, the file system of the file it leads to.
        const QFileInfo saved(path);
        const QString real = saved.exists() ? saved.canonicalFilePath() : saved.absoluteFilePath();
        const QByteArray folder = QFile::encodeName(QFileInfo(real).absolutePath());
        const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY);
        if (fd < 0) continue;  // moved or deleted since: nothing of ours left to sync there
        struct stat info {};
        const bool done = ::fstat(fd, &info) == 0 && synced.count(info.st_dev);
        const bool ok = done || ::syncfs(fd) == 0;
        const QString error = ok ? QString() : SystemError();
        ::close(fd);
        if (!ok) throw SaveFailure(path, error);
        synced.insert(info.st_dev);
    }
#endif
    m_paths.clear();
}

}  // namespace quillmere
