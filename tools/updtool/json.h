// Just enough JSON for updtool check --json: values are written as text.
#pragma once

#include <string>
#include <string_view>

namespace updtool {

// text as a JSON string, quotes included. A code unit of an unpaired
// surrogate is written as a \u escape, so the result stays valid UTF-16 and
// every name comes back exactly.
std::u16string jsonString(std::u16string_view text);

}  // namespace updtool
