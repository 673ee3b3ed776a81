#include "platform/result_files.h"

#include "platform/result_names.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <map>
#include <set>

namespace quillmere {
namespace {

using result_names::HiddenNameIn;
using result_names::HiddenPrefix;
using result_names::MachineTag;
using result_names::SaveFailure;

// At most this many results wait for their names at once, each with a file descriptor open: a
// quarter of what the open-files limit allows, and no more than 64.
qsizetype MostPending() {
    return std::clamp(OpenFilesLimit() / 4, 1, 64);
}
const auto kLongestWait = std::chrono::seconds(1);

QString SystemError(int error = errno) {
    return QString::fromLocal8Bit(std::strerror(error));
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

// The process's umask. umask() reads it only by setting it: a file that another thread creates
// meanwhile (saves run on several threads) would take the wrong mode.
mode_t CreationMask() {
    const int shown = ShownMask();
    if (shown >= 0) return mode_t(shown);
    const mode_t set = ::umask(0);
    ::umask(set);
    return set;
}

// What is at the target now, checked without following a link: nothing, or a regular file that
// may be written. The result keeps the permissions of the user's own file; never the set-user and
// set-group bits, nor anything of another user's file. Anything else is refused.
mode_t CheckedMode(const QString& path, const QByteArray& target, mode_t creationMask) {
    struct stat existing {};
    if (::lstat(target.constData(), &existing) != 0) {
        if (errno == ENOENT) return 0666 & ~creationMask;
        throw SaveFailure(path, SystemError());
    }
    if (S_ISLNK(existing.st_mode))
        throw SaveFailure(path, QStringLiteral("a link is in its place, and a result is never "
                                               "written through a link"));
    if (S_ISDIR(existing.st_mode)) throw SaveFailure(path, SystemError(EISDIR));
    if (!S_ISREG(existing.st_mode))
        throw SaveFailure(path, QStringLiteral("something that is not a file is in its place"));
    if (::faccessat(AT_FDCWD, target.constData(), W_OK, AT_EACCESS) != 0)
        throw SaveFailure(path, QStringLiteral("Existing file %1 is not writable").arg(path));
    if (existing.st_uid != ::geteuid()) return 0666 & ~creationMask;
    return existing.st_mode & 0777;
}

// A new file in folder with no name, so that a program that dies while writing it leaves nothing
// behind; or, where the file system cannot do that, one under a hidden name of this process's.
int OpenUnnamed(const QByteArray& folder, const QByteArray& prefix, bool unnamed,
                QByteArray& named) {
    if (unnamed) {
        const int fd = ::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
        const bool unsupported = errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL;
        if (fd >= 0 || !unsupported) return fd;
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        named = HiddenNameIn(folder, prefix);
        const int file = ::open(named.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
        if (file >= 0 || errno != EEXIST) return file;
    }
    return -1;
}

// What every save of a run shares: the creation mask, read once (umask() reads it only by
// setting it, and saves run on several threads), and the start of this process's hidden names.
struct SaveSettings {
    qsizetype mostPending = MostPending();
    // An unnamed file is named through /proc/self/fd; without /proc (a chroot, a small
    // container) results are written under hidden names instead.
    bool unnamed = ::access("/proc/self/fd", X_OK) == 0;
    mode_t mask = CreationMask();
    QString machineTag = MachineTag();
    QByteArray prefix = HiddenPrefix(machineTag);
};

// A result written in full, waiting for its name. The descriptor stays open until then: a sync
// through it reports a failed write-back that happened since the file was made.
struct Written {
    int fd = -1;
    QByteArray named;  // its hidden name, where it has one
    QByteArray target;
    QByteArray folder;
    QByteArray prefix;
};

// Writes the whole file in the target's folder. With checked, what is at the target now must be
// nothing or a file that may be written, whose mode the result keeps; otherwise the result is
// as a new file. Throws Failure naming path.
Written WriteBeside(const QString& path, const std::function<void(const ByteSink&)>& write,
                    const SaveSettings& settings, bool checked) {
    const QFileInfo info(path);
    Written written{-1,
                    {},
                    QFile::encodeName(info.absoluteFilePath()),
                    QFile::encodeName(info.absolutePath()),
                    settings.prefix};
    const mode_t mode =
        checked ? CheckedMode(path, written.target, settings.mask) : 0666 & ~settings.mask;
    written.fd = OpenUnnamed(written.folder, written.prefix, settings.unnamed, written.named);
    if (written.fd < 0) throw SaveFailure(path, SystemError());
    try {
        if (::fchmod(written.fd, mode) != 0) throw SaveFailure(path, SystemError());
        WriteBuffered(written.fd, path, write);
    } catch (...) {
        ::close(written.fd);
        if (!written.named.isEmpty()) ::unlink(written.named.constData());
        throw;
    }
    return written;
}

// Gives the written file the target's name, replacing what is there (never through a link).
bool Name(Written& written) {
    if (written.named.isEmpty()) {
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(written.fd);
        // Where nothing is in the way, the file takes the target's name directly.
        if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, written.target.constData(),
                     AT_SYMLINK_FOLLOW) == 0)
            return true;
        if (errno != EEXIST) return false;
        for (int attempt = 0; written.named.isEmpty() && attempt < 100; ++attempt) {
            const QByteArray candidate = HiddenNameIn(written.folder, written.prefix);
            if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, candidate.constData(),
                         AT_SYMLINK_FOLLOW) == 0)
                written.named = candidate;
            else if (errno != EEXIST)
                return false;
        }
        if (written.named.isEmpty()) return false;
    }
    return ::rename(written.named.constData(), written.target.constData()) == 0;
}

