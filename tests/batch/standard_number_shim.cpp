// Loaded into quillmere-host by the batch tests (LD_PRELOAD): when the program's main thread closes
// a file held under the number of the standard input, output or error, it pauses, so that the
// worker threads open their next files while that number is free, as they may in any run.

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

extern "C" int close(int fd) {
    using Close = int (*)(int);
    static const auto real = reinterpret_cast<Close>(dlsym(RTLD_NEXT, "close"));
    struct stat st {};
    const bool standardNumber =
        fd >= 0 && fd <= 2 && gettid() == getpid() && fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    const int result = real(fd);
    if (standardNumber) usleep(100 * 1000);
    return result;
}
