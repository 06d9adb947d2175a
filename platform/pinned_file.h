// A file held open from its reading to its move, so that the bytes read are
// the bytes that land where it is moved: the staged files of a signed update.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Windows: CreateFileW(GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ,
// OPEN_EXISTING); the write access serves only its flush.
// The open fails (32) while another handle may write or delete the file or
// does not share deletion; once it is held, nobody may write, delete, rename
// or replace it. The move goes through the handle
// (SetFileInformationByHandle(FileRenameInfo) replacing the target), so it
// moves the very file that was read, wherever its name has gone.
//
// POSIX: the descriptor (O_NOFOLLOW: a link is not opened) with a shared
// flock, the stand-in for the share mode among this project's programs;
// another open of the same file fails (32) as on Windows. Nothing stops
// another process from writing, renaming or replacing a file it may write,
// so the move checks that the file kept its size and change time since the
// open and, right before rename(2), that the path still names it (lstat
// against fstat: device and inode); it fails with 1006 otherwise. What that
// leaves open: a change between the last check and the rename, and writes
// through a descriptor opened before the check and kept. The file is then
// given to the program's user (fchown, set-id and group or other write
// permissions cleared) so that whoever staged it cannot change it where it
// lands.
class PinnedFile {
public:
    PinnedFile() = default;
    ~PinnedFile();
    PinnedFile(PinnedFile&& other) noexcept;
    PinnedFile& operator=(PinnedFile&& other) noexcept;
    PinnedFile(const PinnedFile&) = delete;
    PinnedFile& operator=(const PinnedFile&) = delete;

    // Returns 0 or the error code (5 for a directory, 32 held as above).
    std::uint32_t open(const std::u16string& path);
    bool isOpen() const { return handle_ != -1; }
    // Moves the file to target, replacing a file there as
    // MoveFileExW(MOVEFILE_REPLACE_EXISTING) does (and refused where it is
    // refused). Returns 0 or the error code; 1006 when the file was changed
    // or its path names another file now. The file stays open.
    std::uint32_t moveTo(const std::u16string& target);
    // Flushes the file's data to disk (FlushFileBuffers; fsync). Returns 0 or the error code.
    std::uint32_t flush();
    void close();

private:
    friend class InputFile;

    std::intptr_t handle_ = -1;
    std::u16string path_;  // as opened
    // POSIX: device, inode, size and change time (seconds, nanoseconds) at the open.
    std::uint64_t opened_[5] = {};
};

}  // namespace platform
