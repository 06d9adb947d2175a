// The tree over descriptors: every call is made relative to a directory
// descriptor that was opened with O_NOFOLLOW, with a single name.
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/held_directories.h"
#include "platform/posix/native.h"
#include "platform/tree.h"
#include "platform/utf.h"

namespace platform {

namespace {

// Directory descriptors held at once, of the process's 1024 or so.
constexpr std::size_t kHeldBound = 256;

using Directory = HeldDirectories::Directory;

void closeDescriptor(std::intptr_t fd) { ::close(static_cast<int>(fd)); }

int fdOf(const Directory& dir) { return static_cast<int>(dir.handle); }

std::string native(std::u16string_view name) { return utf16ToUtf8(name); }

struct stat statAt(int dir, const std::string& name, bool& found) {
    struct stat st {};
    found = ::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    return st;
}

// The code for errno err of a call on name in dir: what Windows gives.
std::uint32_t errorAt(int err, int dir, const std::string& name) {
    if (err == ELOOP) return kErrorStoppedOnSymlink;
    if (err == ENOENT) return kErrorFileNotFound;  // the directory itself was found
    if (err == ENOTDIR) {
        bool found = false;
        const struct stat st = statAt(dir, name, found);
        return found && S_ISLNK(st.st_mode) ? kErrorStoppedOnSymlink : kErrorPathNotFound;
    }
    return posix::errorFromErrno(err, {});
}

std::uint32_t openChild(const Directory& parent, std::u16string_view name, const std::u16string&, Directory& out) {
    const std::string n = native(name);
    const int fd = ::openat(fdOf(parent), n.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        const int err = errno;
        // A directory missing on the way is "path not found" on Windows.
        if (err == ENOENT) return kErrorPathNotFound;
        const std::uint32_t code = errorAt(err, fdOf(parent), n);
        return code == kErrorFileNotFound ? kErrorPathNotFound : code;
    }
    struct stat st {};
    ::fstat(fd, &st);
    out.handle = fd;
    out.id = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    return kErrorSuccess;
}

// Opens name in dir without following a link, non-blocking; a link gives 681.
int openAt(int dir, const std::string& name, int flags, std::uint32_t& code) {
    const int fd = ::openat(dir, name.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    code = fd < 0 ? errorAt(errno, dir, name) : kErrorSuccess;
    return fd;
}

// Whether Windows would refuse to replace name in dir (see
// posix::replaceRefused); a FIFO or a device there is not replaced either.
bool replaceRefusedAt(int dir, const std::string& name) {
    std::uint32_t code = kErrorSuccess;
    const int fd = openAt(dir, name, O_RDONLY, code);
    if (fd < 0) return false;
    struct stat st {};
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    const bool held = regular && posix::lockedByOther(fd, LOCK_EX);
    ::close(fd);
    if (held || !regular) return held || !S_ISDIR(st.st_mode);
    const int writer = openAt(dir, name, O_WRONLY, code);
    if (writer >= 0) {
        ::close(writer);
        return false;
    }
    return errno == ETXTBSY || errno == EACCES;
}

}  // namespace

struct Tree::State {
    HeldDirectories dirs{closeDescriptor, kHeldBound};
    HeldDirectories::OpenChild open = openChild;

    std::uint32_t parent(const std::u16string& path, int& dir, std::string& name) {
        const Directory* held = nullptr;
        std::u16string last;
        const std::uint32_t code = dirs.parentOf(path, open, held, last);
        if (code != kErrorSuccess) return code;
        dir = fdOf(*held);
        name = native(last);
        return code;
    }
};

Tree::Tree() : state_(std::make_unique<State>()) {}
Tree::~Tree() = default;

std::uint32_t Tree::open() {
    const int fd = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return posix::errorFromErrno(errno, ".");
    struct stat st {};
    ::fstat(fd, &st);
    state_->dirs.setRoot({fd, {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)}});
    return kErrorSuccess;
}

bool Tree::isOpen() const { return state_->dirs.hasRoot(); }

void Tree::close() { state_->dirs.reset(); }

ItemKind Tree::find(const std::u16string& path) {
    int dir = -1;
    std::string name;
    const std::uint32_t code = state_->parent(path, dir, name);
    if (code == kErrorStoppedOnSymlink) return ItemKind::kLink;
    if (code != kErrorSuccess) return ItemKind::kMissing;
    bool found = false;
    const struct stat st = statAt(dir, name, found);
    if (!found) return ItemKind::kMissing;
    if (S_ISLNK(st.st_mode)) return ItemKind::kLink;
    if (S_ISDIR(st.st_mode)) return ItemKind::kDirectory;
    return S_ISREG(st.st_mode) ? ItemKind::kFile : ItemKind::kOther;
}

std::uint32_t Tree::openForReading(const std::u16string& path, InputFile& file, bool singleName) {
    int dir = -1;
    std::string name;
    std::uint32_t code = state_->parent(path, dir, name);
    if (code != kErrorSuccess) return code;
    const int fd = openAt(dir, name, O_RDONLY, code);
    if (fd < 0) return code;
    struct stat st {};
    code = posix::checkReadable(fd);
    if (code == kErrorSuccess && singleName && (::fstat(fd, &st) != 0 || st.st_nlink != 1)) code = kErrorAccessDenied;
    if (code != kErrorSuccess) {
        ::close(fd);
        return code;
    }
    file.adopt(fd);
    return kErrorSuccess;
}

std::uint32_t Tree::openReadWriteTest(const std::u16string& path) {
    int dir = -1;
    std::string name;
    std::uint32_t code = state_->parent(path, dir, name);
    if (code != kErrorSuccess) return code;
    const int fd = openAt(dir, name, O_RDWR, code);
    if (fd < 0) return code;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        code = kErrorAccessDenied;
    } else if (posix::lockedByOther(fd, LOCK_SH)) {
        code = kErrorSharingViolation;
    }
    ::close(fd);
    return code;
}

