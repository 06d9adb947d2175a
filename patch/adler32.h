// Adler-32 as xdelta3 puts it in a window: of the window's target bytes,
// starting from 1.
#pragma once

#include <cstddef>
#include <cstdint>

namespace patch {

std::uint32_t adler32(std::uint32_t adler, const std::uint8_t* data, std::size_t size);

}  // namespace patch
