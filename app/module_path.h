// Where the running Updater lies.
#pragma once

#include <string>
#include <string_view>

namespace app {

// Module paths use backslashes on every platform (the POSIX backend turns
// its slashes into backslashes).
// Everything before the last backslash of path ("" when there is none).
std::u16string directoryPart(std::u16string_view path);
// Everything after the last backslash of path ("" when there is none).
std::u16string fileNamePart(std::u16string_view path);

// The directory of the Updater's executable, without a trailing backslash.
std::u16string moduleDirectory();
// The Updater's own file name, without directory.
std::u16string moduleFileName();

}  // namespace app