std::uint32_t Tree::createDirectory(const std::u16string& path) {
    int dir = -1;
    std::string name;
    const std::uint32_t code = state_->parent(path, dir, name);
    if (code != kErrorSuccess) return code;
    if (::mkdirat(dir, name.c_str(), 0777) == 0) return kErrorSuccess;
    return errno == ENOENT ? kErrorPathNotFound : posix::errorFromErrno(errno, {});
}

std::uint32_t Tree::removeDirectory(const std::u16string& path) {
    int dir = -1;
    std::string name;
    const std::uint32_t code = state_->parent(path, dir, name);
    if (code != kErrorSuccess) return code;
    state_->dirs.release(path);
    // AT_REMOVEDIR removes a directory only, never a link's target.
    if (::unlinkat(dir, name.c_str(), AT_REMOVEDIR) == 0) return kErrorSuccess;
    return errno == ENOTDIR ? kErrorDirectory : errorAt(errno, dir, name);
}

std::uint32_t Tree::moveFile(const std::u16string& from, const std::u16string& to, bool replace) {
    int fromDir = -1, toDir = -1;
    std::string fromName, toName;
    std::uint32_t code = state_->parent(from, fromDir, fromName);
    if (code == kErrorSuccess) code = state_->parent(to, toDir, toName);
    if (code != kErrorSuccess) return code;
    // The source must be a file: never a link (it would be moved into the
    // installation as a link) and never a directory.
    const int fd = openAt(fromDir, fromName, O_RDONLY, code);
    if (fd < 0) return code;
    struct stat st {};
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    // Windows refuses to rename away a file another process holds without delete sharing.
    const bool held = regular && !replace && posix::lockedByOther(fd, LOCK_EX);
    ::close(fd);
    if (!regular) return kErrorAccessDenied;
    if (held) return kErrorSharingViolation;
    if (::renameat2(fromDir, fromName.c_str(), toDir, toName.c_str(), RENAME_NOREPLACE) == 0) return kErrorSuccess;
    int err = errno;
    if (err == EINVAL || err == ENOSYS) {
        // A file system without RENAME_NOREPLACE: nothing else renames here
        // while the Updater runs, so a test first is as good.
        bool found = false;
        statAt(toDir, toName, found);
        err = found ? EEXIST : 0;
        if (!found && ::renameat(fromDir, fromName.c_str(), toDir, toName.c_str()) == 0) return kErrorSuccess;
        if (!found) err = errno;
    }
    if (err != EEXIST) return errorAt(err, fromDir, fromName);
    if (!replace) return kErrorAlreadyExists;
    if (replaceRefusedAt(toDir, toName)) return kErrorAccessDenied;
    if (::renameat(fromDir, fromName.c_str(), toDir, toName.c_str()) == 0) return kErrorSuccess;
    return errorAt(errno, fromDir, fromName);
}

std::uint32_t Tree::deleteFile(const std::u16string& path) {
    int dir = -1;
    std::string name;
    const std::uint32_t code = state_->parent(path, dir, name);
    if (code != kErrorSuccess) return code;
    // A directory gives EISDIR, which is 5 as on Windows.
    return ::unlinkat(dir, name.c_str(), 0) == 0 ? kErrorSuccess : errorAt(errno, dir, name);
}

