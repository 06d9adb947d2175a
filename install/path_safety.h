// Manifest and journal paths must stay inside the Updater's directory and
// name plain files there: the Updater runs with administrator rights, and a
// path is used as a target as it stands.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

namespace install {

// Longer paths cannot exist on Windows; deeper ones only cost time.
inline constexpr std::size_t kMaxPathUnits = 32767;
inline constexpr std::size_t kMaxPathLevels = 256;

// False for a path that is rooted (begins with "\" or "/"), holds ":" anywhere
// (drive letters, alternate data streams), has a parent-directory component,
// a component that Windows reads as a device, more than kMaxPathUnits code
// units or more than kMaxPathLevels components, or whose first component
// names one of reservedTop (the Updater's own directories: the staging
// directory, where its journal and backups may live too).
// Components are split on both "\" and "/". A component made only of dots and
// blanks with at least two dots counts as a parent reference, because Windows
// drops trailing dots and blanks from names; for the same reason names are
// compared as Windows compares them (see sameDirectoryName).
bool isSafeRelativePath(std::u16string_view path, std::span<const std::u16string_view> reservedTop = {});

// CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0-COM9 and LPT0-LPT9 (also with
// the superscript digits 1, 2 and 3), in any case, before the first dot and
// any blanks in front of it: "nul", "Com1.txt", "aux .log".
bool isDeviceName(std::u16string_view component);

// Whether component names name on Windows: ASCII letters in any case, and
// trailing dots and blanks dropped.
bool sameDirectoryName(std::u16string_view component, std::u16string_view name);

}  // namespace install
