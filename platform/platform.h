// The only door to the operating system. Everything above this header is
// portable C++; the Win32 backend makes the real calls named below, the POSIX
// backend keeps the same contract on Linux.
//
// Error codes are Windows system error codes on both platforms (0 = success),
// so every message that quotes one reads the same everywhere. The POSIX
// backend maps errno to the code a Windows caller would see.
//
// Paths are UTF-16. On POSIX they are converted to UTF-8 and every backslash
// becomes a slash, since both separate directories on Windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

// Windows system error codes the program examines or reports.
enum : std::uint32_t {
    kErrorSuccess = 0,
    kErrorInvalidFunction = 1,
    kErrorFileNotFound = 2,
    kErrorPathNotFound = 3,
    kErrorTooManyOpenFiles = 4,
    kErrorAccessDenied = 5,
    kErrorNotEnoughMemory = 8,
    kErrorInvalidData = 13,
    kErrorNotSameDevice = 17,
    kErrorReadFault = 30,
    kErrorSharingViolation = 32,
    kErrorFileExists = 80,
    kErrorInvalidParameter = 87,
    kErrorDiskFull = 112,
    kErrorInvalidName = 123,
    kErrorDirNotEmpty = 145,
    kErrorAlreadyExists = 183,
    kErrorDirectory = 267,  // "the directory name is invalid": not a directory
    kErrorBadExeFormat = 193,
    kErrorFilenameTooLong = 206,
    kErrorInvalidImageHash = 577,
    kErrorStoppedOnSymlink = 681,  // a link, junction or other reparse point where none may be  // "cannot verify the digital signature for this file"
    kErrorFileInvalid = 1006,      // "the opened file is no longer valid": changed behind its handle
};

// Code page numbers with a meaning of their own.
enum : int {
    kAnsiCodePage = 0,  // CP_ACP
    kOemCodePage = 1,   // CP_OEMCP
    kUtf8CodePage = 65001,
};

// ---- own location, working directory, time -------------------------------

// Full path of the running executable (GetModuleFileNameW on the module of a
// null name). The buffer grows until the whole path fits: never cut.
// POSIX: readlink("/proc/self/exe") with every slash turned into a backslash,
// so that callers take it apart like a Windows path.
std::u16string modulePath();

// SetCurrentDirectoryW. Returns 0 or the error code.
std::uint32_t setCurrentDirectory(const std::u16string& dir);

// Sleep.
void sleepMs(std::uint32_t ms);

// What program file names end in: ".exe" on Windows, "" on POSIX.
std::u16string_view executableSuffix();

// The current local time formatted by strftime rules (the pattern is ASCII).
// Empty when the time cannot be read, converted or formatted.
std::u16string formatLocalTime(const char* pattern);

// ---- processes ---------------------------------------------------------------

struct ProcessEntry {
    std::uint32_t id = 0;
    std::u16string exeName;  // file name without directory, exact case
};

// A snapshot of all processes in the order the system lists them
// (CreateToolhelp32Snapshot, Process32FirstW, Process32NextW). The first entry
// is the system's idle process; the POSIX backend puts a stand-in for it first
// so that callers can rely on that. Returns false when no snapshot can be taken.
bool processSnapshot(std::vector<ProcessEntry>& out);

// OpenProcess(PROCESS_TERMINATE) + TerminateProcess(exit code 0) + CloseHandle.
// Returns true when the process was terminated.
bool terminateProcess(std::uint32_t id);

// CreateProcessW with application name = appPath and command line = a
// modifiable copy of commandLine; no inheritance, no flags, the caller's
// environment and working directory; the handles are closed at once and the
// child is not waited for. Returns 0 or the error code.
// POSIX: posix_spawn of appPath with argv = { commandLine }.
std::uint32_t startProcess(const std::u16string& appPath, const std::u16string& commandLine);

// ---- files -------------------------------------------------------------------

enum class FindResult { kNotFound, kFile, kDirectory };

// FindFirstFileW + FindClose: what the path names, by the attributes of the
// item found.
FindResult findFirstFile(const std::u16string& path);

// CreateFileW(GENERIC_READ|GENERIC_WRITE, FILE_SHARE_READ|FILE_SHARE_WRITE,
// OPEN_EXISTING, 0) and CloseHandle at once. Returns 0 or the error code.
// POSIX: open(O_RDWR); a file that another process holds with an exclusive
// flock, or a running executable, gives 32 (sharing violation).
std::uint32_t openReadWriteTest(const std::u16string& path);

// PathIsDirectoryW.
bool isDirectory(const std::u16string& path);

