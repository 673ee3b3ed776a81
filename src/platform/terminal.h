#pragma once

#include <QHash>
#include <QString>

#include <cstdio>

namespace quillmere {

// True when the stream goes to a terminal, where a person reads it as it is written; false for
// a file or a pipe.
bool IsTerminal(std::FILE* stream);

// Opens /dev/null on each of the standard input, output and error that the program was started
// without, so that no file the program opens later takes its number and receives what is printed.
// Call first thing, before anything opens a file. False when /dev/null could not be opened.
bool OpenMissingStandardStreams();

// Makes a write to a pipe whose reader has gone (a run piped into "head -1") fail with an error,
// instead of ending the program halfway through its files. Call once at start.
void KeepRunningPastClosedOutput();

// The arguments from first on whose bytes are not valid UTF-8, which name no file this program
// can open: by the text Qt makes of them (U+FFFD for those bytes), each shown as EscapedName
// shows it. None on Windows, whose command line is text.
QHash<QString, QString> UndecodedArguments(int argc, const char* const argv[], int first);

}  // namespace quillmere
