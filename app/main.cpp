// Entry point of the Updater. For now it records how it was started: each
// argument on standard output and in the run log, then "退出".
#include <string>
#include <vector>

#include "log/run_log.h"
#include "platform/platform.h"
#include "platform/utf.h"

namespace {

// The directory of the Updater's executable, without the last backslash;
// empty when the path holds none.
std::u16string moduleDirectory() {
    const std::u16string path = platform::modulePath();
    const std::u16string::size_type slash = path.rfind(u'\\');
    return slash == std::u16string::npos ? std::u16string() : path.substr(0, slash);
}

int run(const std::vector<std::u16string>& args) {
    platform::sleepMs(50);
    platform::setCurrentDirectory(moduleDirectory());
    for (const std::u16string& arg : args) {
        platform::writeWideLine(arg);
        RunLog::instance().writeVerbatim(arg);
    }
    RunLog::instance().write(u"退出");
    return 0;
}

}  // namespace

#ifdef _WIN32
static_assert(sizeof(wchar_t) == sizeof(char16_t), "wchar_t must be a UTF-16 code unit");

int wmain(int argc, wchar_t* argv[]) {
    std::vector<std::u16string> args;
    for (int i = 0; i < argc; ++i) args.emplace_back(reinterpret_cast<const char16_t*>(argv[i]));
    return run(args);
}
#else
int main(int argc, char* argv[]) {
    std::vector<std::u16string> args;
    for (int i = 0; i < argc; ++i) args.push_back(platform::utf8ToUtf16(argv[i]));
    return run(args);
}
#endif
