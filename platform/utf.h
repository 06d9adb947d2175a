// UTF-8 <-> UTF-16 conversion shared by the POSIX backend, the tools and the
// tests. Invalid input becomes U+FFFD, as Windows' own converters do.
#pragma once

#include <string>
#include <string_view>

namespace platform {

std::u16string utf8ToUtf16(std::string_view utf8);
std::string utf16ToUtf8(std::u16string_view utf16);

}  // namespace platform
