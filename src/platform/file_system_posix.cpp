#include "platform/failure.h"
#include "platform/file_system.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace quillmere {
namespace {

long ErrorNumberFor(int error) {
    switch (error) {
        case ENOENT:
            return errors::kFileNotFound;
        case ENOTDIR:
            return errors::kPathNotFound;
        case EACCES:
        case EPERM:
        case EROFS:
            return errors::kPermissionDenied;
        default:
            return errors::kPathFileAccess;
    }
}

[[noreturn]] void ThrowSystemError(int error, const QString& path) {
    throw Failure(ErrorNumberFor(error),
                  QString::fromLocal8Bit(std::strerror(error)) + QStringLiteral(": ") + path);
}

QByteArray Encoded(const QString& path) {
    if (path.isEmpty()) throw Failure(errors::kFileNotFound, QStringLiteral("File not found"));
    return QFile::encodeName(path);
}

quint32 AttributesOf(const struct stat& st, bool link, const QString& name);

struct stat LinkStatus(const QByteArray& name, const QString& path) {
    struct stat st {};
    if (::lstat(name.constData(), &st) != 0) ThrowSystemError(errno, path);
    return st;
}

}  // namespace

QDateTime NativeFileSystem::modificationTime(const QString& path) {
    const QByteArray name = Encoded(path);
    struct stat st {};
    if (::stat(name.constData(), &st) != 0) ThrowSystemError(errno, path);
    return QDateTime::fromSecsSinceEpoch(st.st_mtime);
}

quint32 NativeFileSystem::attributes(const QString& path) {
    const QByteArray name = Encoded(path);
    struct stat st = LinkStatus(name, path);
    const bool link = S_ISLNK(st.st_mode);
    struct stat target {};
    // A dangling link is still a reparse point; it has no type of its own.
    if (link && ::stat(name.constData(), &target) == 0) st = target;
    QString trimmed = path;
    while (trimmed.size() > 1 && trimmed.endsWith(QLatin1Char('/'))) trimmed.chop(1);
    QString fileName = trimmed.section(QLatin1Char('/'), -1);
    if (fileName == QLatin1String(".") || fileName == QLatin1String("..")) fileName.clear();
    return AttributesOf(st, link, fileName);
}

void NativeFileSystem::deleteFile(const QString& path) {
    const QByteArray name = Encoded(path);
    const struct stat st = LinkStatus(name, path);
    if (S_ISDIR(st.st_mode)) ThrowSystemError(EISDIR, path);
    // Windows refuses to delete a read-only file; the program relies on that distinction.
    if (!S_ISLNK(st.st_mode) && (st.st_mode & S_IWUSR) == 0)
        throw Failure(errors::kPathFileAccess, QStringLiteral("Path/File access error: ") + path);
    if (::unlink(name.constData()) != 0) ThrowSystemError(errno, path);
}

void NativeFileSystem::deleteFileForced(const QString& path) {
    const QByteArray name = Encoded(path);
    const struct stat st = LinkStatus(name, path);
    if (S_ISDIR(st.st_mode)) ThrowSystemError(EISDIR, path);
    if (::unlink(name.constData()) != 0) ThrowSystemError(errno, path);
}

// unlink() needs write and search access to the folder; in a sticky folder, the entry or the
// folder must be the user's own (root may do either).
void NativeFileSystem::checkDeletable(const QString& path) {
    const QByteArray name = Encoded(path);
    const struct stat st = LinkStatus(name, path);
    if (S_ISDIR(st.st_mode)) ThrowSystemError(EISDIR, path);
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    if (::faccessat(AT_FDCWD, folder.constData(), W_OK | X_OK, AT_EACCESS) != 0)
        ThrowSystemError(errno, path);
    struct stat parent {};
    if (::stat(folder.constData(), &parent) != 0) ThrowSystemError(errno, path);
    const uid_t user = ::geteuid();
    if ((parent.st_mode & S_ISVTX) && user != 0 && user != st.st_uid && user != parent.st_uid)
        ThrowSystemError(EPERM, path);
}

