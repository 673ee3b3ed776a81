#include "platform/terminal.h"

#include "platform/file_system.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace quillmere {

bool IsTerminal(std::FILE* stream) {
    return isatty(fileno(stream)) == 1;
}

bool OpenMissingStandardStreams() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // The lower ones are open by now, so the lowest free number is this one.
        const int opened = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (opened != fd) {
            if (opened >= 0) ::close(opened);
            return false;
        }
    }
    return true;
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
