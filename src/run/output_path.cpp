#include "run/output_path.h"

#include "host/host.h"
#include "platform/event_loop.h"
#include "platform/failure.h"
#include "platform/file_system.h"

namespace quillmere {

QString OutputInFolder(const QString& folderText, const QString& sourcePath, PathStyle style) {
    return NormalizePath(folderText + Separator(style) + GetFileName(sourcePath, style), style);
}

QString OutputBesideSource(const QString& sourcePath, PathStyle style) {
    return NormalizePath(
        GetFolderPath(sourcePath, style) + Separator(style) + GetFileName(sourcePath, style),
        style);
}

bool NamesTheSource(FileSystem& files, const QString& outputPath, const QString& sourcePath,
                    PathStyle style) {
    return NormalizePath(sourcePath, style) == outputPath || files.sameFile(outputPath, sourcePath);
}

namespace {

// Whether anything, a link to nothing included, is at the path.
bool EntryAt(FileSystem& files, const QString& path) {
    try {
        files.attributes(path);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

Failure InTheWay(const QString& outputPath, const Failure& reason) {
    return Failure(errors::kFileAlreadyExists,
                   QStringLiteral("%1 was not saved: what is at that path could not be removed "
                                  "(%2).")
                       .arg(outputPath, reason.description()));
}

}  // namespace

void ClearOutputPath(FileSystem& files, HostFactory& hosts, EventLoop& events,
                     const QString& outputPath, const std::function<void()>& mayDelete) {
    // A host that saves its results itself removes the older one through the folder it will save
    // into, so that a folder swapped under the run cannot turn the removal elsewhere.
    if (ResultFiles* results = hosts.results()) {
        events.doEvents();
        if (mayDelete) mayDelete();
        try {
            results->remove(outputPath);
        } catch (const Failure& failure) {
            throw InTheWay(outputPath, failure);
        }
        return;
    }
    DeleteFileQuietly(files, events, outputPath, mayDelete);
    if (!EntryAt(files, outputPath)) return;
    try {
        files.deleteFileForced(outputPath);
    } catch (const Failure& failure) {
        throw InTheWay(outputPath, failure);
    }
}

void CheckOutputPathClearable(FileSystem& files, const QString& outputPath) {
    if (!EntryAt(files, outputPath)) return;
    try {
        files.checkDeletable(outputPath);
    } catch (const Failure& failure) {
        throw InTheWay(outputPath, failure);
    }
}

QString ReplacedName(const QString& outputPath, PathStyle style) {
    const QString folder = GetFolderPath(outputPath, style);
    const QString name = GetFileName(outputPath, style);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    // A hidden name such as ".mpp" is all extension: it becomes "_replaced.mpp".
    if (dot < 0) return folder + name + QStringLiteral("_replaced");
    return folder + name.left(dot) + QStringLiteral("_replaced") + name.mid(dot);
}

}  // namespace quillmere
