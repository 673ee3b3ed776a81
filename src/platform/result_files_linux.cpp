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

namespace quillmere {
namespace {

using result_names::HiddenName;
using result_names::HiddenPrefix;
using result_names::MachineTag;
using result_names::SaveFailure;

// A name in an open folder, and the folder's path.
struct Place {
    int folder = -1;
    QByteArray name;
    QByteArray text;
};

const QString kIsTheSource = QStringLiteral(
    "it is the file the project was opened from, and Quillmere never writes over a "
    "source file");

bool IsTheSource(const struct stat& existing, const SourceFile& source) {
    return source.known && quint64(existing.st_dev) == source.device &&
           quint64(existing.st_ino) == source.inode;
}

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

// Why a rename cannot put a file in place of the existing entry, found without writing: a
// folder whose entries may only be added to or not changed at all, an entry that may not be
// changed, a file system mounted at the name, or another user's entry in a shared sticky folder.
// Empty when nothing stands in the way.
QString Unreplaceable(const Place& place, const struct stat& existing) {
    struct statx folder {
    }, entry{};
    const unsigned locked = STATX_ATTR_IMMUTABLE | STATX_ATTR_APPEND;
    const bool known = ::statx(place.folder, "", AT_EMPTY_PATH, STATX_BASIC_STATS, &folder) == 0 &&
                       ::statx(place.folder, place.name.constData(), AT_SYMLINK_NOFOLLOW,
                               STATX_BASIC_STATS, &entry) == 0;
    if (!known) return {};
    if ((folder.stx_attributes | entry.stx_attributes) & locked) return SystemError(EPERM);
    // Where the system does not say which entries are mounts, another device tells it (not on an
    // overlay, whose files show devices other than their folders').
    const bool mounted = (entry.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT)
                             ? (entry.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0
                             : entry.stx_dev_major != folder.stx_dev_major ||
                                   entry.stx_dev_minor != folder.stx_dev_minor;
    if (mounted) return QStringLiteral("another file system is mounted at that path");
    const uid_t user = ::geteuid();
    if ((folder.stx_mode & S_ISVTX) && user != 0 && existing.st_uid != user &&
        folder.stx_uid != user)
        return SystemError(EPERM);
    return {};
}

// What is at the name in the folder now, checked without following a link: nothing, or a regular
// file that may be written and is not the source. With replacesOlder, anything but a folder and
// the source (a link, a read-only file) is replaced by the rename that names the result, never
// written through, where the rename can replace it. Anything else is refused.
void CheckTarget(const QString& path, const Place& place, const SourceFile& source,
                 bool replacesOlder, struct stat& existing) {
    if (::fstatat(place.folder, place.name.constData(), &existing, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno != ENOENT) throw SaveFailure(path, SystemError());
        existing = {};
        return;
    }
    if (S_ISDIR(existing.st_mode)) throw SaveFailure(path, SystemError(EISDIR));
    if (IsTheSource(existing, source)) throw SaveFailure(path, kIsTheSource);
    const QString unreplaceable = Unreplaceable(place, existing);
    if (!unreplaceable.isEmpty()) throw SaveFailure(path, unreplaceable);
    if (replacesOlder) return;
    if (S_ISLNK(existing.st_mode))
        throw SaveFailure(path, QStringLiteral("a link is in its place, and a result is never "
                                               "written through a link"));
    if (!S_ISREG(existing.st_mode))
        throw SaveFailure(path, QStringLiteral("something that is not a file is in its place"));
    if (::faccessat(place.folder, place.name.constData(), W_OK, AT_EACCESS) != 0)
        throw SaveFailure(path, QStringLiteral("Existing file %1 is not writable").arg(path));
}

// A result is never readable by more people than its source: the source's permission bits (never
// the set-user, set-group and sticky bits), limited by the creation mask, and the group's only
// where the result belongs to the source's group. Without a known source, a replaced file of the
// user's own keeps its mode, and anything else gets the mode of a plain new file.
mode_t ResultMode(const SourceFile& source, gid_t resultGroup, const struct stat& existing,
                  mode_t mask) {
    if (source.known) {
        const mode_t mode = mode_t(source.mode) & 0777 & ~mask;
        return gid_t(source.group) == resultGroup ? mode : mode & ~mode_t(070);
    }
    if (S_ISREG(existing.st_mode) && existing.st_uid == ::geteuid()) return existing.st_mode & 0777;
    return 0666 & ~mask;
}

// A file system that keeps no permission bits (FAT, as on a USB stick) refuses to change them;
// the result is saved all the same.
bool SetMode(int fd, mode_t mode) {
    if (::fchmod(fd, mode) == 0) return true;
    return errno == EPERM || errno == ENOSYS || errno == EOPNOTSUPP;
}

// A new file in the folder with no name, so that a program that dies while writing it leaves
// nothing behind; or, where the file system cannot do that, one under a hidden name of this
// process's.
int OpenUnnamed(int folder, const QByteArray& prefix, bool unnamed, QByteArray& named) {
    if (unnamed) {
        const int fd = ::openat(folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
        const bool unsupported = errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL;
        if (fd >= 0 || !unsupported) return fd;
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        named = HiddenName(prefix);
        const int file = ::openat(folder, named.constData(),
                                  O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (file >= 0 || errno != EEXIST) return file;
    }
    named.clear();
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

// A result written in full, waiting for its name in its open folder. The descriptor stays open
// until then: a sync through it reports a failed write-back that happened since the file was made.
struct Written {
    int fd = -1;
    Place place;       // in the run's open folder, which is not this result's to close
    QByteArray named;  // its hidden name in the folder, where it has one
    QByteArray prefix;
    SourceFile source;
};

// Writes the whole file in the target's folder; what is at the target now must be nothing or a
// file that may be written. Throws Failure naming path.
Written WriteBeside(const QString& path, const std::function<void(const ByteSink&)>& write,
                    const SaveSettings& settings, const Place& place, const SourceFile& source,
                    bool replacesOlder) {
    Written written{-1, place, {}, settings.prefix, source};
    struct stat existing {};
    CheckTarget(path, place, source, replacesOlder, existing);
    written.fd = OpenUnnamed(place.folder, written.prefix, settings.unnamed, written.named);
    if (written.fd < 0) throw SaveFailure(path, SystemError());
    try {
        struct stat made {};
        if (::fstat(written.fd, &made) != 0) throw SaveFailure(path, SystemError());
        if (!SetMode(written.fd, ResultMode(source, made.st_gid, existing, settings.mask)))
            throw SaveFailure(path, SystemError());
        WriteBuffered(written.fd, path, write);
    } catch (...) {
        ::close(written.fd);
        if (!written.named.isEmpty()) ::unlinkat(place.folder, written.named.constData(), 0);
        throw;
    }
    return written;
}

// Gives the written file the target's name in its folder, replacing what is there (never through
// a link, never the source). An error text, empty when done.
QString Name(Written& written) {
    if (written.named.isEmpty()) {
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(written.fd);
        // Where nothing is in the way, the file takes the target's name directly.
        if (::linkat(AT_FDCWD, self.constData(), written.place.folder,
                     written.place.name.constData(), AT_SYMLINK_FOLLOW) == 0)
            return {};
        if (errno != EEXIST) return SystemError();
        for (int attempt = 0; written.named.isEmpty() && attempt < 100; ++attempt) {
            const QByteArray candidate = HiddenName(written.prefix);
            if (::linkat(AT_FDCWD, self.constData(), written.place.folder, candidate.constData(),
                         AT_SYMLINK_FOLLOW) == 0)
                written.named = candidate;
            else if (errno != EEXIST)
                return SystemError();
        }
        if (written.named.isEmpty()) return SystemError(EEXIST);
    }
    struct stat existing {};
    if (::fstatat(written.place.folder, written.place.name.constData(), &existing,
                  AT_SYMLINK_NOFOLLOW) == 0 &&
        IsTheSource(existing, written.source))
        return kIsTheSource;
    if (::renameat(written.place.folder, written.named.constData(), written.place.folder,
                   written.place.name.constData()) != 0)
        return SystemError();
    return {};
}

void Drop(Written& written) {
    if (written.fd >= 0) ::close(written.fd);
    written.fd = -1;
    if (!written.named.isEmpty()) ::unlinkat(written.place.folder, written.named.constData(), 0);
    written.named.clear();
}

// syncfs() of the file system that holds the open file; an error text, empty when done.
QString SyncFileSystem(int fd) {
    return ::syncfs(fd) == 0 ? QString() : SystemError();
}

dev_t DeviceOf(int fd) {
    struct stat info {};
    return ::fstat(fd, &info) == 0 ? info.st_dev : dev_t(0);
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

// Hidden files that this machine's processes left in the folder when they died mid-save.
void RemoveStaleFiles(int folder, const QString& machineTag) {
    const QRegularExpression ours(
        QStringLiteral("\\A\\.quillmere-%1-([1-9][0-9]*)-[0-9a-z]{6}(\\.[^./]+)?\\z")
            .arg(machineTag));
    const int listed = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = listed < 0 ? nullptr : ::fdopendir(listed);
    if (!dir) {
        if (listed >= 0) ::close(listed);
        return;
    }
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] != '.') continue;
        if (IsStale(folder, entry->d_name, ours)) ::unlinkat(folder, entry->d_name, 0);
    }
    ::closedir(dir);
}

}  // namespace

// The folders that a run's results go to, each resolved once, when a result is first saved or
// removed there, as its path meant it then. Every later step works through the open folder, so a
// folder renamed away, or a link put in its place, cannot send a result or a removal elsewhere;
// such a folder fails every later result there. Only so many stay open at once (a run beside
// each source may meet thousands): one closed meanwhile is opened again only if its path still
// leads to the same folder.
struct ResultFiles::Folders {
    struct Pinned {
        int fd = -1;
        dev_t device = 0;
        ino_t inode = 0;
        bool replaced = false;
        int users = 0;  // results written there and not yet named or dropped
        quint64 used = 0;
    };

    ~Folders() { close(); }

    // The open folder of path and its name there, held until release().
    Place place(const QString& path, const QString& machineTag) {
        const QFileInfo info(path);
        Place place{-1, QFile::encodeName(info.fileName()), QFile::encodeName(info.absolutePath())};
        if (place.name.isEmpty()) throw SaveFailure(path, SystemError(EISDIR));
        const std::lock_guard lock(mutex);
        const auto found = pinned.find(place.text);
        Pinned& folder = found == pinned.end() ? pin(path, place.text, machineTag) : found->second;
        if (!folder.replaced) stillLeadsThere(path, place.text, folder);
        if (folder.replaced)
            throw SaveFailure(path, QStringLiteral("its folder %1 was replaced while the run "
                                                   "went on (renamed, or a link put in its "
                                                   "place), so nothing more is saved there")
                                        .arg(QFile::decodeName(place.text)));
        ++folder.users;
        folder.used = ++clock;
        place.folder = folder.fd;
        return place;
    }

    void release(const Place& place) {
        const std::lock_guard lock(mutex);
        const auto found = pinned.find(place.text);
        if (found != pinned.end()) --found->second.users;
    }

    // Keeps a descriptor on the file system of a named result (a folder of an overlay may show
    // another device than its files), for the sync at the end of the run.
    void keepForSync(dev_t device, int fd) {
        const std::lock_guard lock(mutex);
        if (!syncs.count(device)) syncs.emplace(device, ::fcntl(fd, F_DUPFD_CLOEXEC, 0));
    }

    // syncfs() of the device's file system; an error text, empty when done.
    QString sync(dev_t device) {
        const std::lock_guard lock(mutex);
        const auto found = syncs.find(device);
        if (found != syncs.end() && found->second >= 0) return SyncFileSystem(found->second);
        // No descriptor could be kept: every file system then.
        ::sync();
        return {};
    }

    void close() {
        const std::lock_guard lock(mutex);
        for (const auto& [text, folder] : pinned)
            if (folder.fd >= 0) ::close(folder.fd);
        for (const auto& [device, fd] : syncs)
            if (fd >= 0) ::close(fd);
        pinned.clear();
        syncs.clear();
        open = 0;
    }

  private:
    // Whether the folder's path still leads to the folder; one closed meanwhile is opened again.
    // Marks it replaced when the path leads elsewhere or nowhere; throws on any other failure.
    void stillLeadsThere(const QString& path, const QByteArray& text, Pinned& folder) {
        struct stat now {};
        int fd = -1;
        if (folder.fd >= 0) {
            if (::stat(text.constData(), &now) != 0) return failedToFind(path, folder);
        } else {
            closeTheLeastUsed();
            fd = Open(text, now);
            if (fd < 0) return failedToFind(path, folder);
        }
        folder.replaced = now.st_dev != folder.device || now.st_ino != folder.inode;
        if (fd < 0) return;
        if (folder.replaced) {
            ::close(fd);
            return;
        }
        folder.fd = fd;
        ++open;
    }

    static void failedToFind(const QString& path, Pinned& folder) {
        if (errno != ENOENT && errno != ENOTDIR && errno != ELOOP)
            throw SaveFailure(path, SystemError());
        folder.replaced = true;
    }

    // Held by its path, as it is reached now: a folder the user may write in but not list will
    // do. Every step works relative to it.
    static int Open(const QByteArray& text, struct stat& info) {
        const int fd = ::open(text.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0 && ::fstat(fd, &info) != 0) {
            const int error = errno;
            ::close(fd);
            errno = error;
            return -1;
        }
        return fd;
    }

    // Opens the folder as its path means it now, and removes what died mid-save there.
    Pinned& pin(const QString& path, const QByteArray& text, const QString& machineTag) {
        closeTheLeastUsed();
        struct stat info {};
        const int fd = Open(text, info);
        if (fd < 0) throw SaveFailure(path, SystemError());
        ++open;
        RemoveStaleFiles(fd, machineTag);
        return pinned.emplace(text, Pinned{fd, info.st_dev, info.st_ino, false, 0, 0})
            .first->second;
    }

    void closeTheLeastUsed() {
        while (open >= mostOpen) {
            Pinned* least = nullptr;
            for (auto& [text, folder] : pinned)
                if (folder.fd >= 0 && folder.users == 0 && (!least || folder.used < least->used))
                    least = &folder;
            if (!least) return;
            ::close(least->fd);
            least->fd = -1;
            --open;
        }
    }

    const qsizetype mostOpen = MostPending();
    std::mutex mutex;
    std::map<QByteArray, Pinned> pinned;
    std::map<dev_t, int> syncs;
    qsizetype open = 0;
    quint64 clock = 0;
};

// A result that has its name, for the sync at the end of the run.
struct ResultFiles::Named {
    QString path;
    dev_t device;
};

struct ResultFiles::Pending {
    QString path;
    Written written;
    dev_t device;
};

struct ResultFiles::Settings : SaveSettings {};

ResultFiles::ResultFiles()
    : m_settings(std::make_unique<Settings>()), m_folders(std::make_unique<Folders>()) {}

// Results not committed by the end of their run (a run that was never synced) keep no name.
ResultFiles::~ResultFiles() {
    for (Pending& pending : m_pending) Drop(pending.written);
}

void ResultFiles::save(const QString& path, const std::function<void(const ByteSink&)>& write,
                       const SourceFile& source) {
    const Place place = m_folders->place(path, m_settings->machineTag);
    Written written;
    try {
        written = WriteBeside(path, write, *m_settings, place, source, m_replacesOlder);
    } catch (...) {
        m_folders->release(place);
        throw;
    }
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
    const std::lock_guard commitLock(m_commitMutex);
    commitPending();
}

void ResultFiles::trial(const QString& path, const std::function<void(const ByteSink&)>& write,
                        const SourceFile& source) {
    const Place place = m_folders->place(path, m_settings->machineTag);
    try {
        Written written = WriteBeside(path, write, *m_settings, place, source, m_replacesOlder);
        Drop(written);
    } catch (...) {
        m_folders->release(place);
        throw;
    }
    m_folders->release(place);
}

void ResultFiles::remove(const QString& path) {
    const Place place = m_folders->place(path, m_settings->machineTag);
    struct stat existing {};
    const bool there =
        ::fstatat(place.folder, place.name.constData(), &existing, AT_SYMLINK_NOFOLLOW) == 0;
    const int error = there ? (::unlinkat(place.folder, place.name.constData(), 0) == 0 ? 0 : errno)
                            : (errno == ENOENT ? 0 : errno);
    m_folders->release(place);
    if (error != 0) throw SaveFailure(path, SystemError(error));
}

void ResultFiles::setReplacesOlderEntries(bool replaces) {
    m_replacesOlder = replaces;
}

QHash<QString, QString> ResultFiles::commit() {
    const std::lock_guard commitLock(m_commitMutex);
    commitPending();
    QHash<QString, QString> failures;
    const std::lock_guard lock(m_mutex);
    failures.swap(m_failures);
    return failures;
}

// The data of every file first, with one sync of each file system; then the names. The failures
// are kept before the commit lock is let go, so that no commit after this one can miss them.
void ResultFiles::commitPending() {
    std::vector<Pending> pending;
    {
        const std::lock_guard lock(m_mutex);
        pending.swap(m_pending);
    }
    // Through the first file saved on each: the sync then reports a write-back that failed since.
    std::map<dev_t, QString> syncErrors;
    for (const Pending& p : pending)
        if (!syncErrors.count(p.device)) syncErrors[p.device] = SyncFileSystem(p.written.fd);
    QHash<QString, QString> failures;
    std::vector<Named> named;
    for (Pending& p : pending) {
        QString error = syncErrors[p.device];
        if (error.isEmpty()) error = Name(p.written);
        if (error.isEmpty()) {
            p.written.named.clear();
            m_folders->keepForSync(p.device, p.written.fd);
            named.push_back(Named{p.path, p.device});
        } else {
            failures.insert(p.path, SaveFailure(p.path, error).description());
        }
        Drop(p.written);
        m_folders->release(p.written.place);
    }
    const std::lock_guard lock(m_mutex);
    m_failures.insert(failures);
    m_named.insert(m_named.end(), named.begin(), named.end());
}

// One sync of each file system that results were named on; a failure names every one of them.
void ResultFiles::sync() {
    const QHash<QString, QString> failures = commit();
    std::vector<Named> named;
    {
        const std::lock_guard lock(m_mutex);
        named.swap(m_named);
    }
    QStringList errors(failures.begin(), failures.end());
    std::map<dev_t, QString> syncErrors;
    for (const Named& result : named) {
        if (!syncErrors.count(result.device))
            syncErrors[result.device] = m_folders->sync(result.device);
        const QString& error = syncErrors[result.device];
        if (!error.isEmpty()) errors << SaveFailure(result.path, error).description();
    }
    // The next run resolves its folders anew, as their paths mean them then.
    m_folders->close();
    if (!errors.isEmpty()) {
        errors.sort();
        throw Failure(errors::kPathFileAccess, errors.join(QStringLiteral("; ")));
    }
}

}  // namespace quillmere
