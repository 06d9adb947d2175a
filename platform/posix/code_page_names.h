// Windows code page numbers -> names of glibc's iconv converters.
#pragma once

namespace platform::posix {

// The iconv name for a Windows code page, or nullptr when Linux has no
// converter for it.
const char* iconvName(int codePage);

}  // namespace platform::posix