std::uint32_t Tree::createFileNew(const std::u16string& path, FileHandle& file) {
    file = kInvalidFile;
    int dir = -1;
    std::string name;
    const std::uint32_t code = state_->parent(path, dir, name);
    if (code != kErrorSuccess) return code;
    // O_EXCL never follows a link: one at the name counts as the name taken.
    const int fd = ::openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) return errno == EEXIST ? kErrorFileExists : errorAt(errno, dir, name);
    file = fd;
    return kErrorSuccess;
}

std::uint32_t Tree::listDirectory(const std::u16string& path, std::vector<DirEntry>& out) {
    const Directory* held = nullptr;
    const std::uint32_t code = state_->dirs.directory(path, state_->open, held);
    if (code != kErrorSuccess) return code;
    const int fd = ::openat(fdOf(*held), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* d = fd < 0 ? nullptr : ::fdopendir(fd);
    if (d == nullptr) {
        if (fd >= 0) ::close(fd);
        return posix::errorFromErrno(errno, {});
    }
    out.clear();
    while (const dirent* entry = ::readdir(d)) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..") continue;
        bool directory = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN) {
            bool found = false;
            const struct stat st = statAt(fdOf(*held), entry->d_name, found);
            directory = found && S_ISDIR(st.st_mode);
        }
        out.push_back({utf8ToUtf16(name), directory});
    }
    ::closedir(d);
    return kErrorSuccess;
}

std::uint32_t Tree::flushFile(const std::u16string& path) {
    int dir = -1;
    std::string name;
    std::uint32_t code = state_->parent(path, dir, name);
    if (code != kErrorSuccess) return code;
    const int fd = openAt(dir, name, O_RDONLY, code);
    if (fd < 0) return code;
    code = ::fsync(fd) == 0 ? kErrorSuccess : posix::errorFromErrno(errno, {});
    ::close(fd);
    return code;
}

std::uint32_t Tree::createPrivateDirectory(const std::u16string& path) {
    int dir = -1;
    std::string name;
    std::uint32_t code = state_->parent(path, dir, name);
    if (code != kErrorSuccess) return code;
    if (::mkdirat(dir, name.c_str(), 0700) != 0) return posix::errorFromErrno(errno, {});
    // The umask may only have taken bits away; 0700 exactly, and ours.
    const int fd = openAt(dir, name, O_RDONLY | O_DIRECTORY, code);
    if (fd < 0) return code;
    if (::fchmod(fd, 0700) != 0) code = posix::errorFromErrno(errno, {});
    ::close(fd);
    return code;
}

std::uint32_t Tree::checkPrivateDirectory(const std::u16string& path) {
    int dir = -1;
    std::string name;
    std::uint32_t code = state_->parent(path, dir, name);
    if (code != kErrorSuccess) return code;
    bool found = false;
    const struct stat st = statAt(dir, name, found);
    if (!found) return kErrorFileNotFound;
    if (S_ISLNK(st.st_mode)) return kErrorStoppedOnSymlink;
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() || (st.st_mode & 077) != 0) return kErrorAccessDenied;
    return kErrorSuccess;
}

std::uint32_t Tree::renameDirectory(const std::u16string& path, const std::u16string& to) {
    int fromDir = -1, toDir = -1;
    std::string fromName, toName;
    std::uint32_t code = state_->parent(path, fromDir, fromName);
    if (code == kErrorSuccess) code = state_->parent(to, toDir, toName);
    if (code != kErrorSuccess) return code;
    state_->dirs.release(path);
    // renameat moves the name: a link is renamed as a link, never followed.
    if (::renameat2(fromDir, fromName.c_str(), toDir, toName.c_str(), RENAME_NOREPLACE) == 0) return kErrorSuccess;
    return errno == EEXIST ? kErrorAlreadyExists : errorAt(errno, fromDir, fromName);
}

std::uint32_t Tree::createCopy(const std::u16string& path, const InputFile& source, FileHandle& file) {
    struct stat st {};
    if (::fstat(static_cast<int>(source.native()), &st) != 0) return posix::errorFromErrno(errno, {});
    std::uint32_t code = createFileNew(path, file);
    if (code != kErrorSuccess) return code;
    // Whoever staged the file cannot change it where it lands.
    if (::fchmod(static_cast<int>(file), st.st_mode & 0755) != 0) {
        code = posix::errorFromErrno(errno, {});
        ::close(static_cast<int>(file));
        file = kInvalidFile;
        deleteFile(path);
    }
    return code;
}

std::uint32_t Tree::installOwnFile(const std::u16string& from, const std::u16string& to, bool replace) {
    return moveFile(from, to, replace);
}

bool Tree::unchanged(const std::u16string& path) { return state_->dirs.unchanged(path, state_->open); }

}  // namespace platform
