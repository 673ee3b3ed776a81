// Loaded into quillmere-host by the batch tests (LD_PRELOAD): watches the order of its writes,
// syncs and namings. A result's data must be on the disk before any name but a hidden one leads
// to it, or a power cut could leave an empty or partial file under that name. Each name given too
// early is written to the file that QUILLMERE_NAME_ORDER_LOG names.

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <utility>

namespace {

using Inode = std::pair<dev_t, ino_t>;

struct Watch {
    std::mutex mutex;
    std::set<Inode> unsynced;  // files written since their last sync
};

Watch& watch() {
    static Watch* w = new Watch;  // never destroyed: calls may come during exit
    return *w;
}

// Made when the program loads, before it starts a thread: this library is not built with the
// thread checks, so a first use on two threads at once would look to them like a race.
__attribute__((constructor)) void MakeWatch() {
    watch();
}

template <typename F>
F* Next(const char* name) {
    return reinterpret_cast<F*>(dlsym(RTLD_NEXT, name));
}

bool InodeOf(int fd, Inode& inode) {
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
    inode = {st.st_dev, st.st_ino};
    return true;
}

void Written(int fd) {
    Inode inode;
    if (!InodeOf(fd, inode)) return;
    const std::lock_guard lock(watch().mutex);
    watch().unsynced.insert(inode);
}

void Synced(int fd) {
    Inode inode;
    if (!InodeOf(fd, inode)) return;
    const std::lock_guard lock(watch().mutex);
    watch().unsynced.erase(inode);
}

void SyncedFileSystem(int fd) {
    struct stat st {};
    if (fstat(fd, &st) != 0) return;
    const std::lock_guard lock(watch().mutex);
    for (auto it = watch().unsynced.begin(); it != watch().unsynced.end();)
        it = it->first == st.st_dev ? watch().unsynced.erase(it) : std::next(it);
}

// A name is given to the file that path (followed) reaches.
void Naming(const char* path, const char* name, bool follow) {
    const char* base = std::strrchr(name, '/');
    base = base ? base + 1 : name;
    if (std::strncmp(base, ".quillmere-", 11) == 0) return;  // a hidden name of the save's own
    struct stat st {};
    if ((follow ? stat(path, &st) : lstat(path, &st)) != 0) return;
    bool early = false;
    {
        const std::lock_guard lock(watch().mutex);
        early = watch().unsynced.count({st.st_dev, st.st_ino}) > 0;
    }
    const char* log = std::getenv("QUILLMERE_NAME_ORDER_LOG");
    if (!early || !log) return;
    if (FILE* file = std::fopen(log, "a")) {
        std::fprintf(file, "named before its data was synced: %s\n", name);
        std::fclose(file);
    }
}

}  // namespace

extern "C" {

ssize_t write(int fd, const void* buffer, size_t count) {
    const ssize_t written = Next<ssize_t(int, const void*, size_t)>("write")(fd, buffer, count);
    if (written > 0) Written(fd);
    return written;
}

int fsync(int fd) {
    const int result = Next<int(int)>("fsync")(fd);
    if (result == 0) Synced(fd);
    return result;
}

int fdatasync(int fd) {
    const int result = Next<int(int)>("fdatasync")(fd);
    if (result == 0) Synced(fd);
    return result;
}

int syncfs(int fd) {
    const int result = Next<int(int)>("syncfs")(fd);
    if (result == 0) SyncedFileSystem(fd);
    return result;
}

int linkat(int oldDir, const char* oldPath, int newDir, const char* newPath, int flags) {
    if (oldDir == AT_FDCWD) Naming(oldPath, newPath, flags & AT_SYMLINK_FOLLOW);
    return Next<int(int, const char*, int, const char*, int)>("linkat")(oldDir, oldPath, newDir,
                                                                        newPath, flags);
}

int rename(const char* oldPath, const char* newPath) {
    Naming(oldPath, newPath, false);
    return Next<int(const char*, const char*)>("rename")(oldPath, newPath);
}

int renameat(int oldDir, const char* oldPath, int newDir, const char* newPath) {
    if (oldDir == AT_FDCWD) Naming(oldPath, newPath, false);
    return Next<int(int, const char*, int, const char*)>("renameat")(oldDir, oldPath, newDir,
                                                                     newPath);
}

}  // extern "C"
