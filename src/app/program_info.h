#pragma once

// What both programs say to --version and --help, in the manner of GNU tools. The version is the
// CMake project's, handed in by the build as QUILLMERE_VERSION.

#include "report/error_report.h"

#include <cstdio>
#include <string_view>

namespace quillmere {

enum class InfoOption { None, Help, Version };

// The first --help (or -h) or --version among the arguments before a "--".
inline InfoOption FindInfoOption(int argc, const char* const argv[]) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--") break;
        if (argument == "--help" || argument == "-h") return InfoOption::Help;
        if (argument == "--version") return InfoOption::Version;
    }
    return InfoOption::None;
}

// Prints the help text or the version line on standard output; the exit status: 1 when it could
// not be written (a full disk, a closed pipe), 0 otherwise.
inline int PrintInfo(InfoOption option, const char* program, const char* help) {
    if (option == InfoOption::Version) {
        std::printf("%s (Quillmere) %s\n", program, QUILLMERE_VERSION);
    } else {
        std::fputs(help, stdout);
        std::printf("\nFull documentation: man %s\nReport bugs to: <%s>\n", program,
                    kSupportAddress);
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "%s: write error\n", program);
        return 1;
    }
    return 0;
}

}  // namespace quillmere
