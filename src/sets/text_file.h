#pragma once

#include <QByteArray>
#include <QString>

namespace quillmere {

class FileSystem;

// The whole text of a file; the empty text for a missing or empty file. Throws Failure when the
// file cannot be read.
QString ReadTextFile(FileSystem& files, const QString& path);

// A file's bytes as text. After the byte-order mark FF FE the file is 16-bit little-endian units,
// after FE FF big-endian ones (the mark is dropped, a last odd byte too); after a UTF-8 mark, or
// when the bytes are valid UTF-8, it is UTF-8; anything else is Windows-1252.
QString DecodeText(const QByteArray& bytes);

// One find/replace pair.
struct SetPair {
    QString find;
    QString replacement;
};

// The text before the first separator, and the text between it and the next one (or the end).
// The separator is matched exactly, letter case included.
SetPair SplitPair(const QString& line, const QString& separator);

// The pairs of a set file's text, in file order: CR is dropped, the text is split into lines at
// LF, and each line that holds the separator gives one pair; other lines are skipped.
QList<SetPair> PairsOfText(QString text, const QString& separator);

// The pairs of a set file: PairsOfText of the file's text. Throws Failure when the file cannot be
// read, or when it or its pairs do not fit into the memory the program may take.
QList<SetPair> ReadSetFile(FileSystem& files, const QString& path, const QString& separator);

// True when an ordinary file matches the path: with the wildcards "*" and "?" in its name, any
// file of its folder that matches; folders, hidden and system files never match. Never fails.
bool FileMatches(FileSystem& files, const QString& path);

}  // namespace quillmere
