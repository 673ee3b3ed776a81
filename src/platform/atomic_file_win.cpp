#include "platform/atomic_file.h"
#include "platform/atomic_file_native.h"

#include <QFileInfo>

#include <limits>

namespace quillmere {

namespace atomic_file {

bool OpenInPlace(QFile& file, const QString& path) {
    const QFileInfo existing(path);
    if (existing.isSymLink() || !existing.isFile()) return false;
    file.setFileName(path);
    return file.open(QIODevice::WriteOnly | QIODevice::ExistingOnly | QIODevice::Truncate);
}

// The flush has handed the bytes to the system, which writes them out of its own accord.
void PutOnDisk(QFile&, const QString&) {}

}  // namespace atomic_file

// Windows sets no file-size limit for a process.
void KeepRunningPastFileSizeLimit() {}

// No limit that the program needs to heed.
int OpenFilesLimit() {
    return std::numeric_limits<int>::max();
}

}  // namespace quillmere
