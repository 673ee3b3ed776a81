#include "platform/result_files.h"

#include "platform/result_names.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

namespace quillmere {

using result_names::SaveFailure;

struct ResultFiles::Pending {};

// Written in full as a temporary file of the folder's, and removed with it.
void SaveTrial(const QString& path, const std::function<void(const ByteSink&)>& write) {
    const QFileInfo info(path);
    if (info.isSymLink() || info.isDir())
        throw SaveFailure(path, QStringLiteral("something that is not a file is in its place"));
    QTemporaryFile file(info.dir().filePath(QStringLiteral(".quillmere-XXXXXX")));
    if (!file.open()) throw SaveFailure(path, file.errorString());
    write([&](QByteArrayView bytes) {
        if (file.write(bytes.data(), bytes.size()) != bytes.size())
            throw SaveFailure(path, file.errorString());
    });
    if (!file.flush()) throw SaveFailure(path, file.errorString());
}

// Elsewhere each result is synced and named as it is saved.
struct ResultFiles::Settings {};

ResultFiles::ResultFiles() = default;
ResultFiles::~ResultFiles() = default;

void ResultFiles::save(const QString& path, const std::function<void(const ByteSink&)>& write) {
    SaveFileAtomically(path, write);
}

QHash<QString, QString> ResultFiles::commit() {
    return {};
}

void ResultFiles::sync() {}

QHash<QString, QString> ResultFiles::commitTaken(std::vector<Pending>&) {
    return {};
}

void ResultFiles::removeStaleFilesOnce(const QByteArray&) {}

}  // namespace quillmere
