// The Updater's entry: the command line as UTF-16 arguments.
#include <string>
#include <vector>

#include "app/entry.h"
#include "platform/dll_search.h"

#ifdef _WIN32

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide text is UTF-16");

int wmain(int argc, wchar_t* argv[]) {
    // Elevated, started from the product's directory: before anything could
    // load a DLL on demand, only the system directory may supply one. The
    // static imports (kernel32, msvcrt, shlwapi) are known DLLs, always taken
    // from the system directory.
    platform::restrictDllSearch();
    std::vector<std::u16string> args;
    for (int i = 0; i < argc; ++i) args.emplace_back(reinterpret_cast<const char16_t*>(argv[i]));
    return app::updaterMain(args);
}

#else

#include "platform/utf.h"

int main(int argc, char* argv[]) {
    platform::restrictDllSearch();
    std::vector<std::u16string> args;
    for (int i = 0; i < argc; ++i) args.push_back(platform::utf8ToUtf16(argv[i]));
    return app::updaterMain(args);
}

#endif
