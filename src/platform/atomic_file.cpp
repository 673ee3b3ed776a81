#include "platform/atomic_file.h"

#include "platform/failure.h"

#include <QSaveFile>

#include <algorithm>
#include <csignal>
#include <limits>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

namespace quillmere {

void SaveFileAtomically(const QString& path, const std::function<void(const ByteSink&)>& write) {
    const auto failure = [&path](const QString& reason) {
        return Failure(errors::kPathFileAccess,
                       QStringLiteral("%1 could not be saved: %2").arg(path, reason));
    };
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) throw failure(file.errorString());
    // Given up (a throw) before commit(), the temporary file is removed.
    write([&](QByteArrayView bytes) {
        if (file.write(bytes.data(), bytes.size()) != bytes.size())
            throw failure(file.errorString());
    });
    // commit() does not notice a failure of the last flush (a full disk), so flush first.
    if (!file.flush() || !file.commit()) throw failure(file.errorString());
}

void SaveFileAtomically(const QString& path, const QByteArray& bytes) {
    SaveFileAtomically(path, [&](const ByteSink& sink) { sink(bytes); });
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
