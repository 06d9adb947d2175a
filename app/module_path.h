// Where the running Updater lies.
#pragma once

#include <string>
#include <string_view>

namespace app {

// Everything before the last separator of path ("" when there is none).
std::u16string directoryPart(std::u16string_view path);
// Everything after the last separator of path ("" when there is none).
std::u16string fileNamePart(std::u16string_view path);

// The directory of the Updater's executable, without a trailing separator.
std::u16string moduleDirectory();
// The Updater's own file name, without directory.
std::u16string moduleFileName();

}  // namespace app
