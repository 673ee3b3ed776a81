#include "platform/atomic_file.h"

#include "platform/atomic_file_native.h"

#include <QSaveFile>

namespace quillmere {

namespace atomic_file {

Failure SaveFailure(const QString& path, const QString& reason) {
    return Failure(errors::kPathFileAccess,
                   QStringLiteral("%1 could not be saved: %2").arg(path, reason));
}

}  // namespace atomic_file

namespace {

using atomic_file::OpenInPlace;
using atomic_file::PutOnDisk;
using atomic_file::SaveFailure;

void WriteInPlace(QFile& file, const QString& path,
                  const std::function<void(const ByteSink&)>& write) {
    write([&](QByteArrayView bytes) {
        if (file.write(bytes.data(), bytes.size()) != bytes.size())
            throw SaveFailure(path, file.errorString());
    });
    if (!file.flush()) throw SaveFailure(path, file.errorString());
    PutOnDisk(file, path);
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

}  // namespace quillmere
