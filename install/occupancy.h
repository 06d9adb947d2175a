// Makes sure that no installed file about to be replaced is in use.
#pragma once

#include <string>
#include <vector>

#include "install/manifest_entry.h"

namespace install {

// For each entry whose target (its path, relative to the working directory)
// exists as a file, tries to open it for reading and writing. A sharing
// violation on the entry equal to selfName (the running Updater) is accepted.
// The first other failure writes "<path>被占用<code>" to standard output and
// fails with "<path>被占用,请重启电脑或关闭占用软件 （<code>）". Changes nothing.
bool checkOccupancy(const std::vector<ManifestEntry>& entries, const std::u16string& selfName,
                    std::u16string& errorText);

}  // namespace install
