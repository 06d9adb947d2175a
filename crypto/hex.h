// Lowercase hexadecimal text of byte strings (keys, signatures, digests).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace crypto {

// Fills out from exactly 2 * out.size() lowercase hex digits. Any other
// length, an upper-case digit or any other character refuses the text; out
// is then unspecified.
bool parseHex(std::string_view text, std::span<std::uint8_t> out);
bool parseHex(std::u16string_view text, std::span<std::uint8_t> out);

// Two lowercase hex digits per byte.
std::string toHex(std::span<const std::uint8_t> bytes);

}  // namespace crypto
