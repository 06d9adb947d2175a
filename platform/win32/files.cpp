// Files and directories on Windows: the calls as the program's steps name them.
#include <windows.h>
#include <shlwapi.h>

#include <algorithm>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/security.h"
#include "platform/win32/wide.h"

namespace platform {

namespace {

std::uint32_t result(BOOL ok) { return ok ? std::uint32_t{kErrorSuccess} : ::GetLastError(); }

}  // namespace

FindResult findFirstFile(const std::u16string& path) {
    WIN32_FIND_DATAW data{};
    const HANDLE find = ::FindFirstFileW(win32::wide(path), &data);
    if (find == INVALID_HANDLE_VALUE) return FindResult::kNotFound;
    ::FindClose(find);
    return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? FindResult::kDirectory : FindResult::kFile;
}

std::uint32_t openReadWriteTest(const std::u16string& path) {
    const HANDLE file = ::CreateFileW(win32::wide(path), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return ::GetLastError();
    ::CloseHandle(file);
    return kErrorSuccess;
}

bool isDirectory(const std::u16string& path) { return ::PathIsDirectoryW(win32::wide(path)) != FALSE; }

std::uint32_t createDirectory(const std::u16string& path) { return result(::CreateDirectoryW(win32::wide(path), nullptr)); }

std::uint32_t removeDirectory(const std::u16string& path) { return result(::RemoveDirectoryW(win32::wide(path))); }

std::uint32_t moveFileReplace(const std::u16string& from, const std::u16string& to) {
    return result(::MoveFileExW(win32::wide(from), win32::wide(to), MOVEFILE_REPLACE_EXISTING));
}

std::uint32_t renameFile(const std::u16string& from, const std::u16string& to) {
    return result(::MoveFileExW(win32::wide(from), win32::wide(to), 0));
}

std::uint32_t copyFileNew(const std::u16string& from, const std::u16string& to) {
    return result(::CopyFileW(win32::wide(from), win32::wide(to), TRUE));
}

std::uint32_t deleteFile(const std::u16string& path) { return result(::DeleteFileW(win32::wide(path))); }

bool listDirectory(const std::u16string& dir, std::vector<DirEntry>& out) {
    const std::u16string pattern = dir + u"\\*";
    WIN32_FIND_DATAW data{};
    const HANDLE find = ::FindFirstFileW(win32::wide(pattern), &data);
    if (find == INVALID_HANDLE_VALUE) return false;
    out.clear();
    do {
        const std::u16string name = win32::utf16(data.cFileName);
        if (name == u"." || name == u"..") continue;
        out.push_back({name, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
    return true;
}

bool othersMayWrite(const std::u16string& path) {
    const HANDLE file = ::CreateFileW(win32::wide(path), READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool others = win32::checkPrivate(file) != kErrorSuccess;
    ::CloseHandle(file);
    return others;
}

// ---- the run log's file -----------------------------------------------------

namespace {

// Whether file, opened by path, is the file path names and not a link's:
// no reparse point, a disk file, and its path on the volume (FileNameInfo,
// which is how Wine shows where a Unix link led) the full path of path.
bool isPlainFile(HANDLE file, const std::u16string& path) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(file, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
        ::GetFileType(file) != FILE_TYPE_DISK) {
        return false;
    }
    std::vector<wchar_t> full(32768);
    const DWORD fullLength = ::GetFullPathNameW(win32::wide(path), 32768, full.data(), nullptr);
    // Only a drive's paths are compared: "X:" is what the volume's path lacks.
    if (fullLength < 3 || fullLength >= 32768 || full[1] != L':') return fullLength > 0 && fullLength < 32768;
    std::vector<unsigned char> buffer(sizeof(FILE_NAME_INFO) + 32768 * sizeof(wchar_t));
    if (!::GetFileInformationByHandleEx(file, FileNameInfo, buffer.data(), static_cast<DWORD>(buffer.size()))) {
        return false;
    }
    const auto* name = reinterpret_cast<const FILE_NAME_INFO*>(buffer.data());
    const int length = static_cast<int>(name->FileNameLength / sizeof(wchar_t));
    return length == static_cast<int>(fullLength) - 2 &&
           ::CompareStringOrdinal(full.data() + 2, length, name->FileName, length, TRUE) == CSTR_EQUAL;
}

}  // namespace

FileHandle createFileAlways(const std::u16string& path) {
    // A new file first; CREATE_ALWAYS would follow a link, even a dangling one.
    HANDLE file = ::CreateFileW(win32::wide(path), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, CREATE_NEW, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file != INVALID_HANDLE_VALUE) return reinterpret_cast<FileHandle>(file);
    if (::GetLastError() != ERROR_FILE_EXISTS) return kInvalidFile;
    file = ::CreateFileW(win32::wide(path), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) return kInvalidFile;
    if (!isPlainFile(file, path) || !::SetEndOfFile(file)) {
        ::CloseHandle(file);
        return kInvalidFile;
    }
    return reinterpret_cast<FileHandle>(file);
}

bool writeFile(FileHandle file, const void* data, std::size_t size) {
    DWORD written = 0;
    return ::WriteFile(reinterpret_cast<HANDLE>(file), data, static_cast<DWORD>(size), &written, nullptr) != FALSE;
}

void closeFile(FileHandle file) {
    if (file != kInvalidFile) ::CloseHandle(reinterpret_cast<HANDLE>(file));
}

// ---- durable files ----------------------------------------------------------

std::uint32_t createFileNew(const std::u16string& path, FileHandle& file) {
    const HANDLE handle = ::CreateFileW(win32::wide(path), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
    file = reinterpret_cast<FileHandle>(handle);
    return handle == INVALID_HANDLE_VALUE ? ::GetLastError() : std::uint32_t{kErrorSuccess};
}

std::uint32_t writeAll(FileHandle file, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!::WriteFile(reinterpret_cast<HANDLE>(file), bytes, chunk, &written, nullptr)) return ::GetLastError();
        if (written == 0) return kErrorDiskFull;
        bytes += written;
        size -= written;
    }
    return kErrorSuccess;
}

std::uint32_t flushFile(FileHandle file) { return result(::FlushFileBuffers(reinterpret_cast<HANDLE>(file))); }

std::uint32_t syncDirectory(const std::u16string&) { return kErrorSuccess; }

namespace {

// The device of the volume that holds dir ("\\.\X:", or the volume's GUID
// name without its trailing backslash); empty where there is none to open,
// as for a network share.
std::wstring volumeDevice(const std::u16string& dir) {
    const std::u16string path = dir.empty() ? u"." : dir;
    const DWORD needed = ::GetFullPathNameW(win32::wide(path), 0, nullptr, nullptr);
    if (needed == 0) return {};
    std::vector<wchar_t> full(needed);
    const DWORD length = ::GetFullPathNameW(win32::wide(path), needed, full.data(), nullptr);
    if (length == 0 || length >= needed) return {};
    std::vector<wchar_t> root(length + 2);
    if (!::GetVolumePathNameW(full.data(), root.data(), static_cast<DWORD>(root.size()))) return {};
    std::wstring volume = root.data();
    if (volume.size() == 3 && volume[1] == L':' && volume[2] == L'\\') return L"\\\\.\\" + volume.substr(0, 2);
    if (volume.rfind(L"\\\\?\\Volume{", 0) == 0 && volume.back() == L'\\') {
        volume.pop_back();
        return volume;
    }
    return {};
}

std::uint32_t flushHandleOf(const wchar_t* name) {
    const HANDLE handle = ::CreateFileW(name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return ::GetLastError();
    const std::uint32_t code = result(::FlushFileBuffers(handle));
    ::CloseHandle(handle);
    return code;
}

}  // namespace

std::uint32_t flushFileSystems(const std::vector<std::u16string>& directories) {
    std::vector<std::wstring> flushed;
    for (const std::u16string& dir : directories) {
        const std::wstring device = volumeDevice(dir);
        if (device.empty()) return kErrorInvalidFunction;
        if (std::find(flushed.begin(), flushed.end(), device) != flushed.end()) continue;
        const std::uint32_t code = flushHandleOf(device.c_str());
        if (code != kErrorSuccess) return code;
        flushed.push_back(device);
    }
    return kErrorSuccess;
}

std::uint32_t flushExistingFile(const std::u16string& path) { return flushHandleOf(win32::wide(path)); }

}  // namespace platform
