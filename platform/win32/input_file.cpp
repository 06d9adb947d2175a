// Byte reading through the C runtime's wide-path stream, shared for reading
// and writing as _wfopen opens it.
#include <cstdio>
#include <windows.h>

#include "platform/platform.h"
#include "platform/win32/wide.h"

namespace platform {

namespace {

std::FILE* stream(void* handle) { return static_cast<std::FILE*>(handle); }

}  // namespace

InputFile::~InputFile() { close(); }

bool InputFile::open(const std::u16string& path) {
    close();
    handle_ = ::_wfopen(win32::wide(path), L"rb");
    return handle_ != nullptr;
}

std::size_t InputFile::read(void* buffer, std::size_t size) {
    return handle_ == nullptr ? 0 : std::fread(buffer, 1, size, stream(handle_));
}

bool InputFile::seek(std::int64_t offset) {
    return handle_ != nullptr && ::_fseeki64(stream(handle_), offset, SEEK_SET) == 0;
}

std::int64_t InputFile::length() {
    if (handle_ == nullptr) return -1;
    std::FILE* file = stream(handle_);
    const std::int64_t here = ::_ftelli64(file);
    if (here < 0 || ::_fseeki64(file, 0, SEEK_END) != 0) return -1;
    const std::int64_t end = ::_ftelli64(file);
    if (::_fseeki64(file, here, SEEK_SET) != 0) return -1;
    return end;
}

bool InputFile::close() {
    if (handle_ == nullptr) return true;
    std::FILE* file = stream(handle_);
    handle_ = nullptr;
    return std::fclose(file) == 0;
}

}  // namespace platform