bool NativeFileSystem::sameFile(const QString& a, const QString& b) {
    if (a.isEmpty() || b.isEmpty()) return false;
    struct stat first {};
    struct stat second {};
    if (::stat(QFile::encodeName(a).constData(), &first) != 0) return false;
    if (::stat(QFile::encodeName(b).constData(), &second) != 0) return false;
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

QString NativeFileSystem::identity(const QString& path) {
    struct stat st {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &st) != 0) return {};
    return QString::number(st.st_dev) + QLatin1Char(':') + QString::number(st.st_ino);
}

QString NativeFileSystem::canonicalPath(const QString& path) {
    if (path.isEmpty()) return {};
    char* resolved = ::realpath(QFile::encodeName(path).constData(), nullptr);
    if (!resolved) return {};
    const QString canonical = QFile::decodeName(resolved);
    std::free(resolved);
    return canonical;
}

namespace {

// As many links as the kernel follows on one path before it gives up.
const int kMostLinks = 40;

// A link that neither this user nor the administrator made: its owner may have aimed it where
// only this program may read (root walking a user's tree, or one user another's).
bool IsOthersLink(const struct stat& st) {
    return st.st_uid != ::geteuid() && st.st_uid != 0;
}

std::optional<QByteArray> LinkText(const QByteArray& link) {
    char text[PATH_MAX];
    const ssize_t length = ::readlink(link.constData(), text, sizeof text);
    if (length < 0 || size_t(length) >= sizeof text) return std::nullopt;
    return QByteArray(text, length);
}

QByteArray ParentOf(const QByteArray& folder) {
    const qsizetype slash = folder.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : folder.left(slash);
}

// One part of the way: resolved, a folder without links, moves on by it, or the text of the link
// it names goes in front of the parts still to go. False for another user's link, and where the
// way cannot be followed.
bool FollowPart(const QByteArray& part, QByteArray& resolved, QByteArrayList& pending, int& links) {
    if (part.isEmpty() || part == ".") return true;
    if (part == "..") {
        resolved = ParentOf(resolved);
        return true;
    }
    const QByteArray next = (resolved == "/" ? QByteArray() : resolved) + '/' + part;
    struct stat st {};
    if (::lstat(next.constData(), &st) != 0) return false;
    if (!S_ISLNK(st.st_mode)) {
        resolved = next;
        return true;
    }
    const std::optional<QByteArray> text = LinkText(next);
    if (IsOthersLink(st) || ++links > kMostLinks || !text) return false;
    if (text->startsWith('/')) resolved = "/";
    pending = text->split('/') + pending;
    return true;
}

}  // namespace

// Resolved one part at a time, as the kernel resolves it, so that every link on the way is seen:
// the entry's own, those its text leads through, and those at the end of a chain.
bool NativeFileSystem::passesOthersLink(const QString& path) {
    const QFileInfo entry(path);
    char* folder = ::realpath(QFile::encodeName(entry.absolutePath()).constData(), nullptr);
    if (!folder) return true;
    QByteArray resolved(folder);
    std::free(folder);
    QByteArrayList pending{QFile::encodeName(entry.fileName())};
    int links = 0;
    while (!pending.isEmpty())
        if (!FollowPart(pending.takeFirst(), resolved, pending, links)) return true;
    return false;
}

namespace {

quint32 AttributesOf(const struct stat& st, bool link, const QString& name) {
    quint32 bits = link ? attr::kReparsePoint : 0;
    if (S_ISDIR(st.st_mode)) bits |= attr::kDirectory;
    if (S_ISREG(st.st_mode)) bits |= attr::kArchive;
    if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) bits |= attr::kDevice;
    if ((st.st_mode & S_IWUSR) == 0) bits |= attr::kReadOnly;
    if (name.startsWith(QLatin1Char('.'))) bits |= attr::kHidden;
    return bits;
}

