#include "platform/atomic_file.h"
#include "platform/atomic_file_native.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <limits>

namespace quillmere {

namespace atomic_file {

bool OpenInPlace(QFile& file, const QString& path) {
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
}

void PutOnDisk(QFile& file, const QString& path) {
    if (::fsync(file.handle()) != 0)
        throw SaveFailure(path, QString::fromLocal8Bit(std::strerror(errno)));
}

}  // namespace atomic_file

void KeepRunningPastFileSizeLimit() {
    std::signal(SIGXFSZ, SIG_IGN);
}

int OpenFilesLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        return int(std::min<rlim_t>(limit.rlim_cur, std::numeric_limits<int>::max()));
    return std::numeric_limits<int>::max();
}

}  // namespace quillmere
