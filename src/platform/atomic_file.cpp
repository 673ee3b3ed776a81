#include "platform/atomic_file.h"

#include "platform/failure.h"

#include <QFileInfo>
#include <QSaveFile>

#include <filesystem>
#include <system_error>

namespace quillmere {
namespace {

[[noreturn]] void SaveFailed(const QString& path, const QString& reason) {
    throw Failure(errors::kPathFileAccess,
                  QStringLiteral("%1 could not be saved: %2").arg(path, reason));
}

// A new hidden file beside the target, which no other save uses.
void OpenBeside(const QFileInfo& target, QFile& file) {
    const QString base = target.path() + QStringLiteral("/.") + target.fileName();
    for (int attempt = 0; attempt < 100; ++attempt) {
        file.setFileName(base + QStringLiteral(".saving") + QString::number(attempt));
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) return;
        if (!file.exists()) break;
    }
    SaveFailed(target.filePath(), file.errorString());
}

// As QSaveFile saves, without its wait for the disk: through a link to its target, and the new
// file takes the target's permissions and replaces it in one rename.
void SaveUnsynced(const QString& path, const QByteArray& bytes) {
    QFileInfo target(path);
    if (target.isSymLink() && target.exists()) target = QFileInfo(target.canonicalFilePath());
    QFile file;
    OpenBeside(target, file);
    if (target.exists()) file.setPermissions(target.permissions());
    const bool written = file.write(bytes) == bytes.size() && file.flush();
    file.close();
    std::error_code error;
    if (written && file.error() == QFileDevice::NoError)
        std::filesystem::rename(QFileInfo(file).filesystemFilePath(), target.filesystemFilePath(),
                                error);
    else
        error = std::make_error_code(std::errc::io_error);
    if (!error) return;
    const QString reason = file.error() != QFileDevice::NoError
                               ? file.errorString()
                               : QString::fromLocal8Bit(error.message());
    file.remove();
    SaveFailed(path, reason);
}

}  // namespace

void SaveFileAtomically(const QString& path, const QByteArray& bytes, SaveSync sync) {
    if (sync == SaveSync::Deferred) {
        SaveUnsynced(path, bytes);
        return;
    }
    QSaveFile file(path);
    // commit() does not notice a failure of the last flush (a full disk), so flush first.
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush() ||
        !file.commit())
        SaveFailed(path, file.errorString());
}

}  // namespace quillmere
