#include "platform/terminal.h"

#include <io.h>

namespace quillmere {

bool IsTerminal(std::FILE* stream) {
    return _isatty(_fileno(stream)) != 0;
}

// The standard handles are kept apart from the handles a program opens, and the program opens its
// files through handles, never through the C library's numbers: no file can take their place.
bool OpenMissingStandardStreams() {
    return true;
}

// Windows raises no signal for a closed pipe: the write fails.
void KeepRunningPastClosedOutput() {}

QHash<QString, QString> UndecodedArguments(int, const char* const[], int) {
    return {};
}

}  // namespace quillmere
