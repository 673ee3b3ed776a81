#pragma once

#include <QByteArray>
#include <QStringList>

namespace quillmere {

class Dialogs;
class FileSystem;

// The set file: one line per pair, the find text, "::", the replacement, CR LF after every line;
// nothing is escaped. It is Windows-1252 when every character has a byte there, and otherwise
// UTF-16LE with a byte-order mark, which the reader takes back, so no text is lost. No pairs
// give no bytes. Entry i of the replacements belongs to entry i of the finds; a missing one
// throws Failure.
QByteArray SetFileBytes(const QStringList& finds, const QStringList& replacements);

// Writes the set file after ConfirmOverwrite; the answer No writes nothing. The file is written
// beside the target and renamed into place, so a failed save (reported by a thrown Failure)
// leaves any older file as it was; only where the folder takes no new file is the older file
// written in place.
void SaveSetFile(FileSystem& files, Dialogs& dialogs, const QString& path, const QStringList& finds,
                 const QStringList& replacements);

}  // namespace quillmere
