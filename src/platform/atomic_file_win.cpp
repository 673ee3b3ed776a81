#include "platform/atomic_file.h"

#include "platform/failure.h"

#include <windows.h>

namespace quillmere {

void SyncFiles(const QStringList& paths) {
    QString firstFailure;
    for (const QString& path : paths) {
        const HANDLE file = CreateFileW(reinterpret_cast<const wchar_t*>(path.utf16()),
                                        GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        const bool synced = file != INVALID_HANDLE_VALUE && FlushFileBuffers(file);
        const DWORD error = synced ? 0 : GetLastError();
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        if (!synced && firstFailure.isEmpty())
            firstFailure = QStringLiteral("%1 could not be written to the disk (error %2)")
                               .arg(path)
                               .arg(error);
    }
    if (!firstFailure.isEmpty()) throw Failure(errors::kPathFileAccess, firstFailure);
}

}  // namespace quillmere
