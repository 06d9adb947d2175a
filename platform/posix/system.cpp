// Own location, working directory, time and the console on POSIX.
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/native.h"
#include "platform/utf.h"

namespace platform {

std::u16string modulePath() {
    std::vector<char> buffer(256);
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0) return {};
        if (static_cast<std::size_t>(n) < buffer.size()) {
            std::u16string path = utf8ToUtf16(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
            for (char16_t& c : path) {
                if (c == u'/') c = u'\\';
            }
            return path;
        }
        buffer.resize(buffer.size() * 2);  // possibly cut: try again with more room
    }
}

std::uint32_t setCurrentDirectory(const std::u16string& dir) {
    const std::string native = posix::nativePath(dir);
    return ::chdir(native.c_str()) == 0 ? kErrorSuccess : posix::errorFromErrno(errno, native);
}

std::u16string_view executableSuffix() { return u""; }

std::uint32_t reserveOpenFiles(std::size_t count) {
    // The standard streams, the log, the journal, directory listings and
    // the duplicates that reading takes.
    constexpr rlim_t kMargin = 64;
    rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return posix::errorFromErrno(errno, {});
    const rlim_t need = static_cast<rlim_t>(count) + kMargin;
    if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= need) return kErrorSuccess;
    if (limit.rlim_max != RLIM_INFINITY && limit.rlim_max < need) return kErrorTooManyOpenFiles;
    limit.rlim_cur = need;
    return ::setrlimit(RLIMIT_NOFILE, &limit) == 0 ? kErrorSuccess : kErrorTooManyOpenFiles;
}

void sleepMs(std::uint32_t ms) {
    timespec left{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

std::u16string formatLocalTime(const char* pattern) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (now == static_cast<std::time_t>(-1) || ::localtime_r(&now, &local) == nullptr) return {};
    char buffer[128];
    const std::size_t n = std::strftime(buffer, sizeof buffer, pattern, &local);
    return utf8ToUtf16(std::string_view(buffer, n));
}

namespace {

void writeLine(const std::u16string& text) {
    std::string line = utf16ToUtf8(text);
    line.push_back('\n');
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
}

void writeText(std::FILE* stream, std::u16string_view text) {
    const std::string bytes = utf16ToUtf8(text);
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
    std::fflush(stream);
}

}  // namespace

void writeNarrowLine(const std::u16string& text) { writeLine(text); }
void writeWideLine(const std::u16string& text) { writeLine(text); }

void writeOutputText(std::u16string_view text) { writeText(stdout, text); }
void writeErrorText(std::u16string_view text) { writeText(stderr, text); }

bool stderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

}  // namespace platform
