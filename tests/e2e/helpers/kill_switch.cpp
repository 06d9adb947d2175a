// Preloaded into the native Updater (LD_PRELOAD) by the interruption
// scenarios; never linked into the product. It counts the calls that change
// files (rename, link, unlink, mkdir, rmdir, write, fsync and their *at
// forms) and kills the process with SIGKILL just before the call numbered
// UPD_KILL_AT, so that an installation can be cut short at every one of its
// changes in turn.
//   UPD_KILL_AT=K       kill before the K-th counted call (0 or unset: never)
//   UPD_COUNT_FILE=F    at a normal exit, write the number of counted calls to F
//   UPD_SKIP_SLEEP=1    sleeps return at once, so that a run takes milliseconds
//   UPD_SKIP_FSYNC=1    fsync and fdatasync return at once (for benchmarks: the
//                       cost of an installation without its flushes)
// The variables and LD_PRELOAD are removed from the environment at start, so
// the product that the Updater starts runs without them.
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace {

long killAt = 0;
long counted = 0;
bool skipSleep = false;
bool skipFsync = false;
char countFile[4096] = {};

// The next definition of the function the wrapper stands for, looked up once.
#define UPD_NEXT(name, type) \
    static const auto real = reinterpret_cast<type>(dlsym(RTLD_NEXT, name))

void count() {
    if (++counted == killAt) raise(SIGKILL);
}

__attribute__((constructor)) void start() {
    if (const char* k = getenv("UPD_KILL_AT")) killAt = strtol(k, nullptr, 10);
    if (const char* f = getenv("UPD_COUNT_FILE")) snprintf(countFile, sizeof countFile, "%s", f);
    skipSleep = getenv("UPD_SKIP_SLEEP") != nullptr;
    skipFsync = getenv("UPD_SKIP_FSYNC") != nullptr;
    for (const char* name : {"UPD_KILL_AT", "UPD_COUNT_FILE", "UPD_SKIP_SLEEP", "UPD_SKIP_FSYNC", "LD_PRELOAD"}) {
        unsetenv(name);
    }
}

__attribute__((destructor)) void finish() {
    if (countFile[0] == 0) return;
    if (FILE* f = fopen(countFile, "w")) {
        fprintf(f, "%ld\n", counted);
        fclose(f);
    }
}

}  // namespace

extern "C" {

int rename(const char* from, const char* to) {
    count();
    UPD_NEXT("rename", int (*)(const char*, const char*));
    return real(from, to);
}

int renameat(int fromDir, const char* from, int toDir, const char* to) {
    count();
    UPD_NEXT("renameat", int (*)(int, const char*, int, const char*));
    return real(fromDir, from, toDir, to);
}

int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned int flags) {
    count();
    UPD_NEXT("renameat2", int (*)(int, const char*, int, const char*, unsigned int));
    return real(fromDir, from, toDir, to, flags);
}

int link(const char* from, const char* to) {
    count();
    UPD_NEXT("link", int (*)(const char*, const char*));
    return real(from, to);
}

int unlink(const char* path) {
    count();
    UPD_NEXT("unlink", int (*)(const char*));
    return real(path);
}

int unlinkat(int dir, const char* path, int flags) {
    count();
    UPD_NEXT("unlinkat", int (*)(int, const char*, int));
    return real(dir, path, flags);
}

int mkdir(const char* path, mode_t mode) {
    count();
    UPD_NEXT("mkdir", int (*)(const char*, mode_t));
    return real(path, mode);
}

int rmdir(const char* path) {
    count();
    UPD_NEXT("rmdir", int (*)(const char*));
    return real(path);
}

ssize_t write(int fd, const void* data, size_t size) {
    count();
    UPD_NEXT("write", ssize_t (*)(int, const void*, size_t));
    return real(fd, data, size);
}

int fsync(int fd) {
    count();
    if (skipFsync) return 0;
    UPD_NEXT("fsync", int (*)(int));
    return real(fd);
}

int fdatasync(int fd) {
    count();
    if (skipFsync) return 0;
    UPD_NEXT("fdatasync", int (*)(int));
    return real(fd);
}

int nanosleep(const struct timespec* request, struct timespec* remaining) {
    if (skipSleep) return 0;
    UPD_NEXT("nanosleep", int (*)(const struct timespec*, struct timespec*));
    return real(request, remaining);
}

}  // extern "C"
