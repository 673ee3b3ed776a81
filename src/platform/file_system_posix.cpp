#include "platform/failure.h"
#include "platform/file_system.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
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

QString NativeFileSystem::desktopFolder() {
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (!desktop.isEmpty() && QFileInfo(desktop).isDir()) return desktop;
    return QDir::homePath();
}

}  // namespace quillmere
