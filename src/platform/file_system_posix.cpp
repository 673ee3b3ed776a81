#include "platform/failure.h"
#include "platform/file_system.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillmere {
namespace {

long ErrorNumberFor(int error) {
    switch (error) {
        case ENOENT: return errors::kFileNotFound;
        case ENOTDIR: return errors::kPathNotFound;
        case EACCES:
        case EPERM:
        case EROFS: return errors::kPermissionDenied;
        default: return errors::kPathFileAccess;
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
    quint32 bits = 0;
    if (S_ISLNK(st.st_mode)) {
        bits |= attr::kReparsePoint;
        struct stat target {};
        // A dangling link is still a reparse point; it has no type of its own.
        if (::stat(name.constData(), &target) == 0) st = target;
    }
    if (S_ISDIR(st.st_mode)) bits |= attr::kDirectory;
    if (S_ISREG(st.st_mode)) bits |= attr::kArchive;
    if ((st.st_mode & S_IWUSR) == 0) bits |= attr::kReadOnly;
    QString trimmed = path;
    while (trimmed.size() > 1 && trimmed.endsWith(QLatin1Char('/'))) trimmed.chop(1);
    const QString fileName = trimmed.section(QLatin1Char('/'), -1);
    if (fileName.startsWith(QLatin1Char('.')) && fileName != QLatin1String(".") &&
        fileName != QLatin1String(".."))
        bits |= attr::kHidden;
    return bits;
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

namespace {

enum class Kind { Files, Folders };

// One pass over a folder with readdir, the entries' types from d_type where the file system
// gives it.
QStringList ListFolder(const QString& folder, Kind kind, const QString& pattern) {
    const QByteArray encoded = QFile::encodeName(folder);
    DIR* dir = ::opendir(encoded.constData());
    if (!dir) ThrowSystemError(errno, folder);
    QStringList names;
    while (const dirent* entry = ::readdir(dir)) {
        const char* raw = entry->d_name;
        if (std::strcmp(raw, ".") == 0 || std::strcmp(raw, "..") == 0) continue;
        bool isDir = entry->d_type == DT_DIR;
        bool isFile = entry->d_type == DT_REG;
        if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
            struct stat st {};
            const QByteArray full = encoded + '/' + raw;
            if (::stat(full.constData(), &st) != 0) continue;
            isDir = S_ISDIR(st.st_mode);
            isFile = S_ISREG(st.st_mode);
        }
        if (kind == Kind::Folders ? !isDir : !isFile) continue;
        const QString name = QFile::decodeName(raw);
        if (kind == Kind::Files && !WildcardMatch(pattern, name)) continue;
        names << name;
    }
    ::closedir(dir);
    // The order a Windows file system gives: names ignoring case.
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int byCase = QString::compare(a, b, Qt::CaseInsensitive);
        return byCase != 0 ? byCase < 0 : a < b;
    });
    return names;
}

}  // namespace

QStringList NativeFileSystem::findFiles(const QString& folder, const QString& pattern) {
    return ListFolder(folder, Kind::Files, pattern);
}

QStringList NativeFileSystem::subfolderNames(const QString& folder) {
    return ListFolder(folder, Kind::Folders, QString());
}

bool NativeFileSystem::isRootFolder(const QString& path) {
    QString trimmed = path;
    while (trimmed.size() > 1 && trimmed.endsWith(QLatin1Char('/'))) trimmed.chop(1);
    return trimmed == QLatin1String("/");
}

bool NativeFileSystem::canOpenFile(const QString& path) {
    struct stat st {};
    return !path.isEmpty() && ::stat(QFile::encodeName(path).constData(), &st) == 0 &&
           S_ISREG(st.st_mode);
}

QString NativeFileSystem::desktopFolder() {
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (!desktop.isEmpty() && QFileInfo(desktop).isDir()) return desktop;
    return QDir::homePath();
}

}  // namespace quillmere
