#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "platform/held_file.h"
#include "platform/posix/native.h"

namespace platform {

HeldFile::HeldFile(const std::u16string& path, Sharing sharing) {
    const std::string native = posix::nativePath(path);
    const int fd = ::open(native.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return;
    if (::flock(fd, (sharing == Sharing::kNone ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
        ::close(fd);
        return;
    }
    handle_ = fd;
    held_ = true;
}

HeldFile::~HeldFile() {
    if (held_) ::close(static_cast<int>(handle_));
}

}  // namespace platform
