#include "platform/atomic_file.h"

#include "platform/failure.h"

#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <csignal>
#include <limits>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace quillmere {

namespace {

Failure SaveFailure(const QString& path, const QString& reason) {
    return Failure(errors::kPathFileAccess,
                   QStringLiteral("%1 could not be saved: %2").arg(path, reason));
}

// Opens the plain file that is at path now for writing, emptied; false when there is none or it
// cannot be opened. A link in its place is never followed.
bool OpenInPlace(QFile& file, const QString& path) {
#ifdef Q_OS_UNIX
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat existing {};
    if (::fstat(fd, &existing) != 0 || !S_ISREG(existing.st_mode) ||
        !file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    return file.resize(0);
#else
    const QFileInfo existing(path);
    if (existing.isSymLink() || !existing.isFile()) return false;
    file.setFileName(path);
    return file.open(QIODevice::WriteOnly | QIODevice::ExistingOnly | QIODevice::Truncate);
#endif
}

void WriteInPlace(QFile& file, const QString& path,
                  const std::function<void(const ByteSink&)>& write) {
    write([&](QByteArrayView bytes) {
        if (file.write(bytes.data(), bytes.size()) != bytes.size())
            throw SaveFailure(path, file.errorString());
    });
    if (!file.flush()) throw SaveFailure(path, file.errorString());
#ifdef Q_OS_UNIX
    if (::fsync(file.handle()) != 0)
        throw SaveFailure(path, QString::fromLocal8Bit(std::strerror(errno)));
#endif
}

// With inPlace, a file that cannot be replaced because its folder takes no new file, or no new
// file under its name (a sticky folder where another user owns the file), is written where it is.
void Save(const QString& path, const std::function<void(const ByteSink&)>& write, bool inPlace) {
    QSaveFile file(path);
    const auto writeInPlaceOrFail = [&] {
        QFile existing;
        if (!inPlace || !OpenInPlace(existing, path)) throw SaveFailure(path, file.errorString());
        WriteInPlace(existing, path, write);
    };
    if (!file.open(QIODevice::WriteOnly)) return writeInPlaceOrFail();
    // Given up (a throw) before commit(), the temporary file is removed.
    write([&](QByteArrayView bytes) {
        if (file.write(bytes.data(), bytes.size()) != bytes.size())
            throw SaveFailure(path, file.errorString());
    });
    // commit() does not notice a failure of the last flush (a full disk), so flush first.
    if (!file.flush()) throw SaveFailure(path, file.errorString());
    // A refused rename leaves the existing file as it was, and removes the temporary one.
    if (!file.commit()) {
        if (file.error() != QFileDevice::RenameError) throw SaveFailure(path, file.errorString());
        writeInPlaceOrFail();
    }
}

}  // namespace

void SaveFileAtomically(const QString& path, const std::function<void(const ByteSink&)>& write) {
    Save(path, write, false);
}

void SaveFileAtomically(const QString& path, const QByteArray& bytes) {
    SaveFileAtomically(path, [&](const ByteSink& sink) { sink(bytes); });
}

void SaveEditedFile(const QString& path, const QByteArray& bytes) {
    const auto write = [&](const ByteSink& sink) { sink(bytes); };
    Save(path, write, true);
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

}  // namespace quillmere
