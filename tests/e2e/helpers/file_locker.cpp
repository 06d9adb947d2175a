// Holds a file open for the end-to-end scenarios.
//   file_locker exclusive|shared PATH MARKER READY
// exclusive: Windows share mode 0 (nobody else may open it); POSIX an
//            exclusive flock, which the Updater's platform layer reads the same way.
// shared:    Windows FILE_SHARE_READ | FILE_SHARE_WRITE (others may read and
//            write, not delete or rename); POSIX a shared flock.
// Creates READY once the file is held, then holds it until MARKER is gone (at
// most two minutes). Exit code 1 when the file cannot be opened.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace {

void holdUntilGone(const std::filesystem::path& marker, const std::filesystem::path& ready) {
    std::ofstream(ready) << "ready\n";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (std::filesystem::exists(marker) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

}  // namespace

#ifdef _WIN32

int wmain(int argc, wchar_t* argv[]) {
    if (argc != 5) return 2;
    const DWORD share = std::wstring(argv[1]) == L"exclusive" ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE;
    HANDLE file = CreateFileW(argv[2], GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    holdUntilGone(argv[3], argv[4]);
    CloseHandle(file);
    return 0;
}

#else

int main(int argc, char* argv[]) {
    if (argc != 5) return 2;
    const int fd = open(argv[2], O_RDONLY);
    if (fd < 0) return 1;
    if (flock(fd, std::string(argv[1]) == "exclusive" ? LOCK_EX : LOCK_SH) != 0) return 1;
    holdUntilGone(argv[3], argv[4]);
    close(fd);
    return 0;
}

#endif
