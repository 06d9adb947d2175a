// Makes sure that no installed file about to be replaced is in use.
#pragma once

#include <cstdint>
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

// One entry's share of checkOccupancy: 0 when its target may be replaced,
// otherwise the error code of the failed open. Writes nothing.
std::uint32_t entryOccupancy(const ManifestEntry& entry, const std::u16string& selfName);
// checkOccupancy's message for a target that failed with code.
std::u16string occupancyMessage(const std::u16string& path, std::uint32_t code);

}  // namespace install
