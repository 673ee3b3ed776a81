#pragma once

#include <QByteArray>
#include <QString>

namespace quillmere {

// Writes the whole file beside its target and renames it into place, so a save that fails at
// any point leaves the old file (or no file) as it was. Throws Failure naming the path.
void SaveFileAtomically(const QString& path, const QByteArray& bytes);

}  // namespace quillmere
