#pragma once

#include "platform/failure.h"

#include <QFile>
#include <QString>

// What saving a file needs of the system: atomic_file_posix.cpp or atomic_file_win.cpp, chosen
// by CMake. Used by atomic_file.cpp only.
namespace quillmere::atomic_file {

// The failure of a save, naming the path.
Failure SaveFailure(const QString& path, const QString& reason);

// Opens the plain file that is at path now for writing, emptied; false when there is none or it
// cannot be opened. A link in its place is never followed.
bool OpenInPlace(QFile& file, const QString& path);

// Puts what was written to the open file on the disk, where the system offers that; throws
// SaveFailure when it fails.
void PutOnDisk(QFile& file, const QString& path);

}  // namespace quillmere::atomic_file
