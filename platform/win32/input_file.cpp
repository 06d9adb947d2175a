// Byte reading over CreateFileW and ReadFile through a buffer of our own, so
// that the callers' small reads rarely reach the system. The file is shared
// for reading and writing, as the C runtime's streams open files.
#include <windows.h>

#include <algorithm>

#include "platform/platform.h"
#include "platform/read_buffer.h"
#include "platform/win32/wide.h"

namespace platform {

namespace {

struct Reader {
    HANDLE file = INVALID_HANDLE_VALUE;
    ReadBuffer buffer;
};

Reader& reader(void* handle) { return *static_cast<Reader*>(handle); }

// A reader of the last file stays with the object (spare_) for its next open:
// a buffer allocated for every file and freed at its close made the heap hand
// its pages back to the system and fault them in again, which cost more than
// reading a small file.

// One ReadFile of up to size bytes; 0 at end of file or on an error.
std::size_t readOnce(HANDLE file, unsigned char* into, std::size_t size) {
    DWORD got = 0;
    const auto ask = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    return ::ReadFile(file, into, ask, &got, nullptr) ? got : 0;
}

// The object's spare reader, or a new one, set up for file.
Reader* readerFor(void*& spare, HANDLE file) {
    Reader* r = spare != nullptr ? static_cast<Reader*>(spare) : new Reader;
    spare = nullptr;
    r->file = file;
    r->buffer.reset();
    return r;
}

}  // namespace

InputFile::~InputFile() {
    close();
    delete static_cast<Reader*>(spare_);
}

bool InputFile::open(const std::u16string& path) {
    close();
    // A directory cannot be opened this way (no FILE_FLAG_BACKUP_SEMANTICS).
    const HANDLE file = ::CreateFileW(win32::wide(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    // A device or a pipe under a file's name would be read for ever.
    if (::GetFileType(file) != FILE_TYPE_DISK) {
        ::CloseHandle(file);
        return false;
    }
    handle_ = readerFor(spare_, file);
    return true;
}

void InputFile::adopt(std::intptr_t native) {
    close();
    handle_ = readerFor(spare_, reinterpret_cast<HANDLE>(native));
}

std::intptr_t InputFile::native() const {
    return handle_ == nullptr ? -1 : reinterpret_cast<std::intptr_t>(reader(handle_).file);
}

std::size_t InputFile::read(void* buffer, std::size_t size) {
    if (handle_ == nullptr) return 0;
    Reader& r = reader(handle_);
    return r.buffer.read(buffer, size, [&](unsigned char* into, std::size_t n) { return readOnce(r.file, into, n); });
}

std::size_t InputFile::view(const unsigned char*& data, std::size_t size) {
    if (handle_ == nullptr) return 0;
    Reader& r = reader(handle_);
    return r.buffer.view(data, size, [&](unsigned char* into, std::size_t n) { return readOnce(r.file, into, n); });
}

bool InputFile::seek(std::int64_t offset) {
    if (handle_ == nullptr) return false;
    Reader& r = reader(handle_);
    LARGE_INTEGER to;
    to.QuadPart = offset;
    if (!::SetFilePointerEx(r.file, to, nullptr, FILE_BEGIN)) return false;
    r.buffer.reset();
    return true;
}

std::int64_t InputFile::length() {
    if (handle_ == nullptr) return -1;
    LARGE_INTEGER size;
    return ::GetFileSizeEx(reader(handle_).file, &size) ? size.QuadPart : -1;
}

bool InputFile::close() {
    if (handle_ == nullptr) return true;
    Reader* r = &reader(handle_);
    handle_ = nullptr;
    spare_ = r;
    return ::CloseHandle(r->file) != 0;
}

std::uint32_t readFile(const std::u16string& path, std::size_t limit, std::string& bytes) {
    bytes.clear();
    const HANDLE file = ::CreateFileW(win32::wide(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return ::GetLastError();
    std::uint32_t code = ::GetFileType(file) == FILE_TYPE_DISK ? std::uint32_t{kErrorSuccess} : kErrorAccessDenied;
    char block[65536];
    while (code == kErrorSuccess) {
        DWORD got = 0;
        if (!::ReadFile(file, block, sizeof block, &got, nullptr)) code = ::GetLastError();
        if (code != kErrorSuccess || got == 0) break;
        if (bytes.size() + got > limit) {
            code = kErrorInvalidData;
            break;
        }
        bytes.append(block, got);
    }
    ::CloseHandle(file);
    if (code != kErrorSuccess) bytes.clear();
    return code;
}

}  // namespace platform
