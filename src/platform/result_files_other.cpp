#include "platform/result_files.h"

#include "platform/result_names.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

namespace quillmere {

using result_names::SaveFailure;

// Elsewhere each result is synced and named as it is saved, by its path. A system whose folders
// can be held open and worked through (Windows, with handles opened without sharing delete) would
// keep them in Folders, as the Linux half does.
struct ResultFiles::Pending {};
struct ResultFiles::Named {};
struct ResultFiles::Settings {};
struct ResultFiles::Folders {};

ResultFiles::ResultFiles() = default;
ResultFiles::~ResultFiles() = default;

void ResultFiles::save(const QString& path, const std::function<void(const ByteSink&)>& write,
                       const SourceFile&) {
    SaveFileAtomically(path, write);
}

// Written in full as a temporary file of the folder's, and removed with it.
void ResultFiles::trial(const QString& path, const std::function<void(const ByteSink&)>& write,
                        const SourceFile&) {
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

void ResultFiles::remove(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink()) return;
    QFile file(path);
    file.setPermissions(file.permissions() | QFileDevice::WriteOwner);
    if (!file.remove()) throw SaveFailure(path, file.errorString());
}

void ResultFiles::setReplacesOlderEntries(bool replaces) {
    m_replacesOlder = replaces;
}

QHash<QString, QString> ResultFiles::commit() {
    return {};
}

void ResultFiles::commitPending() {}

void ResultFiles::sync() {}

}  // namespace quillmere
