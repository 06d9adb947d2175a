// updtool's entry.
#include "platform/program_main.h"
#include "tools/updtool/commands.h"

int programMain(const std::vector<std::u16string>& args) {
    return updtool::run(std::vector<std::u16string>(args.begin() + (args.empty() ? 0 : 1), args.end()));
}
