// Key files and the system's random source on POSIX.
#include <cerrno>
#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include "platform/platform.h"
#include "platform/posix/native.h"

namespace platform {

std::uint32_t createPrivateFileNew(const std::u16string& path, FileHandle& file) {
    const std::string native = posix::nativePath(path);
    // The umask can only take bits away from 0600.
    const int fd = ::open(native.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0600);
    file = fd < 0 ? kInvalidFile : fd;
    if (fd >= 0) return kErrorSuccess;
    return errno == EEXIST ? kErrorFileExists : posix::errorFromErrno(errno, native);
}

bool randomBytes(void* out, std::size_t size) {
    auto* bytes = static_cast<unsigned char*>(out);
    while (size > 0) {
        const ssize_t got = ::getrandom(bytes, size, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        bytes += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

}  // namespace platform
