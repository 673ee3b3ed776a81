#pragma once

#include <QStringList>

namespace quillmere {

class ErrorReport;
class FileSystem;

// The files a headless run works on, in order: a file path as given, a folder as the window's
// folder import walks it, with the pattern "*." followed by the extension, or, with no
// extension, every file whose extension is one of the project extensions. A file reached twice
// (named twice, or inside two given folders) counts once. The walk reports what it cannot read
// as the window's walk does, and puts the file links it does not follow in linksNotFollowed.
QStringList BatchInputs(FileSystem& files, ErrorReport& report, const QStringList& paths,
                        const QString& extension, QStringList& linksNotFollowed);

}  // namespace quillmere
