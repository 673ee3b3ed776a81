#pragma once

#include <QCursor>
#include <QString>

namespace quillmere {

// Loads a .cur file as a pointer with the hotspot written in the file, which Qt's own reader
// ignores (an .ico file points with its centre). Throws Failure when the file is no readable
// image.
QCursor LoadCursorFile(const QString& path);

}  // namespace quillmere
