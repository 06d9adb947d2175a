// Byte reading through a stdio stream with a large buffer of its own, so that
// the small reads of the callers rarely reach the system.
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"
#include "platform/posix/native.h"

namespace platform {

namespace {

struct Stream {
    std::FILE* file = nullptr;
    std::unique_ptr<char[]> buffer;
};

constexpr std::size_t kStreamBuffer = 1 << 16;

Stream* stream(void* handle) { return static_cast<Stream*>(handle); }

}  // namespace

InputFile::~InputFile() { close(); }

bool InputFile::open(const std::u16string& path) {
    close();
    const std::string native = posix::nativePath(path);
    const int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return false;
    struct stat st {};
    // Windows cannot open a directory as a file, nor read one that another
    // program holds without sharing (an exclusive flock here).
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode) || posix::lockedByOther(fd, LOCK_SH)) {
        ::close(fd);
        return false;
    }
    std::FILE* file = ::fdopen(fd, "rb");
    if (file == nullptr) {
        ::close(fd);
        return false;
    }
    auto* s = new Stream{file, std::make_unique_for_overwrite<char[]>(kStreamBuffer)};
    std::setvbuf(file, s->buffer.get(), _IOFBF, kStreamBuffer);
    handle_ = s;
    return true;
}

std::size_t InputFile::read(void* buffer, std::size_t size) {
    if (handle_ == nullptr) return 0;
    return std::fread(buffer, 1, size, stream(handle_)->file);
}

bool InputFile::seek(std::int64_t offset) {
    return handle_ != nullptr && ::fseeko(stream(handle_)->file, static_cast<off_t>(offset), SEEK_SET) == 0;
}

std::int64_t InputFile::length() {
    if (handle_ == nullptr) return -1;
    std::FILE* file = stream(handle_)->file;
    const off_t here = ::ftello(file);
    if (here < 0 || ::fseeko(file, 0, SEEK_END) != 0) return -1;
    const off_t end = ::ftello(file);
    if (::fseeko(file, here, SEEK_SET) != 0) return -1;
    return end;
}

bool InputFile::close() {
    if (handle_ == nullptr) return true;
    Stream* s = stream(handle_);
    handle_ = nullptr;
    const bool ok = std::fclose(s->file) == 0;
    delete s;
    return ok;
}

}  // namespace platform
