#include "platform/dll_search.h"

#include <dlfcn.h>

#include "platform/utf.h"

namespace platform {

bool restrictDllSearch() { return true; }

bool canLoadLibrary(const std::u16string& name) {
    void* library = ::dlopen(utf16ToUtf8(name).c_str(), RTLD_LAZY | RTLD_LOCAL);
    if (library == nullptr) return false;
    ::dlclose(library);
    return true;
}

}  // namespace platform
