#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

namespace quillmere {

// Takes the bytes of a file piece by piece.
using ByteSink = std::function<void(QByteArrayView)>;

// Writes the whole file beside its target, puts it on the disk and renames it into place, so a
// save that fails at any point leaves the old file (or no file) as it was. Throws Failure naming
// the path.
void SaveFileAtomically(const QString& path, const QByteArray& bytes);
// The same, with the bytes handed to a sink by write, which may throw Failure to give up.
void SaveFileAtomically(const QString& path, const std::function<void(const ByteSink&)>& write);

// Saves a file that the user edits (a set file) as SaveFileAtomically does. Where that cannot
// even start, as in a folder that takes no new file (a shared one, one the user may not write),
// the file that is there is written in place instead: its old content is then lost only when
// that write fails. A link in the file's place is never written in place.
void SaveEditedFile(const QString& path, const QByteArray& bytes);

// Makes a write past the process's file-size limit (ulimit -f) fail like a full disk, instead
// of ending the program with half a file written. Call once at start.
void KeepRunningPastFileSizeLimit();

// How many files the process may have open at once (the soft limit, ulimit -n); the largest int
// when the system sets none.
int OpenFilesLimit();

}  // namespace quillmere
