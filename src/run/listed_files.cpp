#include "run/listed_files.h"

#include "platform/file_system.h"
#include "run/output_path.h"

namespace quillmere {

ListedFiles::ListedFiles(FileSystem& files, std::function<QStringList()> entries, PathStyle style)
    : m_files(files), m_entries(std::move(entries)), m_style(style) {}

QString ListedFiles::entryNamedBy(const QString& path) {
    if (m_stale) rebuild();
    const auto byText = m_byText.constFind(NormalizePath(path, m_style));
    if (byText != m_byText.cend()) return byText.value();
    // Another spelling of a listed file: letter case, a link, a relative or ".." form.
    const QString identity = m_byIdentity.isEmpty() ? QString() : m_files.identity(path);
    return identity.isEmpty() ? QString() : m_byIdentity.value(identity);
}

void ListedFiles::rebuild() {
    m_byText.clear();
    m_byIdentity.clear();
    for (const QString& entry : m_entries()) {
        m_byText.insert(NormalizePath(entry, m_style), entry);
        const QString identity = m_files.identity(entry);
        if (!identity.isEmpty()) m_byIdentity.insert(identity, entry);
    }
    m_stale = false;
}

bool LandsOnAListedFile(FileSystem& files, ListedFiles& listed, const QString& sourcePath,
                        const QString& outputPath) {
    return NamesTheSource(files, outputPath, sourcePath) ||
           !listed.entryNamedBy(outputPath).isEmpty();
}

QString ResultConflict(FileSystem& files, ListedFiles& listed, const QString& sourcePath,
                       const QString& outputPath) {
    if (NamesTheSource(files, outputPath, sourcePath))
        return sourcePath + QStringLiteral(" was not processed: its result ") + outputPath +
               QStringLiteral(" would replace the source file itself.");
    const QString entry = listed.entryNamedBy(outputPath);
    if (entry.isEmpty()) return {};
    return sourcePath + QStringLiteral(" was not processed: its result ") + outputPath +
           QStringLiteral(" would replace ") + entry +
           QStringLiteral(", which is on the file list.");
}

}  // namespace quillmere
