// Makes sure that no installed file about to be replaced is in use.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "install/manifest_entry.h"
#include "install/step_sink.h"
#include "platform/tree.h"

namespace install {

// For each entry whose target (its path, relative to the working directory,
// reached through tree) exists as a regular file, tries to open it for reading and writing, and reports the
// result to sink. A sharing violation on the entry equal to selfName (the
// running Updater) is accepted. The first other failure is reported to sink
// as a target in use, and the step fails with
// "<path>被占用,请重启电脑或关闭占用软件 （<code>）"; with kEveryEntry the
// entries after it are tested too. Changes nothing.
bool checkOccupancy(platform::Tree& tree, const std::vector<ManifestEntry>& entries, const std::u16string& selfName,
                    std::u16string& errorText, StepSink& sink, Examine examine = Examine::kUntilFailure);

// The step's message for a target that failed with code.
std::u16string occupancyMessage(const std::u16string& path, std::uint32_t code);

}  // namespace install
