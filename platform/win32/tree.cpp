// The tree on Windows. Win32 has no call that opens a name relative to a
// directory handle, so every call takes the path relative to the root, which
// is the working directory; what keeps it from reaching elsewhere is that
// each directory on the way is held (and so cannot be renamed or replaced)
// and that every handle opened is checked to be what its name says: no
// reparse point, on the root's volume, and with the path on the volume
// (FileNameInfo) that its name gives. The last check is the one that sees a Unix link under Wine, which
// opens a link's target even with FILE_FLAG_OPEN_REPARSE_POINT.
// Files are moved and deleted through the handle that was checked.
#include <windows.h>

#include <cstring>
#include <vector>

#include "platform/held_directories.h"
#include "platform/tree.h"
#include "platform/win32/security.h"
#include "platform/win32/wide.h"

namespace platform {

namespace {

// Directory handles held at once; Windows has no tight limit on handles.
constexpr std::size_t kHeldBound = 4096;

using Directory = HeldDirectories::Directory;

void closeHandle(std::intptr_t handle) { ::CloseHandle(reinterpret_cast<HANDLE>(handle)); }

std::u16string fullPath(const std::u16string& path) {
    DWORD size = MAX_PATH;
    for (;;) {
        std::vector<wchar_t> buffer(size);
        const DWORD length = ::GetFullPathNameW(win32::wide(path), size, buffer.data(), nullptr);
        if (length == 0) return {};
        if (length < size) return win32::utf16(buffer.data());
        size = length + 1;
    }
}

// The path of handle as the file system has it, without its volume
// (FileNameInfo: GetFinalPathNameByHandleW gives up on long paths under Wine).
std::u16string finalPath(HANDLE handle) {
    std::vector<unsigned char> buffer(sizeof(FILE_NAME_INFO) + 32768 * sizeof(wchar_t));
    if (!::GetFileInformationByHandleEx(handle, FileNameInfo, buffer.data(), static_cast<DWORD>(buffer.size()))) {
        return {};
    }
    const auto* info = reinterpret_cast<const FILE_NAME_INFO*>(buffer.data());
    return std::u16string(win32::utf16(info->FileName), info->FileNameLength / sizeof(wchar_t));
}

bool sameName(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() &&
           ::CompareStringOrdinal(win32::wide(a.data()), static_cast<int>(a.size()), win32::wide(b.data()),
                                  static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

void dropTrailingSeparator(std::u16string& path) {
    if (!path.empty() && path.back() == u'\\') path.pop_back();
}

enum class Want { kDirectory, kFile, kFileOrLink };

struct Root {
    std::u16string full;   // GetFullPathNameW of the working directory, no trailing "\"
    std::u16string final;  // its final path without the volume, no trailing "\"
    DWORD volume = 0;
};

// Whether handle, opened by path, is what path names and what is wanted;
// 0, 681 for a reparse point or another place, 3 or 5 for the wrong kind.
std::uint32_t check(const Root& root, HANDLE handle, const std::u16string& path, Want want,
                    BY_HANDLE_FILE_INFORMATION& info) {
    if (!::GetFileInformationByHandle(handle, &info)) return ::GetLastError();
    const bool directory = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const bool reparse = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (reparse && want != Want::kFileOrLink) return kErrorStoppedOnSymlink;
    // A link opened as itself may be a directory's.
    const bool kindMatters = !(reparse && want == Want::kFileOrLink);
    if (kindMatters && directory != (want == Want::kDirectory)) {
        return want == Want::kDirectory ? kErrorPathNotFound : kErrorAccessDenied;
    }
    if (info.dwVolumeSerialNumber != root.volume) return kErrorStoppedOnSymlink;
    const std::u16string full = fullPath(path);
    const std::size_t base = root.full.size();
    if (full.size() <= base + 1 || full[base] != u'\\' || !sameName(std::u16string_view(full).substr(0, base), root.full)) {
        return kErrorStoppedOnSymlink;
    }
    std::u16string final = finalPath(handle);
    dropTrailingSeparator(final);
    if (!sameName(final, root.final + full.substr(base))) return kErrorStoppedOnSymlink;
    return kErrorSuccess;
}

std::array<std::uint64_t, 2> identity(const BY_HANDLE_FILE_INFORMATION& info) {
    return {info.dwVolumeSerialNumber, static_cast<std::uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow};
}

// Opens path with flags; on success checks it as want.
std::uint32_t openChecked(const Root& root, const std::u16string& path, DWORD access, DWORD share, DWORD flags,
                          Want want, HANDLE& handle, BY_HANDLE_FILE_INFORMATION& info) {
    handle = ::CreateFileW(win32::wide(path), access, share, nullptr, OPEN_EXISTING,
                           flags | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return ::GetLastError();
    std::uint32_t code = check(root, handle, path, want, info);
    // A device or a pipe under a file's name is not a file.
    if (code == kErrorSuccess && want != Want::kDirectory && ::GetFileType(handle) != FILE_TYPE_DISK) {
        code = kErrorAccessDenied;
    }
    if (code != kErrorSuccess) {
        ::CloseHandle(handle);
        handle = INVALID_HANDLE_VALUE;
    }
    return code;
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

}  // namespace

struct Tree::State {
    Root root;
    HeldDirectories dirs{closeHandle, kHeldBound};
    // Held without FILE_SHARE_DELETE and with read access, which Windows
    // (and Wine, among its processes) weighs against a rename or a removal.
    HeldDirectories::OpenChild open = [this](const Directory&, std::u16string_view, const std::u16string& path,
                                             Directory& out) {
        HANDLE handle = INVALID_HANDLE_VALUE;
        BY_HANDLE_FILE_INFORMATION info{};
        std::uint32_t code = openChecked(root, path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         FILE_FLAG_BACKUP_SEMANTICS, Want::kDirectory, handle, info);
        if (code == kErrorFileNotFound) code = kErrorPathNotFound;
        if (code != kErrorSuccess) return code;
        out.handle = reinterpret_cast<std::intptr_t>(handle);
        out.id = identity(info);
        return code;
    };

    std::uint32_t parent(const std::u16string& path) {
        const Directory* held = nullptr;
        std::u16string name;
        return dirs.parentOf(path, open, held, name);
    }

    // Renames the file of handle to path, as one call of the file system.
    std::uint32_t renameHandle(HANDLE handle, const std::u16string& path, bool replace) {
        const std::u16string full = fullPath(path);
        if (full.empty()) return ::GetLastError();
        const std::size_t nameBytes = full.size() * sizeof(wchar_t);
        std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + nameBytes);
        auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
        info->ReplaceIfExists = replace ? TRUE : FALSE;
        info->RootDirectory = nullptr;
        info->FileNameLength = static_cast<DWORD>(nameBytes);
        std::memcpy(info->FileName, full.c_str(), nameBytes + sizeof(wchar_t));
        if (::SetFileInformationByHandle(handle, FileRenameInfo, info, static_cast<DWORD>(buffer.size()))) {
            return kErrorSuccess;
        }
        return ::GetLastError();
    }
};

Tree::Tree() : state_(std::make_unique<State>()) {}
Tree::~Tree() = default;

std::uint32_t Tree::open() {
    State& s = *state_;
    s.dirs.reset();
    const HANDLE handle = ::CreateFileW(L".", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return ::GetLastError();
    BY_HANDLE_FILE_INFORMATION info{};
    s.root.full = fullPath(u".");
    s.root.final = finalPath(handle);
    if (!::GetFileInformationByHandle(handle, &info) || s.root.full.empty() || s.root.final.empty()) {
        const std::uint32_t code = ::GetLastError();
        ::CloseHandle(handle);
        return code == kErrorSuccess ? kErrorInvalidFunction : code;
    }
    dropTrailingSeparator(s.root.full);
    dropTrailingSeparator(s.root.final);
    s.root.volume = info.dwVolumeSerialNumber;
    s.dirs.setRoot({reinterpret_cast<std::intptr_t>(handle), identity(info)});
    return kErrorSuccess;
}

bool Tree::isOpen() const { return state_->dirs.hasRoot(); }

void Tree::close() { state_->dirs.reset(); }

ItemKind Tree::find(const std::u16string& path) {
    const std::uint32_t code = state_->parent(path);
    if (code == kErrorStoppedOnSymlink) return ItemKind::kLink;
    if (code != kErrorSuccess) return ItemKind::kMissing;
    const DWORD attributes = ::GetFileAttributesW(win32::wide(path));
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = ::GetLastError();
        return error == kErrorFileNotFound || error == kErrorPathNotFound ? ItemKind::kMissing : ItemKind::kOther;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return ItemKind::kLink;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? ItemKind::kDirectory : ItemKind::kFile;
}

std::uint32_t Tree::openForReading(const std::u16string& path, InputFile& file, bool singleName) {
    std::uint32_t code = state_->parent(path);
    if (code != kErrorSuccess) return code;
    HANDLE handle = INVALID_HANDLE_VALUE;
    BY_HANDLE_FILE_INFORMATION info{};
    code = openChecked(state_->root, path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_FLAG_SEQUENTIAL_SCAN,
                       Want::kFile, handle, info);
    if (code != kErrorSuccess) return code;
    if (singleName && info.nNumberOfLinks != 1) {
        ::CloseHandle(handle);
        return kErrorAccessDenied;
    }
    file.adopt(reinterpret_cast<std::intptr_t>(handle));
    return kErrorSuccess;
}

std::uint32_t Tree::openReadWriteTest(const std::u16string& path) {
    std::uint32_t code = state_->parent(path);
    if (code != kErrorSuccess) return code;
    HANDLE handle = INVALID_HANDLE_VALUE;
    BY_HANDLE_FILE_INFORMATION info{};
    code = openChecked(state_->root, path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, 0,
                       Want::kFile, handle, info);
    if (code == kErrorSuccess) ::CloseHandle(handle);
    return code;
}

std::uint32_t Tree::createDirectory(const std::u16string& path) {
    const std::uint32_t code = state_->parent(path);
    if (code != kErrorSuccess) return code;
    return ::CreateDirectoryW(win32::wide(path), nullptr) ? std::uint32_t{kErrorSuccess} : ::GetLastError();
}

std::uint32_t Tree::removeDirectory(const std::u16string& path) {
    std::uint32_t code = state_->parent(path);
    if (code != kErrorSuccess) return code;
    // Held, it would refuse the removal.
    state_->dirs.release(path);
    HANDLE handle = INVALID_HANDLE_VALUE;
    BY_HANDLE_FILE_INFORMATION info{};
    code = openChecked(state_->root, path, DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE, kShareAll,
                       FILE_FLAG_BACKUP_SEMANTICS, Want::kDirectory, handle, info);
    if (code == kErrorPathNotFound) code = kErrorDirectory;
    if (code != kErrorSuccess) return code;
    FILE_DISPOSITION_INFO disposition{TRUE};
    if (!::SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition)) {
        code = ::GetLastError();
    }
    ::CloseHandle(handle);
    return code;
}

std::uint32_t Tree::moveFile(const std::u16string& from, const std::u16string& to, bool replace) {
    std::uint32_t code = state_->parent(from);
    if (code == kErrorSuccess) code = state_->parent(to);
    if (code != kErrorSuccess) return code;
    HANDLE handle = INVALID_HANDLE_VALUE;
    BY_HANDLE_FILE_INFORMATION info{};
    code = openChecked(state_->root, from, DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE, kShareAll, 0, Want::kFile,
                       handle, info);
    if (code != kErrorSuccess) return code;
    code = state_->renameHandle(handle, to, replace);
    ::CloseHandle(handle);
    return code;
}

std::uint32_t Tree::deleteFile(const std::u16string& path) {
    std::uint32_t code = state_->parent(path);
    if (code != kErrorSuccess) return code;
    HANDLE handle = INVALID_HANDLE_VALUE;
    BY_HANDLE_FILE_INFORMATION info{};
    // A link opened this way is the link itself, and only it goes.
    code = openChecked(state_->root, path, DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE, kShareAll, 0,
                       Want::kFileOrLink, handle, info);
    if (code != kErrorSuccess) return code;
    FILE_DISPOSITION_INFO disposition{TRUE};
    if (!::SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition)) {
        code = ::GetLastError();
    }
    ::CloseHandle(handle);
    return code;
}

std::uint32_t Tree::createFileNew(const std::u16string& path, FileHandle& file) {
    file = kInvalidFile;
    const std::uint32_t code = state_->parent(path);
    if (code != kErrorSuccess) return code;
    // CREATE_NEW takes a link at the name, even a dangling one, for the name taken.
    const HANDLE handle = ::CreateFileW(win32::wide(path), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return ::GetLastError();
    file = reinterpret_cast<FileHandle>(handle);
    return kErrorSuccess;
}

std::uint32_t Tree::listDirectory(const std::u16string& path, std::vector<DirEntry>& out) {
    const Directory* held = nullptr;
    const std::uint32_t code = state_->dirs.directory(path, state_->open, held);
    if (code != kErrorSuccess) return code;
    const std::u16string pattern = pathComponents(path).empty() ? std::u16string(u"*") : path + u"\\*";
    WIN32_FIND_DATAW data{};
    const HANDLE find = ::FindFirstFileW(win32::wide(pattern), &data);
    if (find == INVALID_HANDLE_VALUE) return ::GetLastError();
    out.clear();
    do {
        const std::u16string name = win32::utf16(data.cFileName);
        if (name == u"." || name == u"..") continue;
        const bool link = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        out.push_back({name, !link && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
    return kErrorSuccess;
}

std::uint32_t Tree::flushFile(const std::u16string& path) {
    std::uint32_t code = state_->parent(path);
    if (code != kErrorSuccess) return code;
    HANDLE handle = INVALID_HANDLE_VALUE;
    BY_HANDLE_FILE_INFORMATION info{};
    code = openChecked(state_->root, path, GENERIC_WRITE, kShareAll, 0, Want::kFile, handle, info);
    if (code != kErrorSuccess) return code;
    if (!::FlushFileBuffers(handle)) code = ::GetLastError();
    ::CloseHandle(handle);
    return code;
}

std::uint32_t Tree::createPrivateDirectory(const std::u16string& path) {
    const std::uint32_t code = state_->parent(path);
    return code != kErrorSuccess ? code : win32::createPrivateDirectory(path);
}

std::uint32_t Tree::checkPrivateDirectory(const std::u16string& path) {
    std::uint32_t code = state_->parent(path);
    if (code != kErrorSuccess) return code;
    HANDLE handle = INVALID_HANDLE_VALUE;
    BY_HANDLE_FILE_INFORMATION info{};
    code = openChecked(state_->root, path, READ_CONTROL | FILE_READ_ATTRIBUTES, kShareAll, FILE_FLAG_BACKUP_SEMANTICS,
                       Want::kDirectory, handle, info);
    if (code == kErrorPathNotFound && find(path) == ItemKind::kFile) return kErrorAccessDenied;
    if (code != kErrorSuccess) return code;
    code = win32::checkPrivate(handle);
    ::CloseHandle(handle);
    return code;
}

std::uint32_t Tree::renameDirectory(const std::u16string& path, const std::u16string& to) {
    std::uint32_t code = state_->parent(path);
    if (code == kErrorSuccess) code = state_->parent(to);
    if (code != kErrorSuccess) return code;
    state_->dirs.release(path);
    HANDLE handle = INVALID_HANDLE_VALUE;
    BY_HANDLE_FILE_INFORMATION info{};
    // A reparse point opened so is the link itself, which may be renamed;
    // a handle elsewhere (Wine's way with a Unix link) may not.
    code = openChecked(state_->root, path, DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE, kShareAll,
                       FILE_FLAG_BACKUP_SEMANTICS, Want::kDirectory, handle, info);
    if (code == kErrorStoppedOnSymlink || code == kErrorPathNotFound) {
        code = openChecked(state_->root, path, DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE, kShareAll,
                           FILE_FLAG_BACKUP_SEMANTICS, Want::kFileOrLink, handle, info);
    }
    if (code != kErrorSuccess) return code;
    code = state_->renameHandle(handle, to, false);
    ::CloseHandle(handle);
    return code;
}

std::uint32_t Tree::createCopy(const std::u16string& path, const InputFile&, FileHandle& file) {
    return createFileNew(path, file);
}

std::uint32_t Tree::installOwnFile(const std::u16string& from, const std::u16string& to, bool replace) {
    std::uint32_t code = state_->parent(from);
    if (code == kErrorSuccess) code = state_->parent(to);
    if (code != kErrorSuccess) return code;
    HANDLE handle = INVALID_HANDLE_VALUE;
    BY_HANDLE_FILE_INFORMATION info{};
    code = openChecked(state_->root, from,
                       DELETE | READ_CONTROL | WRITE_DAC | WRITE_OWNER | FILE_READ_ATTRIBUTES | SYNCHRONIZE, kShareAll, 0,
                       Want::kFile, handle, info);
    if (code != kErrorSuccess) return code;
    code = state_->renameHandle(handle, to, replace);
    // Moved, it still carries the private directory's DACL: the target
    // directory's is what it must have.
    if (code == kErrorSuccess) code = win32::giveToInstallation(handle);
    ::CloseHandle(handle);
    return code;
}

bool Tree::unchanged(const std::u16string& path) { return state_->dirs.unchanged(path, state_->open); }

}  // namespace platform
