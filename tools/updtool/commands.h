// The commands of updtool and their exit statuses.
#pragma once

#include <string>
#include <vector>

namespace updtool {

enum ExitStatus : int {
    kExitOk = 0,      // check: the Updater would go on to install
    kExitFailed = 1,  // check: the Updater would fail; the others: something could not be done
    kExitUsage = 2,   // bad usage
};

// args: the command line without the program's own name.
int run(const std::vector<std::u16string>& args);

int stageCommand(const std::vector<std::u16string>& args);
int checkCommand(const std::vector<std::u16string>& args);
int md5Command(const std::vector<std::u16string>& args);
int keygenCommand(const std::vector<std::u16string>& args);
int signCommand(const std::vector<std::u16string>& args);
int patchCommand(const std::vector<std::u16string>& args);
int applyCommand(const std::vector<std::u16string>& args);

// Reports a usage error on standard error and returns kExitUsage.
int usageError(std::u16string_view message);

}  // namespace updtool
