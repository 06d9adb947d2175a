// Processes on POSIX: /proc stands in for the Toolhelp snapshot.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

#include "platform/platform.h"
#include "platform/posix/native.h"
#include "platform/utf.h"

extern char** environ;

namespace platform {

namespace {

bool readSmallFile(const std::string& path, std::string& out) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char buffer[512];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    ::close(fd);
    if (n < 0) return false;
    out.assign(buffer, static_cast<std::size_t>(n));
    return true;
}

// A zombie has ended already; Windows would not list it either.
bool isZombie(const std::string& procDir) {
    std::string stat;
    if (!readSmallFile(procDir + "/stat", stat)) return true;  // gone meanwhile
    const std::string::size_type close = stat.rfind(')');
    return close == std::string::npos || close + 2 >= stat.size() || stat[close + 2] == 'Z';
}

// The file name of the process's executable, or its command name when the
// executable cannot be read (kernel threads, other users' processes).
bool exeName(const std::string& procDir, std::string& name) {
    char target[4096];
    const ssize_t n = ::readlink((procDir + "/exe").c_str(), target, sizeof target);
    if (n > 0) {
        std::string path(target, static_cast<std::size_t>(n));
        constexpr std::string_view kDeleted = " (deleted)";
        if (path.size() > kDeleted.size() && path.ends_with(kDeleted)) path.resize(path.size() - kDeleted.size());
        name = path.substr(path.rfind('/') + 1);
        return true;
    }
    if (!readSmallFile(procDir + "/comm", name)) return false;
    if (!name.empty() && name.back() == '\n') name.pop_back();
    return true;
}

}  // namespace

bool processSnapshot(std::vector<ProcessEntry>& out) {
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) return false;
    std::vector<std::uint32_t> ids;
    while (const dirent* entry = ::readdir(proc)) {
        char* end = nullptr;
        const unsigned long id = std::strtoul(entry->d_name, &end, 10);
        if (end != entry->d_name && *end == '\0' && id != 0) ids.push_back(static_cast<std::uint32_t>(id));
    }
    ::closedir(proc);
    std::sort(ids.begin(), ids.end());

    out.clear();
    out.push_back({0, u"[System Process]"});
    for (const std::uint32_t id : ids) {
        const std::string dir = "/proc/" + std::to_string(id);
        std::string name;
        if (isZombie(dir) || !exeName(dir, name)) continue;
        out.push_back({id, utf8ToUtf16(name)});
    }
    return true;
}

bool terminateProcess(std::uint32_t id) {
    if (id == 0) return false;
    return ::kill(static_cast<pid_t>(id), SIGKILL) == 0;
}

std::uint32_t startProcess(const std::u16string& appPath, const std::u16string& commandLine) {
    const std::string app = posix::nativePath(appPath);
    std::string line = utf16ToUtf8(commandLine);
    char* argv[] = {line.data(), nullptr};
    pid_t pid = 0;
    const int err = ::posix_spawn(&pid, app.c_str(), nullptr, nullptr, argv, environ);
    return err == 0 ? kErrorSuccess : posix::errorFromErrno(err, app);
}

}  // namespace platform
