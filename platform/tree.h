// The Updater's directory and everything below it, reached without following
// a link. Whoever stages an update can write the staging directory (and often
// the Updater's directory too), so a name there may be a symbolic link, a
// junction or another reparse point leading anywhere; the elevated Updater
// must never read, write, rename or delete through one.
//
// Every path is relative to the root (the working directory when open() is
// called) and resolved one component at a time, "\" and "/" both separating
// them (empty and "." components are skipped). Each directory on the way is
// opened without following a link and checked to be a directory, and is then
// held for the Tree's lifetime (a bounded number at once):
// - Windows: CreateFileW(GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
//   FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT). A reparse
//   point is refused by its attribute; so is any handle whose path on its
//   volume (GetFileInformationByHandleEx(FileNameInfo)) or whose volume is
//   not the one its name gives, which is how Wine shows a Unix link. Held without FILE_SHARE_DELETE, a
//   directory cannot be renamed, moved or removed by another program while
//   the Updater relies on it.
// - POSIX: openat(parent, name, O_DIRECTORY | O_NOFOLLOW). Nothing can stop
//   the owner of a directory from renaming it, but every call below goes
//   through the descriptors (openat, renameat, unlinkat, mkdirat), so it lands
//   in the directory that was checked, wherever that has been moved.
// The last component is never followed either: a link there is refused where
// a file or directory is needed (681, ERROR_STOPPED_ON_SYMLINK), as is a
// link, a file or a device standing where a directory is needed on the way.
// Files opened for reading must be disk files: regular, not a FIFO or a
// device (POSIX: opened O_NONBLOCK, then S_ISREG; Windows: GetFileType).
//
// Results are Windows error codes, as everywhere in the platform layer; the
// codes of the plain path calls (platform.h) are kept where they apply.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace platform {

// What a name is, seen without following a link.
enum class ItemKind {
    kMissing,    // it, or a directory on the way, does not exist
    kFile,       // a regular file
    kDirectory,
    kLink,       // it, or a directory on the way, is a link or another reparse point
    kOther,      // a FIFO, a device, a socket; or a file where a directory is needed on the way
};

class Tree {
public:
    Tree();
    ~Tree();
    Tree(const Tree&) = delete;
    Tree& operator=(const Tree&) = delete;

    // Makes the working directory the root. Returns 0 or the error code.
    std::uint32_t open();
    bool isOpen() const;
    // Lets go of every directory held, the root included; open() again to go on.
    void close();

    ItemKind find(const std::u16string& path);

    // A regular disk file for reading, shared for reading and writing as
    // InputFile::open shares it. With singleName, a file with another name
    // (a hard link) is refused (5). Returns 0 or the error code.
    std::uint32_t openForReading(const std::u16string& path, InputFile& file, bool singleName = false);

    // The whole of a file opened as openForReading opens it; 13 when it
    // holds more than limit bytes, none of which are then read.
    std::uint32_t readFile(const std::u16string& path, std::size_t limit, std::string& bytes);
    // platform::openReadWriteTest for a regular file at path (a disk file
    // that is not a link; anything else gives 5).
    std::uint32_t openReadWriteTest(const std::u16string& path);
    std::uint32_t createDirectory(const std::u16string& path);
    // An empty directory (not a link); the Tree lets go of it first.
    std::uint32_t removeDirectory(const std::u16string& path);
    // The file at from (a regular file, never a link's target) to the name to,
    // replacing a file there when replace is set (moveFileReplace's codes),
    // otherwise refusing (183) as renameFile does.
    std::uint32_t moveFile(const std::u16string& from, const std::u16string& to, bool replace);
    // A file, or a link itself (a link is never followed): deleteFile's codes.
    std::uint32_t deleteFile(const std::u16string& path);
    // createFileNew at path; a link there counts as an existing name.
    std::uint32_t createFileNew(const std::u16string& path, FileHandle& file);
    // The names in directory path, links reported as files.
    std::uint32_t listDirectory(const std::u16string& path, std::vector<DirEntry>& out);
    // flushExistingFile for a regular file at path.
    std::uint32_t flushFile(const std::u16string& path);

    // ---- the Updater's own files ---------------------------------------------

    // A new directory that only the Updater may write. POSIX: mode 0700,
    // owned by the Updater's user. Windows: owner Administrators and a
    // protected DACL granting SYSTEM, Administrators and the Updater's user
    // all access, inherited by what is made in it.
    std::uint32_t createPrivateDirectory(const std::u16string& path);
    // 0 when directory path is one that nobody but the Updater may write:
    // POSIX its owner is the Updater's user and its mode grants group and
    // others nothing; Windows its owner is the Updater's user, Administrators
    // or SYSTEM, and no ACE grants anyone else a right to write, delete or
    // change it or what is made in it. 5 when it exists but is not; 681 for
    // a link; 2 or 3 when it is missing.
    std::uint32_t checkPrivateDirectory(const std::u16string& path);
    // Renames the directory (a link: the link itself) at path to the name to,
    // which must not exist. Windows: 681 where only a link's target could be
    // renamed (a Unix link under Wine).
    std::uint32_t renameDirectory(const std::u16string& path, const std::u16string& to);
    // createFileNew for a copy of source. POSIX: with source's mode less the
    // set-id bits and group and other write.
    std::uint32_t createCopy(const std::u16string& path, const InputFile& source, FileHandle& file);
    // moveFile for a file the Updater made (not a link), which then belongs
    // to the installation. Windows: its owner becomes Administrators and its
    // DACL what its new directory hands to new children (SetSecurityInfo,
    // UNPROTECTED_DACL_SECURITY_INFORMATION with an empty DACL), nothing of
    // the private directory left; the code of that call if it fails, the
    // file moved. POSIX: the Updater made it, with its mode.
    std::uint32_t installOwnFile(const std::u16string& from, const std::u16string& to, bool replace);

    // Whether directory path, resolved afresh, is still a directory and the
    // same one it was when this Tree first resolved it (a directory it never
    // resolved counts as the same). False for a path that is missing now or
    // passes through a link.
    bool unchanged(const std::u16string& path);

    struct State;

private:
    std::unique_ptr<State> state_;
};

}  // namespace platform
