// The text of move.xml as updtool stage writes it.
#pragma once

#include <string>
#include <vector>

#include "install/manifest_entry.h"

namespace updtool {

// An XML declaration, the root "update" and one "file" element per entry in
// the given order, attribute values escaped ("&", "<", ">", both quotes).
std::u16string manifestText(const std::vector<install::ManifestEntry>& entries);

// Why path cannot be listed in a manifest that the Updater accepts, or ""
// when it can: the Updater's own refusals, and characters that XML or UTF-8
// cannot carry.
std::u16string pathProblem(const std::u16string& path);

}  // namespace updtool
