// Byte reading through a stdio stream with a large buffer of its own, so that
// the small reads of the callers rarely reach the system.
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/pinned_file.h"
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

// A buffered stream that owns fd; null, with fd closed, when none can be made.
Stream* streamOver(int fd) {
    std::FILE* file = ::fdopen(fd, "rb");
    if (file == nullptr) {
        ::close(fd);
        return nullptr;
    }
    auto* s = new Stream{file, std::make_unique_for_overwrite<char[]>(kStreamBuffer)};
    std::setvbuf(file, s->buffer.get(), _IOFBF, kStreamBuffer);
    return s;
}

// The descriptor of path opened for reading, or -1 with the error code.
int openForReading(const std::u16string& path, std::uint32_t& code) {
    const std::string native = posix::nativePath(path);
    const int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        code = posix::errorFromErrno(errno, native);
        return -1;
    }
    struct stat st {};
    // Windows cannot open a directory as a file, nor read one that another
    // program holds without sharing (an exclusive flock here).
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        code = kErrorAccessDenied;
    } else if (posix::lockedByOther(fd, LOCK_SH)) {
        code = kErrorSharingViolation;
    } else {
        return fd;
    }
    ::close(fd);
    return -1;
}

}  // namespace

InputFile::~InputFile() { close(); }

bool InputFile::open(const std::u16string& path) {
    close();
    std::uint32_t code = kErrorSuccess;
    const int fd = openForReading(path, code);
    if (fd < 0) return false;
    handle_ = streamOver(fd);
    return handle_ != nullptr;
}

bool InputFile::open(const PinnedFile& file) {
    close();
    if (!file.isOpen()) return false;
    // A descriptor of its own, which the stream may close.
    const int fd = ::fcntl(static_cast<int>(file.handle_), F_DUPFD_CLOEXEC, 0);
    if (fd < 0) return false;
    if (::lseek(fd, 0, SEEK_SET) != 0) {
        ::close(fd);
        return false;
    }
    handle_ = streamOver(fd);
    return handle_ != nullptr;
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

std::uint32_t readFile(const std::u16string& path, std::size_t limit, std::string& bytes) {
    bytes.clear();
    std::uint32_t code = kErrorSuccess;
    const int fd = openForReading(path, code);
    if (fd < 0) return code;
    char block[65536];
    for (;;) {
        const ssize_t got = ::read(fd, block, sizeof block);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) code = posix::errorFromErrno(errno, {});
        if (got <= 0) break;
        if (bytes.size() + static_cast<std::size_t>(got) > limit) {
            code = kErrorInvalidData;
            break;
        }
        bytes.append(block, static_cast<std::size_t>(got));
    }
    ::close(fd);
    if (code != kErrorSuccess) bytes.clear();
    return code;
}

}  // namespace platform
