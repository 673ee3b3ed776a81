#include "platform/terminal.h"

#include <io.h>

namespace quillmere {

bool IsTerminal(std::FILE* stream) {
    return _isatty(_fileno(stream)) != 0;
}

// Windows raises no signal for a closed pipe: the write fails.
void KeepRunningPastClosedOutput() {}

QHash<QString, QString> UndecodedArguments(int, const char* const[], int) {
    return {};
}

}  // namespace quillmere
