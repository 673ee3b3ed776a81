#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace quillmere {

// Whether a save waits until its file is on the disk (Now), or leaves that to one SyncFiles call
// at the end of a run over many files (Deferred), which is much faster than waiting per file.
enum class SaveSync { Now, Deferred };

// Writes the whole file beside its target and renames it into place, so a save that fails at
// any point leaves the old file (or no file) as it was. Throws Failure naming the path.
void SaveFileAtomically(const QString& path, const QByteArray& bytes,
                        SaveSync sync = SaveSync::Now);

// Waits until the files, and their folders' entries for them, are on the disk. Throws Failure
// naming the first file that could not be synced, after trying every one.
void SyncFiles(const QStringList& paths);

}  // namespace quillmere
