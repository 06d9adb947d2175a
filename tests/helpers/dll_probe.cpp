// Says whether the library "upd_planted" beside this program would be loaded,
// with the process's default search rules or, given "restrict", after the
// hardening the Updater applies at its start.
#include <cstdio>
#include <cstring>

#include "platform/dll_search.h"

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "restrict") == 0) platform::restrictDllSearch();
#ifdef _WIN32
    const bool loaded = platform::canLoadLibrary(u"upd_planted.dll");
#else
    const bool loaded = platform::canLoadLibrary(u"libupd_planted.so");
#endif
    std::puts(loaded ? "loaded" : "not loaded");
    return 0;
}
