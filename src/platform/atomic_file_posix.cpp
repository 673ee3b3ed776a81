#include "platform/atomic_file.h"

#include "platform/failure.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace quillmere {
namespace {

// Syncs the file, or on Linux the whole file system that holds it: one syncfs costs one flush of
// the disk, where a thousand fsyncs cost a thousand.
int SyncOne(const QString& path, bool wholeFileSystem) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno;
#ifdef __linux__
    const int done = wholeFileSystem ? ::syncfs(fd) : ::fsync(fd);
#else
    Q_UNUSED(wholeFileSystem);
    const int done = ::fsync(fd);
#endif
    const int error = done == 0 ? 0 : errno;
    ::close(fd);
    return error;
}

QString Unsynced(const QString& path, int error) {
    return QStringLiteral("%1 could not be written to the disk: %2")
        .arg(path, QString::fromLocal8Bit(std::strerror(error)));
}

}  // namespace

void SyncFiles(const QStringList& paths) {
    QString firstFailure;
    // The folders too: the renames that put the files in place live in them.
    QHash<QString, bool> folders;
    for (const QString& path : paths) folders.insert(QFileInfo(path).absolutePath(), true);
#ifdef __linux__
    // One file system per device, each synced once through one of its folders.
    QHash<dev_t, QString> devices;
    for (auto it = folders.cbegin(); it != folders.cend(); ++it) {
        struct stat st {};
        if (::stat(QFile::encodeName(it.key()).constData(), &st) == 0)
            devices.insert(st.st_dev, it.key());
    }
    for (const QString& folder : devices) {
        const int error = SyncOne(folder, true);
        if (error != 0 && firstFailure.isEmpty()) firstFailure = Unsynced(folder, error);
    }
#else
    for (const QString& path : paths) {
        const int error = SyncOne(path, false);
        if (error != 0 && firstFailure.isEmpty()) firstFailure = Unsynced(path, error);
    }
    for (auto it = folders.cbegin(); it != folders.cend(); ++it) SyncOne(it.key(), false);
#endif
    if (!firstFailure.isEmpty()) throw Failure(errors::kPathFileAccess, firstFailure);
}

}  // namespace quillmere