// CreateDirectoryW with no security attributes. Returns 0 or the error code.
std::uint32_t createDirectory(const std::u16string& path);

// RemoveDirectoryW (empty directories only). Returns 0 or the error code.
std::uint32_t removeDirectory(const std::u16string& path);

// MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING). Returns 0 or the error code.
// POSIX: rename(); a target that another process holds with any flock gives 5,
// as Windows refuses to replace a file held open without delete sharing.
std::uint32_t moveFileReplace(const std::u16string& from, const std::u16string& to);

// MoveFileExW(from, to, 0): a rename that fails (183) when to exists.
// Returns 0 or the error code. Windows renames a running program's file, but
// refuses (32) a file another process holds open without delete sharing.
// POSIX: renameat2(RENAME_NOREPLACE); a file that another process holds with
// any flock gives 32.
std::uint32_t renameFile(const std::u16string& from, const std::u16string& to);

// CopyFileW(from, to, failIfExists = TRUE). Returns 0 or the error code.
std::uint32_t copyFileNew(const std::u16string& from, const std::u16string& to);

// DeleteFileW. Returns 0 or the error code.
std::uint32_t deleteFile(const std::u16string& path);

// Names (not paths) of the entries of a directory, without "." and "..".
// Returns false when the directory cannot be listed.
struct DirEntry {
    std::u16string name;
    bool isDirectory = false;
};
bool listDirectory(const std::u16string& dir, std::vector<DirEntry>& out);

// A file opened for byte reading with no sharing restriction of our own
// (CreateFileW(GENERIC_READ, FILE_SHARE_READ|FILE_SHARE_WRITE, OPEN_EXISTING)
// on Windows, as _wfopen(path, L"rb") shares it): the open fails for a file
// that another program holds without sharing reading (POSIX: an exclusive
// flock). Read through a buffer of its own that the object keeps for its
// next open. Closed by the destructor.
class InputFile {
public:
    InputFile() = default;
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    bool open(const std::u16string& path);  // false for a missing file or a directory
    bool isOpen() const { return handle_ != nullptr; }
    // Exchanges what two objects read.
    void swap(InputFile& other) noexcept {
        std::swap(handle_, other.handle_);
        std::swap(spare_, other.spare_);
    }
    // Reads up to size bytes; returns the count delivered (short at end of
    // file or on a read error).
    std::size_t read(void* buffer, std::size_t size);
    // Reads as read does (size at most 64 KiB) without copying the bytes:
    // data points at them in the object's buffer until its next call.
    std::size_t view(const unsigned char*& data, std::size_t size);
    bool seek(std::int64_t offset);  // from the start
    std::int64_t length();           // -1 when unknown
    bool close();                    // false when closing failed

private:
    friend class Tree;
    // Reads the file of a descriptor or handle that the Tree opened and checked.
    void adopt(std::intptr_t native);
    // The descriptor or handle read; -1 when none is open.
    std::intptr_t native() const;

    void* handle_ = nullptr;  // the backend's stream
    // What a backend keeps from the last file for the next open of this
    // object, e.g. its buffer; unused by the others.
    [[maybe_unused]] void* spare_ = nullptr;
};

// A file handle for the run log: CreateFileW(GENERIC_READ|GENERIC_WRITE,
// FILE_SHARE_READ|FILE_SHARE_WRITE, CREATE_ALWAYS, 0).
// Never closed explicitly by the log; the destructor is not run for it.
// A link at path is not followed (POSIX O_NOFOLLOW; Windows: a reparse
// point, or a handle whose final path is another, is closed again): the
// elevated Updater would truncate whatever file it leads to.
using FileHandle = std::intptr_t;
constexpr FileHandle kInvalidFile = -1;
FileHandle createFileAlways(const std::u16string& path);
// One WriteFile call of size bytes; the result is ignored by the log.
bool writeFile(FileHandle file, const void* data, std::size_t size);
void closeFile(FileHandle file);

// Reads the whole file at path into bytes, opened as InputFile opens it.
// Returns 0 or the error code: the open's (2 missing, 3 a directory on the
// way missing, 5 a directory or no rights, 32 held without sharing reading),
// 13 (invalid data) when the file holds more than limit bytes, or the read's.
std::uint32_t readFile(const std::u16string& path, std::size_t limit, std::string& bytes);

// Makes room for count files to be open at once beside the few the program
// keeps open anyway. POSIX: raises the soft RLIMIT_NOFILE, when it is lower,
// to count plus that margin; 4 (too many open files), with nothing changed,
// when the hard limit is lower. Windows has no such limit: always 0.
std::uint32_t reserveOpenFiles(std::size_t count);

