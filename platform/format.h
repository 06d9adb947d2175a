// printf-style formatting of the program's fixed message formats into a
// UTF-16 string of any length: %s takes a UTF-16 string, %d a 32-bit signed
// integer, %% is a percent sign. The result is never cut.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

namespace platform {

using FormatArg = std::variant<std::u16string_view, std::int32_t>;

// Fills format with args in order. A directive whose argument is missing or of
// the other kind is copied as it stands; surplus arguments are ignored.
std::u16string formatMessage(std::u16string_view format, std::initializer_list<FormatArg> args);

}  // namespace platform
