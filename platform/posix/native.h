// Helpers shared by the POSIX backend: paths in the file system's form and
// Windows error codes for errno values.
#pragma once

#include <cstdint>
#include <string>

namespace platform::posix {

// UTF-16 path -> UTF-8, every backslash a slash.
std::string nativePath(const std::u16string& path);

// The Windows error code a caller would see for errno value err from a call
// on path. ENOENT becomes 3 when a directory on the way is missing, else 2.
std::uint32_t errorFromErrno(int err, const std::string& path);

// 3 when the directory that should hold path does not exist, else 2.
std::uint32_t missingFileCode(const std::string& path);

// Windows' share modes are played by flock: an exclusive lock stands for a
// handle opened without sharing, a shared lock for one that shares reading
// and writing but not deletion. True when another open file of fd's file
// holds a lock that conflicts with operation (LOCK_SH or LOCK_EX).
bool lockedByOther(int fd, int operation);

// Whether Windows would refuse to replace target: a file that another process
// holds open without delete sharing (any flock here), a running program or a
// read-only file.
bool replaceRefused(const std::string& target);

// Whether fd, opened O_NONBLOCK for reading, is a file to read as Windows
// reads one: 5 for a directory or anything but a regular file (a FIFO, a
// device), 32 when another program holds it without sharing reading (an
// exclusive flock). On 0 the descriptor blocks again, as reads expect.
std::uint32_t checkReadable(int fd);

// The code of a failed rename(source, ...) that set errno to err.
std::uint32_t renameError(int err, const std::string& source);

}  // namespace platform::posix