// The name as text, or nothing when the bytes are not valid in the file-name encoding: the
// decoder would put a replacement character in, and that name would open nothing.
std::optional<QString> ReadableName(const char* raw) {
    QString name = QFile::decodeName(raw);
    if (name.contains(QChar::ReplacementCharacter) && QFile::encodeName(name) != raw)
        return std::nullopt;
    return name;
}

// Whether the entry is a symbolic link; a file system that does not give entry types needs a
// look of its own.
bool IsLink(int fd, const dirent& entry) {
    if (entry.d_type != DT_UNKNOWN) return entry.d_type == DT_LNK;
    struct stat st {};
    return ::fstatat(fd, entry.d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
}

// An entry whose name is not text is told by its escaped name when the listing would have given
// it: a folder, or a file the pattern takes.
void NoteUnreadable(int fd, const char* raw, const QString& filePattern, FolderListing& listing) {
    const QString name = EscapedName(raw);
    struct stat st {};
    if (::fstatat(fd, raw, &st, 0) != 0) return;
    const bool takenFile =
        S_ISREG(st.st_mode) && !filePattern.isEmpty() && WildcardMatch(filePattern, name);
    if (S_ISDIR(st.st_mode)) listing.unreadableFolders << name;
    if (takenFile) listing.unreadable << name;
}

void SortByName(QList<FoundEntry>& entries) {
    // The order a Windows file system gives: names ignoring case.
    std::sort(entries.begin(), entries.end(), [](const FoundEntry& a, const FoundEntry& b) {
        const int byCase = QString::compare(a.name, b.name, Qt::CaseInsensitive);
        return byCase != 0 ? byCase < 0 : a.name < b.name;
    });
}

}  // namespace

// One pass over the folder: each entry examined relative to the open folder, which spares the
// kernel a walk of the whole path for every entry.
FolderListing NativeFileSystem::list(const QString& folder, const QString& filePattern) {
    DIR* dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir) ThrowSystemError(errno, folder);
    const int fd = ::dirfd(dir);
    FolderListing listing;
    while (const dirent* entry = ::readdir(dir)) {
        const char* raw = entry->d_name;
        if (std::strcmp(raw, ".") == 0 || std::strcmp(raw, "..") == 0) continue;
        const std::optional<QString> readable = ReadableName(raw);
        if (!readable) {
            NoteUnreadable(fd, raw, filePattern, listing);
            continue;
        }
        const QString& name = *readable;
        // The entry's own type spares a look at files that the pattern rules out.
        const bool maybeFile = entry->d_type != DT_DIR;
        const bool wanted =
            entry->d_type != DT_REG || (!filePattern.isEmpty() && WildcardMatch(filePattern, name));
        if (!wanted) continue;
        struct stat st {};
        if (::fstatat(fd, raw, &st, 0) != 0) continue;
        FoundEntry found{
            name, AttributesOf(st, IsLink(fd, *entry), name),
            QString::number(st.st_dev) + QLatin1Char(':') + QString::number(st.st_ino)};
        if (S_ISDIR(st.st_mode))
            listing.folders.push_back(found);
        else if (S_ISREG(st.st_mode) && maybeFile && !filePattern.isEmpty() &&
                 WildcardMatch(filePattern, name))
            listing.files.push_back(found);
    }
    ::closedir(dir);
    SortByName(listing.folders);
    SortByName(listing.files);
    listing.unreadableFolders.sort();
    listing.unreadable.sort();
    return listing;
}

bool NativeFileSystem::isRootFolder(const QString& path) {
    QString trimmed = path;
    while (trimmed.size() > 1 && trimmed.endsWith(QLatin1Char('/'))) trimmed.chop(1);
    return trimmed == QLatin1String("/");
}

QString NativeFileSystem::desktopFolder() {
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (!desktop.isEmpty() && QFileInfo(desktop).isDir()) return desktop;
    return QDir::homePath();
}

QString NativeFileSystem::homeFolder() {
    return QDir::homePath();
}

}  // namespace quillmere
