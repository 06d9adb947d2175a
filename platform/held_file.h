// A file held open the way another program may hold it, to see how the
// program's own file calls fare against it. Used by the tests and their
// helper program; the Updater itself never holds files like this.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

class HeldFile {
public:
    enum class Sharing {
        kNone,       // CreateFileW share mode 0 / POSIX: an exclusive flock
        kReadWrite,  // FILE_SHARE_READ | FILE_SHARE_WRITE, not delete / a shared flock
    };

    HeldFile(const std::u16string& path, Sharing sharing);  // opens an existing file for reading and writing
    ~HeldFile();
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;

    bool isHeld() const { return held_; }

private:
    std::intptr_t handle_ = -1;
    bool held_ = false;
};

}  // namespace platform
