// Files and directories on POSIX. Windows' share modes are played by flock:
// an exclusive lock stands for a handle opened without sharing, a shared lock
// for one that shares reading and writing but not deletion.
#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"
#include "platform/posix/native.h"
#include "platform/utf.h"

namespace platform {

namespace {

bool statPath(const std::string& path, struct stat& st) { return ::stat(path.c_str(), &st) == 0; }

}  // namespace

FindResult findFirstFile(const std::u16string& path) {
    struct stat st {};
    if (!statPath(posix::nativePath(path), st)) return FindResult::kNotFound;
    return S_ISDIR(st.st_mode) ? FindResult::kDirectory : FindResult::kFile;
}

std::uint32_t openReadWriteTest(const std::u16string& path) {
    const std::string native = posix::nativePath(path);
    const int fd = ::open(native.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return posix::errorFromErrno(errno, native);
    const bool held = posix::lockedByOther(fd, LOCK_SH);
    ::close(fd);
    return held ? kErrorSharingViolation : kErrorSuccess;
}

bool isDirectory(const std::u16string& path) {
    struct stat st {};
    return statPath(posix::nativePath(path), st) && S_ISDIR(st.st_mode);
}

std::uint32_t createDirectory(const std::u16string& path) {
    const std::string native = posix::nativePath(path);
    if (::mkdir(native.c_str(), 0777) == 0) return kErrorSuccess;
    // Windows names a missing parent 3 here, never 2.
    return errno == ENOENT ? kErrorPathNotFound : posix::errorFromErrno(errno, native);
}

std::uint32_t removeDirectory(const std::u16string& path) {
    const std::string native = posix::nativePath(path);
    return ::rmdir(native.c_str()) == 0 ? kErrorSuccess : posix::errorFromErrno(errno, native);
}

std::uint32_t moveFileReplace(const std::u16string& from, const std::u16string& to) {
    const std::string source = posix::nativePath(from);
    const std::string target = posix::nativePath(to);
    // Where nothing is at the target there is nothing to refuse: one call.
    if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) return kErrorSuccess;
    if (posix::replaceRefused(target)) return kErrorAccessDenied;
    if (::rename(source.c_str(), target.c_str()) == 0) return kErrorSuccess;
    return posix::renameError(errno, source);
}

std::uint32_t renameFile(const std::u16string& from, const std::u16string& to) {
    const std::string source = posix::nativePath(from);
    const std::string target = posix::nativePath(to);
    // Windows refuses to rename a file that another process holds open
    // without delete sharing.
    const int fd = ::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd >= 0) {
        struct stat st {};
        const bool held = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && posix::lockedByOther(fd, LOCK_EX);
        ::close(fd);
        if (held) return kErrorSharingViolation;
    }
    int err = 0;
    if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) return kErrorSuccess;
    err = errno;
    if (err == EINVAL || err == ENOSYS) {
        // A file system without RENAME_NOREPLACE: nothing else renames here
        // while the Updater runs, so a test first is as good.
        struct stat st {};
        if (::lstat(target.c_str(), &st) == 0) return kErrorAlreadyExists;
        if (::rename(source.c_str(), target.c_str()) == 0) return kErrorSuccess;
        err = errno;
    }
    return posix::renameError(err, source);
}

std::uint32_t copyFileNew(const std::u16string& from, const std::u16string& to) {
    const std::string source = posix::nativePath(from);
    const std::string target = posix::nativePath(to);
    const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (in < 0) return posix::errorFromErrno(errno, source);
    struct stat st {};
    if (::fstat(in, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(in);
        return kErrorAccessDenied;
    }
    const int out = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, st.st_mode & 07777);
    if (out < 0) {
        const int err = errno;
        ::close(in);
        return err == EEXIST ? kErrorFileExists : posix::errorFromErrno(err, target);
    }
    std::uint32_t result = kErrorSuccess;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(in, buffer, sizeof buffer);
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            result = posix::errorFromErrno(errno, source);
            break;
        }
        ssize_t done = 0;
        while (done < got) {
            const ssize_t put = ::write(out, buffer + done, static_cast<std::size_t>(got - done));
            if (put < 0 && errno == EINTR) continue;
            if (put <= 0) {
                result = posix::errorFromErrno(put < 0 ? errno : ENOSPC, target);
                break;
            }
            done += put;
        }
        if (result != kErrorSuccess) break;
    }
    ::close(in);
    if (::close(out) != 0 && result == kErrorSuccess) result = posix::errorFromErrno(errno, target);
    if (result != kErrorSuccess) ::unlink(target.c_str());  // no half copy is left behind
    return result;
}

std::uint32_t deleteFile(const std::u16string& path) {
    const std::string native = posix::nativePath(path);
    // A directory gives EISDIR, which is 5 as on Windows.
    return ::unlink(native.c_str()) == 0 ? kErrorSuccess : posix::errorFromErrno(errno, native);
}

