// The Updater's entry.
#include "app/built_in_keys.h"
#include "app/entry.h"
#include "platform/dll_search.h"
#include "platform/program_main.h"

int programMain(const std::vector<std::u16string>& args) {
    // Elevated, started from the product's directory: before anything could
    // load a DLL on demand, only the system directory may supply one. The
    // static imports (kernel32, msvcrt, shlwapi) are known DLLs, always taken
    // from the system directory.
    platform::restrictDllSearch();
    return app::updaterMain(args, app::builtInKeys());
}
