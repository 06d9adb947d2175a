#include <windows.h>

#include "platform/held_file.h"
#include "platform/win32/wide.h"

namespace platform {

HeldFile::HeldFile(const std::u16string& path, Sharing sharing) {
    const DWORD share = sharing == Sharing::kNone ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE;
    const HANDLE file = ::CreateFileW(win32::wide(path), GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_EXISTING, 0, nullptr);
    handle_ = reinterpret_cast<std::intptr_t>(file);
    held_ = file != INVALID_HANDLE_VALUE;
}

HeldFile::~HeldFile() {
    if (held_) ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

}  // namespace platform
