#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <iterator>

#include "platform/pinned_file.h"
#include "platform/platform.h"
#include "platform/posix/native.h"

namespace platform {
namespace {

// What a change of the file's content or names would change.
void record(const struct stat& st, std::uint64_t out[5]) {
    out[0] = static_cast<std::uint64_t>(st.st_dev);
    out[1] = static_cast<std::uint64_t>(st.st_ino);
    out[2] = static_cast<std::uint64_t>(st.st_size);
    out[3] = static_cast<std::uint64_t>(st.st_ctim.tv_sec);
    out[4] = static_cast<std::uint64_t>(st.st_ctim.tv_nsec);
}

// Whoever staged the file must not be able to change it where it lands.
bool takeOver(int fd, const struct stat& st) {
    const uid_t user = ::geteuid();
    const gid_t group = ::getegid();
    if ((st.st_uid != user || st.st_gid != group) && ::fchown(fd, user, group) != 0) return false;
    const mode_t kept = st.st_mode & 0755;
    return kept == (st.st_mode & 07777) || ::fchmod(fd, kept) == 0;
}

}  // namespace

std::uint32_t PinnedFile::open(const std::u16string& path) {
    close();
    const std::string native = posix::nativePath(path);
    const int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW);
    if (fd < 0) return errno == ELOOP ? kErrorAccessDenied : posix::errorFromErrno(errno, native);
    struct stat st {};
    std::uint32_t code = kErrorSuccess;
    if (::fstat(fd, &st) != 0) {
        code = posix::errorFromErrno(errno, native);
    } else if (!S_ISREG(st.st_mode)) {
        code = kErrorAccessDenied;
    } else if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::flock(fd, LOCK_SH | LOCK_NB) != 0) {
        // Any other holder, this program's other pins of the file included,
        // conflicts with a handle that refuses writers and deleters; the
        // pin itself lets readers in.
        code = kErrorSharingViolation;
    }
    if (code != kErrorSuccess) {
        ::close(fd);
        return code;
    }
    handle_ = fd;
    path_ = path;
    record(st, opened_);
    return kErrorSuccess;
}

std::uint32_t PinnedFile::moveTo(const std::u16string& target) {
    if (!isOpen()) return kErrorInvalidParameter;
    const int fd = static_cast<int>(handle_);
    const std::string source = posix::nativePath(path_);
    const std::string to = posix::nativePath(target);
    struct stat held {};
    std::uint64_t now[5];
    if (::fstat(fd, &held) != 0) return posix::errorFromErrno(errno, source);
    record(held, now);
    if (!std::equal(std::begin(now), std::end(now), opened_)) return kErrorFileInvalid;
    if (!takeOver(fd, held)) return kErrorAccessDenied;
    if (posix::replaceRefused(to)) return kErrorAccessDenied;
    struct stat named {};
    if (::lstat(source.c_str(), &named) != 0 || named.st_dev != held.st_dev || named.st_ino != held.st_ino) {
        return kErrorFileInvalid;
    }
    if (::rename(source.c_str(), to.c_str()) != 0) return posix::renameError(errno, source);
    path_ = target;
    return kErrorSuccess;
}

std::uint32_t PinnedFile::flush() {
    if (!isOpen()) return kErrorInvalidParameter;
    return ::fsync(static_cast<int>(handle_)) == 0 ? kErrorSuccess : posix::errorFromErrno(errno, {});
}

void PinnedFile::close() {
    if (handle_ != -1) ::close(static_cast<int>(handle_));
    handle_ = -1;
}

}  // namespace platform
