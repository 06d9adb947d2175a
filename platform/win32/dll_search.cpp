#include "platform/dll_search.h"

#include <windows.h>

#include "platform/win32/wide.h"

namespace platform {

bool restrictDllSearch() {
    // Present from Windows 8 on, and on Windows 7 with KB2533623: looked up at
    // run time so the program still starts without it.
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    const auto setDefault = kernel == nullptr
        ? nullptr
        : reinterpret_cast<SetDefaultDllDirectoriesFn>(
              reinterpret_cast<void*>(::GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (setDefault != nullptr && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) return true;
    ::SetDllDirectoryW(L"");
    return false;
}

bool canLoadLibrary(const std::u16string& name) {
    const HMODULE module = ::LoadLibraryW(win32::wide(name));
    if (module == nullptr) return false;
    ::FreeLibrary(module);
    return true;
}

}  // namespace platform
