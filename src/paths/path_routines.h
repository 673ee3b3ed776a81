#pragma once

#include <QString>

#include <functional>

namespace quillmere {

class Dialogs;
class EventLoop;
class FileSystem;

// Paths are texts with one separator: the backslash in Windows style, "/" in POSIX style.
// Positions are 1-based in the descriptions below; searches are exact character comparisons.
enum class PathStyle { Windows, Posix };

#ifdef _WIN32
inline constexpr PathStyle kNativePathStyle = PathStyle::Windows;
#else
inline constexpr PathStyle kNativePathStyle = PathStyle::Posix;
#endif

QChar Separator(PathStyle style = kNativePathStyle);

// The text after the last separator; empty for a path ending in one.
QString GetFileName(const QString& path, PathStyle style = kNativePathStyle);
// The text up to and including the last separator; empty without one.
QString GetFolderPath(const QString& path, PathStyle style = kNativePathStyle);
// The text before the last dot anywhere in the path, unless that dot is the first character
// or there is none. The dot may lie in a folder name.
QString RemoveExtension(const QString& path);
// The text after the last dot anywhere in the path; the whole path when there is no dot.
QString GetExtension(const QString& path);
// Collapses doubled separators in one left-to-right pass. Windows style keeps (or makes) a
// leading double backslash, as of a network path; POSIX style turns a leading run into one "/".
QString NormalizePath(const QString& path, PathStyle style = kNativePathStyle);

// True when the file system can give the path's modification date; never fails.
bool FileExists(FileSystem& files, const QString& path);
// True only for an existing folder; never fails.
bool FolderExists(FileSystem& files, const QString& path);
// Where a folder browser starts: the folder while it exists, else the home folder (never the
// process's working folder).
QString FolderOrHome(FileSystem& files, const QString& folder);
// Yields once, then removes the file if it can (read-only ones too); never reports anything.
// mayDelete, when given, is asked after the yield, since whatever made the file safe to delete
// may have changed while the program yielded; when it throws, nothing is deleted.
void DeleteFileQuietly(FileSystem& files, EventLoop& events, const QString& path,
                       const std::function<void()>& mayDelete = {});
// Removes the file even when it is read-only; throws Failure otherwise.
void DeleteFileForced(FileSystem& files, const QString& path);
// The current user's desktop folder followed by one separator. Throws Failure when the system
// gives no desktop folder.
QString GetDesktopFolder(FileSystem& files, PathStyle style = kNativePathStyle);
// Asks before a file is written over: true to go ahead.
bool ConfirmOverwrite(FileSystem& files, Dialogs& dialogs, const QString& path);

}  // namespace quillmere
