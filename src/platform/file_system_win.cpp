#include "platform/failure.h"
#include "platform/file_system.h"

#include <QDir>

#include <shlobj.h>
#include <windows.h>

namespace quillmere {
namespace {

long ErrorNumberFor(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
            return errors::kFileNotFound;
        case ERROR_PATH_NOT_FOUND:
            return errors::kPathNotFound;
        case ERROR_ACCESS_DENIED:
            return errors::kPermissionDenied;
        default:
            return errors::kPathFileAccess;
    }
}

[[noreturn]] void ThrowLastError(const QString& path) {
    const DWORD error = GetLastError();
    wchar_t* buffer = nullptr;
    FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    QString text = buffer ? QString::fromWCharArray(buffer).trimmed() : QString();
    LocalFree(buffer);
    if (text.isEmpty()) text = QStringLiteral("System error %1").arg(error);
    throw Failure(ErrorNumberFor(error), text + QStringLiteral(": ") + path);
}

std::wstring Wide(const QString& path) {
    return path.toStdWString();
}

}  // namespace

QDateTime NativeFileSystem::modificationTime(const QString& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data))
        ThrowLastError(path);
    ULARGE_INTEGER time{};
    time.LowPart = data.ftLastWriteTime.dwLowDateTime;
    time.HighPart = data.ftLastWriteTime.dwHighDateTime;
    // FILETIME counts 100 ns from 1601-01-01.
    const qint64 msecs = qint64(time.QuadPart / 10000) - 11644473600000LL;
    return QDateTime::fromMSecsSinceEpoch(msecs);
}

quint32 NativeFileSystem::attributes(const QString& path) {
    const DWORD bits = GetFileAttributesW(Wide(path).c_str());
    if (bits == INVALID_FILE_ATTRIBUTES) ThrowLastError(path);
    return bits;
}

void NativeFileSystem::deleteFile(const QString& path) {
    if (!DeleteFileW(Wide(path).c_str())) ThrowLastError(path);
}

void NativeFileSystem::deleteFileForced(const QString& path) {
    const std::wstring name = Wide(path);
    const DWORD bits = GetFileAttributesW(name.c_str());
    if (bits == INVALID_FILE_ATTRIBUTES) ThrowLastError(path);
    if (bits & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesW(name.c_str(), bits & ~DWORD(FILE_ATTRIBUTE_READONLY));
    if (!DeleteFileW(name.c_str())) ThrowLastError(path);
}

void NativeFileSystem::checkDeletable(const QString& path) {
    const DWORD bits = GetFileAttributesW(Wide(path).c_str());
    if (bits == INVALID_FILE_ATTRIBUTES) ThrowLastError(path);
    if (bits & FILE_ATTRIBUTE_DIRECTORY) {
        SetLastError(ERROR_ACCESS_DENIED);
        ThrowLastError(path);
    }
}

namespace {

// The volume and file index that identify a file whatever path reaches it.
bool FileIdentity(const QString& path, BY_HANDLE_FILE_INFORMATION& info) {
    const HANDLE handle =
        CreateFileW(Wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    const bool ok = GetFileInformationByHandle(handle, &info) != 0;
    CloseHandle(handle);
    return ok;
}

}  // namespace

bool NativeFileSystem::sameFile(const QString& a, const QString& b) {
    if (a.isEmpty() || b.isEmpty()) return false;
    BY_HANDLE_FILE_INFORMATION first{};
    BY_HANDLE_FILE_INFORMATION second{};
    if (!FileIdentity(a, first) || !FileIdentity(b, second)) return false;
    return first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh &&
           first.nFileIndexLow == second.nFileIndexLow;
}

namespace {

QString IdentityOf(const QString& path) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!FileIdentity(path, info)) return {};
    return QStringLiteral("%1:%2:%3")
        .arg(info.dwVolumeSerialNumber)
        .arg(info.nFileIndexHigh)
        .arg(info.nFileIndexLow);
}

}  // namespace

FolderListing NativeFileSystem::list(const QString& folder, const QString& filePattern) {
    QString base = folder;
    if (!base.endsWith(QLatin1Char('\\'))) base += QLatin1Char('\\');
    WIN32_FIND_DATAW data{};
    const HANDLE find = FindFirstFileW(Wide(base + QStringLiteral("*")).c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        if (GetLastError() == ERROR_FILE_NOT_FOUND) return {};
        ThrowLastError(folder);
    }
    FolderListing listing;
    do {
        const QString name = QString::fromWCharArray(data.cFileName);
        if (name == QLatin1String(".") || name == QLatin1String("..")) continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            listing.folders.push_back({name, data.dwFileAttributes, IdentityOf(base + name)});
        else if (!filePattern.isEmpty() && WildcardMatch(filePattern, name))
            listing.files.push_back({name, data.dwFileAttributes, QString()});
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return listing;
}

QString NativeFileSystem::identity(const QString& path) {
    return path.isEmpty() ? QString() : IdentityOf(path);
}

namespace {

// The final path of an open handle in drive-letter form, without the "\\?\" prefix.
QString FinalPath(HANDLE handle) {
    std::wstring buffer(MAX_PATH, L'\0');
    DWORD length = GetFinalPathNameByHandleW(handle, buffer.data(), DWORD(buffer.size()),
                                             FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length >= buffer.size()) {
        buffer.resize(length);
        length = GetFinalPathNameByHandleW(handle, buffer.data(), DWORD(buffer.size()),
                                           FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    }
    if (length == 0 || length >= buffer.size()) return {};
    QString path = QString::fromWCharArray(buffer.data(), length);
    if (path.startsWith(QLatin1String("\\\\?\\UNC\\")))
        path = QStringLiteral("\\\\") + path.mid(8);
    else if (path.startsWith(QLatin1String("\\\\?\\")))
        path = path.mid(4);
    // A drive root keeps its backslash; nothing else ends in one.
    if (path.size() > 3 && path.endsWith(QLatin1Char('\\'))) path.chop(1);
    return path;
}

}  // namespace

QString NativeFileSystem::canonicalPath(const QString& path) {
    if (path.isEmpty()) return {};
    const HANDLE handle =
        CreateFileW(Wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return {};
    const QString canonical = FinalPath(handle);
    CloseHandle(handle);
    return canonical;
}

// Making a symbolic link takes a privilege here that ordinary users lack (outside developer
// mode), and a link's owner is not judged yet: every link is followed as before.
bool NativeFileSystem::passesOthersLink(const QString&) {
    return false;
}

bool NativeFileSystem::isRootFolder(const QString& path) {
    QString trimmed = path;
    while (trimmed.endsWith(QLatin1Char('\\'))) trimmed.chop(1);
    return trimmed.size() == 2 && trimmed[1] == QLatin1Char(':');
}

QString NativeFileSystem::desktopFolder() {
    wchar_t buffer[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, 0, buffer)))
        return QString();
    return QString::fromWCharArray(buffer);
}

QString NativeFileSystem::homeFolder() {
    return QDir::toNativeSeparators(QDir::homePath());
}

}  // namespace quillmere
