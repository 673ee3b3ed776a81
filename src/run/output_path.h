#pragma once

#include "paths/path_routines.h"

namespace quillmere {

class FileSystem;
class HostFactory;

// The output path beside the source, or in the chosen folder, under the source's file name;
// normalised.
QString OutputInFolder(const QString& folderText, const QString& sourcePath,
                       PathStyle style = kNativePathStyle);
QString OutputBesideSource(const QString& sourcePath, PathStyle style = kNativePathStyle);

// True when writing to the output path would touch the source: equal texts, or one existing
// file reached through another spelling (letter case, a link, a relative or ".." form).
bool NamesTheSource(FileSystem& files, const QString& outputPath, const QString& sourcePath,
                    PathStyle style = kNativePathStyle);

// Removes whatever is at the output path before a result is saved there (a read-only file too; a
// link itself, never what it leads to), after a yield in which mayDelete may still refuse it:
// through the host where it saves its results itself, else by the path. Throws Failure when
// anything is still there: a result is never written through what could not be removed.
void ClearOutputPath(FileSystem& files, HostFactory& hosts, EventLoop& events,
                     const QString& outputPath, const std::function<void()>& mayDelete = {});
// Throws the Failure that ClearOutputPath would throw by the path, without removing anything.
void CheckOutputPathClearable(FileSystem& files, const QString& outputPath);

// The output path with "_replaced" before the extension of its file name: a dot in a folder
// name never counts, and a name without an extension gets the suffix at its end.
QString ReplacedName(const QString& outputPath, PathStyle style = kNativePathStyle);

}  // namespace quillmere