void Drop(Written& written) {
    if (written.fd >= 0) ::close(written.fd);
    written.fd = -1;
    if (!written.named.isEmpty()) ::unlink(written.named.constData());
    written.named.clear();
}

// syncfs() of the file system that holds the open file; an error text, empty when done.
QString SyncFileSystem(int fd) {
    return ::syncfs(fd) == 0 ? QString() : SystemError();
}

// The same for the file system that holds the folder.
QString SyncFileSystemOf(const QByteArray& folder) {
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return SystemError();
    const QString error = SyncFileSystem(fd);
    ::close(fd);
    return error;
}

dev_t DeviceOf(int fd) {
    struct stat info {};
    return ::fstat(fd, &info) == 0 ? info.st_dev : dev_t(0);
}

dev_t DeviceOf(const QByteArray& folder) {
    struct stat info {};
    return ::stat(folder.constData(), &info) == 0 ? info.st_dev : dev_t(0);
}

// Whether the hidden file is this machine's, of a process that no longer runs, and the user's.
bool IsStale(int folderFd, const char* name, const QRegularExpression& ours) {
    const QRegularExpressionMatch match = ours.match(QFile::decodeName(name));
    if (!match.hasMatch()) return false;
    const qint64 pid = match.captured(1).toLongLong();
    if (pid == QCoreApplication::applicationPid() || pid <= 0 || pid > 0x3FFFFFFF) return false;
    if (::kill(pid_t(pid), 0) == 0 || errno != ESRCH) return false;
    struct stat info {};
    return ::fstatat(folderFd, name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode) &&
           info.st_uid == ::geteuid();
}

}  // namespace

struct ResultFiles::Pending {
    QString path;
    Written written;
    dev_t device;
};

struct ResultFiles::Settings : SaveSettings {};

void SaveTrial(const QString& path, const std::function<void(const ByteSink&)>& write) {
    // What is at the path now is for the caller to check: a run removes it before it saves.
    Written written = WriteBeside(path, write, SaveSettings(), false);
    Drop(written);
}

ResultFiles::ResultFiles() : m_settings(std::make_unique<Settings>()) {}

// Results not committed by the end of their run (a run that was never synced) keep no name.
ResultFiles::~ResultFiles() {
    for (Pending& pending : m_pending) Drop(pending.written);
}

