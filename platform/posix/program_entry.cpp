#include "platform/program_main.h"
#include "platform/utf.h"

int main(int argc, char* argv[]) {
    std::vector<std::u16string> args;
    for (int i = 0; i < argc; ++i) args.push_back(platform::utf8ToUtf16(argv[i]));
    return programMain(args);
}
