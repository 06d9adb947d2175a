// The Updater's one pass: record the arguments, and when one of them is
// "updater", run the update and start the product again with its outcome.
#pragma once

#include <string>
#include <vector>

#include "install/signature.h"

namespace app {

// args[0] is the Updater's path as the runtime gives it; keys are the keys
// it trusts (empty: unsigned updates). Returns the process exit code, which
// is 0 on every path.
int updaterMain(const std::vector<std::u16string>& args, install::TrustedKeys keys);

}  // namespace app
