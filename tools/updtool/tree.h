// Directory trees through the platform layer.
#pragma once

#include <string>
#include <vector>

namespace updtool {

// dir + "\" + name, without doubling a separator that dir ends with.
std::u16string joinPath(const std::u16string& dir, const std::u16string& name);

// Every file below dir as a path relative to it, levels joined with "\" as
// in the manifest. Directories that cannot be listed, and names holding a
// backslash (possible on Linux, a separator on Windows), are added to
// problems; returns whether there were none.
bool listFiles(const std::u16string& dir, std::vector<std::u16string>& files,
               std::vector<std::u16string>& problems);

// Removes path and everything below it, as far as possible. Meant for trees
// of this program's own making: it follows links to directories.
void removeTree(const std::u16string& path);

}  // namespace updtool
