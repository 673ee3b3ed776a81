#pragma once

#include <QHash>
#include <QStringList>

namespace quillmere {

class FileSystem;
class HostFactory;

// The exit status of the batch form.
inline constexpr int kBatchSucceeded = 0;
inline constexpr int kBatchFileFailed = 1;
inline constexpr int kBatchWrongArguments = 2;

// "quillmere-host batch": runs the replace pass over every file of the PATHs given in the
// arguments (those after "batch"), prints one summary line per file and a totals line on
// standard output, and a progress line on standard error when that is a terminal. undecoded:
// the arguments whose bytes are not valid UTF-8, as UndecodedArguments gives them.
int RunBatch(FileSystem& files, HostFactory& hosts, const QStringList& arguments,
             const QHash<QString, QString>& undecoded = {});

}  // namespace quillmere
