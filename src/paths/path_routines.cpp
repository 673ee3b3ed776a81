#include "paths/path_routines.h"

#include "platform/dialogs.h"
#include "platform/event_loop.h"
#include "platform/failure.h"
#include "platform/file_system.h"

namespace quillmere {

QChar Separator(PathStyle style) {
    return style == PathStyle::Windows ? QLatin1Char('\\') : QLatin1Char('/');
}

QString GetFileName(const QString& path, PathStyle style) {
    return path.mid(path.lastIndexOf(Separator(style)) + 1);
}

QString GetFolderPath(const QString& path, PathStyle style) {
    return path.left(path.lastIndexOf(Separator(style)) + 1);
}

QString RemoveExtension(const QString& path) {
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    // A dot in the first position (or none) leaves the path as it is.
    return dot >= 1 ? path.left(dot) : path;
}

QString GetExtension(const QString& path) {
    return path.mid(path.lastIndexOf(QLatin1Char('.')) + 1);
}

namespace {

// Replaces each non-overlapping pair of separators by one, in one pass from the left.
QString CollapsePairs(QStringView text, QChar separator) {
    QString result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        result += text[i];
        if (text[i] == separator && i + 1 < text.size() && text[i + 1] == separator) ++i;
    }
    return result;
}

}  // namespace

QString NormalizePath(const QString& path, PathStyle style) {
    const QChar separator = Separator(style);
    if (!path.startsWith(separator)) return CollapsePairs(path, separator);
    qsizetype rest = 1;
    while (rest < path.size() && path[rest] == separator) ++rest;
    const QString lead = style == PathStyle::Windows ? QStringLiteral("\\\\") : QStringLiteral("/");
    return lead + CollapsePairs(QStringView(path).mid(rest), separator);
}

bool FileExists(FileSystem& files, const QString& path) {
    try {
        files.modificationTime(path);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool FolderExists(FileSystem& files, const QString& path) {
    try {
        return (files.attributes(path) & attr::kDirectory) != 0;
    } catch (const std::exception&) {
        return false;
    }
}

QString FolderOrHome(FileSystem& files, const QString& folder) {
    return FolderExists(files, folder) ? folder : files.homeFolder();
}

void DeleteFileForced(FileSystem& files, const QString& path) {
    files.deleteFileForced(path);
}

void DeleteFileQuietly(FileSystem& files, EventLoop& events, const QString& path,
                       const std::function<void()>& mayDelete) {
    events.doEvents();
    if (mayDelete) mayDelete();
    try {
        files.deleteFile(path);
        return;
    } catch (const std::exception&) {
    }
    try {
        DeleteFileForced(files, path);
    } catch (const std::exception&) {
    }
}

QString GetDesktopFolder(FileSystem& files, PathStyle style) {
    const QString desktop = files.desktopFolder();
    if (desktop.isEmpty())
        throw Failure(errors::kInvalidArgument,
                      QStringLiteral("Invalid procedure call or argument"));
    return desktop + Separator(style);
}

bool ConfirmOverwrite(FileSystem& files, Dialogs& dialogs, const QString& path) {
    if (!FileExists(files, path)) return true;
    return dialogs.ask(QStringLiteral("Are you sure you wish to overwrite ") + path +
                       QStringLiteral(" ?"));
}

}  // namespace quillmere
