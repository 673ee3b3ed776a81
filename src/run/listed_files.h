#pragma once

#include "paths/path_routines.h"

#include <QHash>
#include <QSet>
#include <QStringList>

#include <functional>

namespace quillmere {

class FileSystem;

// The files on the list, known by their normalised text and by their identity on disk, so that
// no result is ever written over any of them. The list can change while a run yields; the
// owner calls invalidate() then, and the next question reads the entries again. Reading them
// once per change, not once per question, keeps a run over many files linear.
class ListedFiles {
  public:
    ListedFiles(FileSystem& files, std::function<QStringList()> entries,
                PathStyle style = kNativePathStyle);

    void invalidate() { m_stale = true; }
    // The list entry that writing to the path would touch, or an empty text when there is none.
    QString entryNamedBy(const QString& path);

  private:
    void rebuild();

    FileSystem& m_files;
    std::function<QStringList()> m_entries;
    PathStyle m_style;
    bool m_stale = true;
    QHash<QString, QString> m_byText;
    QHash<QString, QString> m_byIdentity;
};

// True when a result at the output path would land on the source or on another listed file:
// it then takes the "_replaced" name.
bool LandsOnAListedFile(FileSystem& files, ListedFiles& listed, const QString& sourcePath,
                        const QString& outputPath);

// Why a result may not be written to the output path, even under its "_replaced" name: it would
// replace the source or another listed file. Empty when it may.
QString ResultConflict(FileSystem& files, ListedFiles& listed, const QString& sourcePath,
                       const QString& outputPath);

}  // namespace quillmere
