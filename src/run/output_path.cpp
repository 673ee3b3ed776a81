#include "run/output_path.h"

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

QString ReplacedName(const QString& outputPath, PathStyle style) {
    const QString folder = GetFolderPath(outputPath, style);
    const QString name = GetFileName(outputPath, style);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    // A hidden name such as ".mpp" is all extension: it becomes "_replaced.mpp".
    if (dot < 0) return folder + name + QStringLiteral("_replaced");
    return folder + name.left(dot) + QStringLiteral("_replaced") + name.mid(dot);
}

}  // namespace quillmere
