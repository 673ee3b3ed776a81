#include "platform/terminal.h"

#include "platform/file_system.h"

#include <unistd.h>

#include <csignal>

namespace quillmere {

bool IsTerminal(std::FILE* stream) {
    return isatty(fileno(stream)) == 1;
}

void KeepRunningPastClosedOutput() {
    std::signal(SIGPIPE, SIG_IGN);
}

QHash<QString, QString> UndecodedArguments(int argc, const char* const argv[], int first) {
    QHash<QString, QString> undecoded;
    for (int i = first; i < argc; ++i) {
        const QString shown = EscapedName(argv[i]);
        const QString text = QString::fromLocal8Bit(argv[i]);
        if (shown != text) undecoded.insert(text, shown);
    }
    return undecoded;
}

}  // namespace quillmere
