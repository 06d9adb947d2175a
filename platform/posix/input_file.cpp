// Byte reading over read(2) through a large buffer of our own (the same as
// the Windows build's), so that the small reads of the callers rarely reach
// the system.
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"
#include "platform/posix/native.h"
#include "platform/read_buffer.h"

namespace platform {

namespace {

struct Reader {
    int fd = -1;
    ReadBuffer buffer;
};

Reader& reader(void* handle) { return *static_cast<Reader*>(handle); }

// One read of up to size bytes; 0 at the end of the file or on an error.
std::size_t readOnce(int fd, unsigned char* into, std::size_t size) {
    for (;;) {
        const ssize_t got = ::read(fd, into, size);
        if (got >= 0) return static_cast<std::size_t>(got);
        if (errno != EINTR) return 0;
    }
}

// The descriptor of path opened for reading, or -1 with the error code.
int openForReading(const std::u16string& path, std::uint32_t& code) {
    const std::string native = posix::nativePath(path);
    // O_NONBLOCK: a FIFO in a file's place would stall the open until a
    // writer came; it is refused below instead.
    const int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        code = posix::errorFromErrno(errno, native);
        return -1;
    }
    code = posix::checkReadable(fd);
    if (code == kErrorSuccess) return fd;
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
    handle_ = new Reader{fd, {}};
    return true;
}

void InputFile::adopt(std::intptr_t native) {
    close();
    handle_ = new Reader{static_cast<int>(native), {}};
}

std::intptr_t InputFile::native() const { return handle_ == nullptr ? -1 : reader(handle_).fd; }

std::size_t InputFile::read(void* buffer, std::size_t size) {
    if (handle_ == nullptr) return 0;
    Reader& r = reader(handle_);
    return r.buffer.read(buffer, size, [&](unsigned char* into, std::size_t n) { return readOnce(r.fd, into, n); });
}

std::size_t InputFile::view(const unsigned char*& data, std::size_t size) {
    if (handle_ == nullptr) return 0;
    Reader& r = reader(handle_);
    return r.buffer.view(data, size, [&](unsigned char* into, std::size_t n) { return readOnce(r.fd, into, n); });
}

bool InputFile::seek(std::int64_t offset) {
    if (handle_ == nullptr) return false;
    Reader& r = reader(handle_);
    if (::lseek(r.fd, static_cast<off_t>(offset), SEEK_SET) < 0) return false;
    r.buffer.reset();
    return true;
}

std::int64_t InputFile::length() {
    if (handle_ == nullptr) return -1;
    struct stat st {};
    return ::fstat(reader(handle_).fd, &st) == 0 ? static_cast<std::int64_t>(st.st_size) : -1;
}

bool InputFile::close() {
    if (handle_ == nullptr) return true;
    Reader* r = &reader(handle_);
    handle_ = nullptr;
    const bool ok = ::close(r->fd) == 0;
    delete r;
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
