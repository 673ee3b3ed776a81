#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <variant>

namespace quillmere {

class FileSystem;

// What one headless run does, read from its command line and checked before any file is
// touched. Every path is absolute.
struct BatchOptions {
    QStringList paths;
    // The folder walk's extension as the window's folder import takes it ("*" for every file);
    // empty for the project extensions.
    QString extension;
    QStringList finds;
    QStringList replacements;
    bool matchCase = false;
    // Empty: each result goes beside its source under the "_replaced" name.
    QString outFolder;
    bool json = false;
    bool dryRun = false;
    // At most this many files at once; 0 for as many as the host allows.
    int jobs = 0;
    // The PATHs whose bytes are not valid UTF-8, left out, as EscapedName shows them.
    QStringList undecodedPaths;
};

// Why the command line cannot run: the text to print before the usage.
struct BatchUsageError {
    QString problem;
};

// The usage text of the batch form, ending in a line break.
QString BatchUsage();

// Reads the arguments that follow "batch". The pairs come from the --find and --replace options
// or from the set file, read as the Load Sets dialog reads it. "--help" gives a BatchUsageError
// with no problem. undecoded: the arguments whose bytes are not valid UTF-8, as
// UndecodedArguments gives them.
std::variant<BatchOptions, BatchUsageError> ParseBatchArguments(
    FileSystem& files, const QStringList& arguments, const QHash<QString, QString>& undecoded = {});

}  // namespace quillmere
