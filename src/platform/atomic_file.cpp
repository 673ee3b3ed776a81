#include "platform/atomic_file.h"

#include "platform/failure.h"

#include <QSaveFile>

namespace quillmere {

void SaveFileAtomically(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    // commit() does not notice a failure of the last flush (a full disk), so flush first.
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush() ||
        !file.commit())
        throw Failure(errors::kPathFileAccess,
                      QStringLiteral("%1 could not be saved: %2").arg(path, file.errorString()));
}

}  // namespace quillmere