// ---- durable files ----------------------------------------------------------

// A new file for writing: CreateFileW(GENERIC_WRITE, FILE_SHARE_READ,
// CREATE_NEW). Returns 0 and the handle, or the error code (183 or 80 when
// path exists) and kInvalidFile.
std::uint32_t createFileNew(const std::u16string& path, FileHandle& file);
// WriteFile until every byte is written. Returns 0 or the error code.
std::uint32_t writeAll(FileHandle file, const void* data, std::size_t size);
// FlushFileBuffers: the file's data and size reach the disk. Returns 0 or the
// error code. POSIX: fsync.
std::uint32_t flushFile(FileHandle file);
// Makes the names created, renamed or removed in dir so far survive a power
// cut. POSIX: fsync of the directory. Windows: nothing to do, NTFS logs a
// name with the metadata of its file, and flushing the file writes that log.
std::uint32_t syncDirectory(const std::u16string& dir);
// Makes the data of every file on the file systems that hold directories
// durable, each file system flushed once: what a program renames must reach
// the disk before the rename does, or a power cut leaves an empty file
// under the new name. POSIX: syncfs. Windows: FlushFileBuffers on the volume
// (\\.\X:) opened with GENERIC_WRITE, which an elevated program may do; a
// volume that cannot be opened (a share; under Wine, which does not let even
// root open the disk) gives its error code, and the caller flushes its files
// one by one instead. Returns 0 or the first error code.
std::uint32_t flushFileSystems(const std::vector<std::u16string>& directories);
// Flushes an existing file's data to disk: FlushFileBuffers on a handle
// opened for writing (POSIX: fsync). Returns 0 or the error code.
std::uint32_t flushExistingFile(const std::u16string& path);

// Whether anyone but the process's user (and on Windows Administrators and
// SYSTEM) owns the file at path or may write it: its owner and DACL
// (GetSecurityInfo); POSIX its owner and its group and other write bits.
// False also when it cannot be read. For the tests and for support.
bool othersMayWrite(const std::u16string& path);

// ---- secrets -------------------------------------------------------------------

// A new file that only the current user may open: CreateFileW(GENERIC_WRITE,
// 0, CREATE_NEW) with a protected DACL granting the process's user alone all
// access. POSIX: open(O_CREAT | O_EXCL, 0600). Returns 0 and the handle, or
// the error code (183 or 80 when path exists) and kInvalidFile.
std::uint32_t createPrivateFileNew(const std::u16string& path, FileHandle& file);

// Fills size bytes from the system's random source for keys
// (BCryptGenRandom with the system's preferred generator; getrandom).
// False when the source failed.
bool randomBytes(void* out, std::size_t size);

// ---- code pages -------------------------------------------------------------

// GetACP / GetOEMCP. On POSIX both are UTF-8 (65001).
int ansiCodePage();
int oemCodePage();

// MultiByteToWideChar(codePage, 0, ...): converts srcLen bytes (-1: up to and
// including a terminating NUL). With dstCap 0 it only measures. Returns the
// count of UTF-16 units produced or needed, 0 on failure (unsupported code
// page, destination too small). Invalid input becomes U+FFFD, never an error.
int multiByteToWide(int codePage, const char* src, int srcLen, char16_t* dst, int dstCap);

// WideCharToMultiByte(codePage, 0, ..., no default character): srcLen units
// (-1: up to and including a terminating NUL). With dstCap 0 it only
// measures. Returns the bytes produced or needed, 0 on failure. Characters the
// code page lacks become its default character.
int wideToMultiByte(int codePage, const char16_t* src, int srcLen, char* dst, int dstCap);

// ---- standard output (a trace only) ----------------------------------------

// One line, a line end and a flush. Narrow lines are text in code page 936 on
// Windows and UTF-8 on POSIX; wide lines go to a console as UTF-16 and to a
// redirected output in the same encoding as the narrow lines.
void writeNarrowLine(const std::u16string& text);
void writeWideLine(const std::u16string& text);

// ---- the command-line tools' own output --------------------------------------

// Writes text as it stands (no line end added) to standard output or standard
// error: to a console as UTF-16 (WriteConsoleW), otherwise as UTF-8 bytes, so
// that redirected output, JSON included, is the same on every system.
void writeOutputText(std::u16string_view text);
void writeErrorText(std::u16string_view text);

// True when standard error is a console or terminal (GetConsoleMode / isatty).
bool stderrIsTerminal();

}  // namespace platform
