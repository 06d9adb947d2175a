#include "platform/posix/native.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"
#include "platform/utf.h"

namespace platform::posix {

std::string nativePath(const std::u16string& path) {
    std::string out = utf16ToUtf8(path);
    for (char& c : out) {
        if (c == '\\') c = '/';
    }
    return out;
}

std::uint32_t missingFileCode(const std::string& path) {
    std::string::size_type end = path.size();
    while (end > 1 && path[end - 1] == '/') --end;  // "dir/" names dir
    const std::string::size_type slash = path.rfind('/', end - (end > 0 ? 1 : 0));
    if (slash == std::string::npos) return kErrorFileNotFound;  // in the working directory
    const std::string parent = slash == 0 ? std::string("/") : path.substr(0, slash);
    struct stat st {};
    if (::stat(parent.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return kErrorPathNotFound;
    return kErrorFileNotFound;
}

// Anything without a closer Windows counterpart becomes ERROR_INVALID_FUNCTION
// (1): a code that no message of the program singles out.
std::uint32_t errorFromErrno(int err, const std::string& path) {
    switch (err) {
        case 0: return kErrorSuccess;
        case ENOENT: return missingFileCode(path);
        case ENOTDIR: return kErrorPathNotFound;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR: return kErrorAccessDenied;
        case EEXIST: return kErrorAlreadyExists;
        case ETXTBSY:
        case EBUSY:
        case EWOULDBLOCK: return kErrorSharingViolation;
        case EXDEV: return kErrorNotSameDevice;
        case ENAMETOOLONG: return kErrorFilenameTooLong;
        case ENOTEMPTY: return kErrorDirNotEmpty;
        case ENOSPC: return kErrorDiskFull;
        case ENOMEM: return kErrorNotEnoughMemory;
        case EINVAL: return kErrorInvalidParameter;
        case EMFILE:
        case ENFILE: return kErrorTooManyOpenFiles;
        case ENOEXEC: return kErrorBadExeFormat;
        default: return kErrorInvalidFunction;
    }
}

bool lockedByOther(int fd, int operation) {
    if (::flock(fd, operation | LOCK_NB) == 0) {
        ::flock(fd, LOCK_UN);
        return false;
    }
    return errno == EWOULDBLOCK;
}

bool replaceRefused(const std::string& target) {
    const int fd = ::open(target.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st {};
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    const bool held = regular && lockedByOther(fd, LOCK_EX);
    ::close(fd);
    if (held || !regular) return held;
    const int writer = ::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (writer >= 0) {
        ::close(writer);
        return false;
    }
    return errno == ETXTBSY || errno == EACCES;
}

std::uint32_t checkReadable(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return kErrorAccessDenied;
    if (lockedByOther(fd, LOCK_SH)) return kErrorSharingViolation;
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) return errorFromErrno(errno, {});
    return kErrorSuccess;
}

std::uint32_t renameError(int err, const std::string& source) {
    if (err != ENOENT) return errorFromErrno(err, source);
    // Missing source file: 2; a missing directory on either side: 3.
    return ::access(source.c_str(), F_OK) != 0 ? missingFileCode(source) : kErrorPathNotFound;
}

}  // namespace platform::posix