void ResultFiles::save(const QString& path, const std::function<void(const ByteSink&)>& write) {
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    removeStaleFilesOnce(folder);
    Written written = WriteBeside(path, write, *m_settings, true);
    // The disk starts on the data now, while the run goes on, so that the sync before the name
    // has little left to wait for.
    ::sync_file_range(written.fd, 0, 0, SYNC_FILE_RANGE_WRITE);
    const dev_t device = DeviceOf(written.fd);
    bool full = false;
    {
        const std::lock_guard lock(m_mutex);
        if (m_pending.empty()) m_oldest = std::chrono::steady_clock::now();
        m_pending.push_back(Pending{path, std::move(written), device});
        full = qsizetype(m_pending.size()) >= m_settings->mostPending ||
               std::chrono::steady_clock::now() - m_oldest >= kLongestWait;
    }
    if (!full) return;
    const QHash<QString, QString> failures = commit();
    const std::lock_guard lock(m_mutex);
    m_failures.insert(failures);
}

QHash<QString, QString> ResultFiles::commit() {
    const std::lock_guard commitLock(m_commitMutex);
    std::vector<Pending> pending;
    QHash<QString, QString> failures;
    {
        const std::lock_guard lock(m_mutex);
        pending.swap(m_pending);
        failures.swap(m_failures);
    }
    failures.insert(commitTaken(pending));
    return failures;
}

// The data of every file first, with one sync of each file system; then the names.
QHash<QString, QString> ResultFiles::commitTaken(std::vector<Pending>& pending) {
    // Through the first file saved on each: the sync then reports a write-back that failed since.
    std::map<dev_t, QString> syncErrors;
    for (const Pending& p : pending)
        if (!syncErrors.count(p.device)) syncErrors[p.device] = SyncFileSystem(p.written.fd);
    QHash<QString, QString> failures;
    QSet<QByteArray> named;
    for (Pending& p : pending) {
        QString error = syncErrors[p.device];
        if (error.isEmpty() && !Name(p.written)) error = SystemError();
        if (error.isEmpty()) {
            p.written.named.clear();
            named.insert(p.written.folder);
        } else {
            failures.insert(p.path, SaveFailure(p.path, error).description());
        }
        Drop(p.written);
    }
    const std::lock_guard lock(m_mutex);
    m_namedFolders.unite(named);
    return failures;
}

void ResultFiles::sync() {
    const QHash<QString, QString> failures = commit();
    QSet<QByteArray> folders;
    {
        const std::lock_guard lock(m_mutex);
        folders.swap(m_namedFolders);
    }
    QStringList errors(failures.begin(), failures.end());
    std::set<dev_t> synced;
    for (const QByteArray& folder : std::as_const(folders)) {
        const dev_t device = DeviceOf(folder);
        if (synced.count(device)) continue;
        synced.insert(device);
        const QString error = SyncFileSystemOf(folder);
        if (!error.isEmpty()) errors << SaveFailure(QFile::decodeName(folder), error).description();
    }
    if (!errors.isEmpty()) {
        errors.sort();
        throw Failure(errors::kPathFileAccess, errors.join(QStringLiteral("; ")));
    }
}

// Hidden files that this machine's processes left when they died mid-save; once a folder.
void ResultFiles::removeStaleFilesOnce(const QByteArray& folder) {
    {
        const std::lock_guard lock(m_mutex);
        if (m_cleanedFolders.contains(folder)) return;
        m_cleanedFolders.insert(folder);
    }
    const QRegularExpression ours(
        QStringLiteral("\\A\\.quillmere-%1-([1-9][0-9]*)-[0-9a-z]{6}(\\.[^./]+)?\\z")
            .arg(m_settings->machineTag));
    DIR* dir = ::opendir(folder.constData());
    if (!dir) return;
    const int fd = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] != '.') continue;
        if (IsStale(fd, entry->d_name, ours)) ::unlinkat(fd, entry->d_name, 0);
    }
    ::closedir(dir);
}

}  // namespace quillmere
