// Manifest paths must stay inside the Updater's directory: the Updater runs
// with administrator rights, and a manifest path is used as a target as it
// stands.
#pragma once

#include <string_view>

namespace install {

// False for a path that is rooted (begins with "\" or "/"), holds ":" anywhere
// (drive letters, alternate data streams) or has a parent-directory component.
// Components are split on both "\" and "/". A component made only of dots and
// blanks with at least two dots counts as a parent reference, because Windows
// drops trailing dots and blanks from names.
bool isSafeRelativePath(std::u16string_view path);

}  // namespace install
