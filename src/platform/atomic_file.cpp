#include "platform/atomic_file.h"

#include "platform/failure.h"

#include <QSaveFile>

#include <csignal>

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

}  // namespace quillmere
