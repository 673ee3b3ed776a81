// Loaded into quillmere-host by the batch tests (LD_PRELOAD): counts the threads that the program
// starts and that live at once, and writes the most there were to the file that
// QUILLMERE_THREADS_LOG names when the program ends.

#include <dlfcn.h>
#include <pthread.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace {

std::atomic<int> g_live{0};
std::atomic<int> g_most{0};

struct Start {
    void* (*routine)(void*);
    void* argument;
};

void* Counted(void* started) {
    const Start start = *static_cast<Start*>(started);
    delete static_cast<Start*>(started);
    const int live = ++g_live;
    for (int most = g_most; live > most && !g_most.compare_exchange_weak(most, live);) {
    }
    void* result = start.routine(start.argument);
    --g_live;
    return result;
}

struct Report {
    ~Report() {
        const char* log = std::getenv("QUILLMERE_THREADS_LOG");
        if (!log) return;
        if (FILE* file = std::fopen(log, "w")) {
            std::fprintf(file, "%d\n", g_most.load());
            std::fclose(file);
        }
    }
} g_report;

}  // namespace

extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attributes,
                              void* (*routine)(void*), void* argument) {
    using Create = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
    static const auto real = reinterpret_cast<Create>(dlsym(RTLD_NEXT, "pthread_create"));
    auto* start = new Start{routine, argument};
    const int error = real(thread, attributes, &Counted, start);
    if (error != 0) delete start;
    return error;
}
