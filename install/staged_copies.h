// A signed update's staged files as the Updater copied them into its private
// directory while it verified them: what it installs, so that nothing a user
// created, opened or can open is ever renamed into the installation.
#pragma once

#include <string>
#include <vector>

namespace install {

// One per manifest entry, in its order: the path of the entry's copy, or ""
// where none was made.
using StagedCopies = std::vector<std::u16string>;

}  // namespace install