bool listDirectory(const std::u16string& dir, std::vector<DirEntry>& out) {
    const std::string native = posix::nativePath(dir);
    DIR* d = ::opendir(native.c_str());
    if (d == nullptr) return false;
    out.clear();
    while (const dirent* entry = ::readdir(d)) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..") continue;
        bool directory = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
            struct stat st {};
            directory = statPath(native + "/" + entry->d_name, st) && S_ISDIR(st.st_mode);
        }
        out.push_back({utf8ToUtf16(name), directory});
    }
    ::closedir(d);
    return true;
}

bool othersMayWrite(const std::u16string& path) {
    struct stat st {};
    if (::lstat(posix::nativePath(path).c_str(), &st) != 0) return false;
    return st.st_uid != ::geteuid() || (st.st_mode & 022) != 0;
}

// ---- the run log's file -----------------------------------------------------

FileHandle createFileAlways(const std::u16string& path) {
    const std::string native = posix::nativePath(path);
    const int fd = ::open(native.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW | O_NONBLOCK, 0666);
    if (fd < 0) return kInvalidFile;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return kInvalidFile;
    }
    // Held without sharing elsewhere: Windows refuses the open. Otherwise the
    // file stays shared for reading and writing (a shared lock) and is
    // truncated only now, as CREATE_ALWAYS would.
    if (::flock(fd, LOCK_SH | LOCK_NB) != 0 || ::ftruncate(fd, 0) != 0) {
        ::close(fd);
        return kInvalidFile;
    }
    return fd;
}

bool writeFile(FileHandle file, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t put = ::write(static_cast<int>(file), bytes, size);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        bytes += put;
        size -= static_cast<std::size_t>(put);
    }
    return true;
}

void closeFile(FileHandle file) {
    if (file != kInvalidFile) ::close(static_cast<int>(file));
}

// ---- durable files ----------------------------------------------------------

namespace {

std::uint32_t createNew(const std::u16string& path, mode_t mode, FileHandle& file) {
    const std::string native = posix::nativePath(path);
    const int fd = ::open(native.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, mode);
    file = fd < 0 ? kInvalidFile : fd;
    if (fd >= 0) return kErrorSuccess;
    return errno == EEXIST ? kErrorFileExists : posix::errorFromErrno(errno, native);
}

}  // namespace

std::uint32_t createFileNew(const std::u16string& path, FileHandle& file) { return createNew(path, 0666, file); }

// The umask can only take bits away from 0600.
std::uint32_t createPrivateFileNew(const std::u16string& path, FileHandle& file) { return createNew(path, 0600, file); }

std::uint32_t writeAll(FileHandle file, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t put = ::write(static_cast<int>(file), bytes, size);
        if (put < 0 && errno == EINTR) continue;
        if (put < 0) return posix::errorFromErrno(errno, {});
        if (put == 0) return kErrorDiskFull;
        bytes += put;
        size -= static_cast<std::size_t>(put);
    }
    return kErrorSuccess;
}

std::uint32_t flushFile(FileHandle file) {
    return ::fsync(static_cast<int>(file)) == 0 ? kErrorSuccess : posix::errorFromErrno(errno, {});
}

std::uint32_t syncDirectory(const std::u16string& dir) {
    const std::string native = posix::nativePath(dir);
    const int fd = ::open(native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return posix::errorFromErrno(errno, native);
    const std::uint32_t code = ::fsync(fd) == 0 ? kErrorSuccess : posix::errorFromErrno(errno, native);
    ::close(fd);
    return code;
}

// One syncfs per file system: it writes every file's data and metadata there,
// which costs about what the data alone costs.
std::uint32_t flushFileSystems(const std::vector<std::u16string>& directories) {
    std::vector<dev_t> flushed;
    for (const std::u16string& dir : directories) {
        const std::string native = posix::nativePath(dir.empty() ? u"." : dir);
        const int fd = ::open(native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return posix::errorFromErrno(errno, native);
        struct stat st {};
        std::uint32_t code = kErrorSuccess;
        if (::fstat(fd, &st) != 0) {
            code = posix::errorFromErrno(errno, native);
        } else if (std::find(flushed.begin(), flushed.end(), st.st_dev) == flushed.end()) {
            if (::syncfs(fd) == 0) {
                flushed.push_back(st.st_dev);
            } else {
                code = posix::errorFromErrno(errno, native);
            }
        }
        ::close(fd);
        if (code != kErrorSuccess) return code;
    }
    return kErrorSuccess;
}

std::uint32_t flushExistingFile(const std::u16string& path) {
    const std::string native = posix::nativePath(path);
    // fsync needs no write access; O_NONBLOCK keeps a FIFO from stalling the open.
    const int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return posix::errorFromErrno(errno, native);
    const std::uint32_t code = ::fsync(fd) == 0 ? kErrorSuccess : posix::errorFromErrno(errno, native);
    ::close(fd);
    return code;
}

}  // namespace platform
