// updtool's entry: the command line as UTF-16 arguments.
#include <string>
#include <vector>

#include "tools/updtool/commands.h"

#ifdef _WIN32

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide text is UTF-16");

int wmain(int argc, wchar_t* argv[]) {
    std::vector<std::u16string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(reinterpret_cast<const char16_t*>(argv[i]));
    return updtool::run(args);
}

#else

#include "platform/utf.h"

int main(int argc, char* argv[]) {
    std::vector<std::u16string> args;
    for (int i = 1; i < argc; ++i) args.push_back(platform::utf8ToUtf16(argv[i]));
    return updtool::run(args);
}

#endif
