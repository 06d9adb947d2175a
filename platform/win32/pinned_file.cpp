#include <windows.h>

#include <cstring>
#include <vector>

#include "platform/pinned_file.h"
#include "platform/platform.h"
#include "platform/win32/wide.h"

namespace platform {

std::uint32_t PinnedFile::open(const std::u16string& path) {
    close();
    // A directory cannot be opened this way (no FILE_FLAG_BACKUP_SEMANTICS): 5.
    const HANDLE file = ::CreateFileW(win32::wide(path), GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return ::GetLastError();
    handle_ = reinterpret_cast<std::intptr_t>(file);
    path_ = path;
    return kErrorSuccess;
}

std::uint32_t PinnedFile::moveTo(const std::u16string& target) {
    if (!isOpen()) return kErrorInvalidParameter;
    // The new name is taken as a whole path: the working directory's.
    const DWORD needed = ::GetFullPathNameW(win32::wide(target), 0, nullptr, nullptr);
    if (needed == 0) return ::GetLastError();
    std::vector<wchar_t> full(needed);
    const DWORD length = ::GetFullPathNameW(win32::wide(target), needed, full.data(), nullptr);
    if (length == 0 || length >= needed) return ::GetLastError();
    const std::size_t nameBytes = length * sizeof(wchar_t);
    std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + nameBytes);
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = TRUE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(nameBytes);
    std::memcpy(info->FileName, full.data(), nameBytes + sizeof(wchar_t));
    if (!::SetFileInformationByHandle(reinterpret_cast<HANDLE>(handle_), FileRenameInfo, info,
                                      static_cast<DWORD>(buffer.size()))) {
        return ::GetLastError();
    }
    path_ = target;
    return kErrorSuccess;
}

std::uint32_t PinnedFile::flush() {
    if (!isOpen()) return kErrorInvalidParameter;
    return ::FlushFileBuffers(reinterpret_cast<HANDLE>(handle_)) ? std::uint32_t{kErrorSuccess} : ::GetLastError();
}

void PinnedFile::close() {
    if (handle_ != -1) ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
    handle_ = -1;
}

}  // namespace platform
