// Two SHA-256 computations side by side with the x86 SHA extensions: one
// computation waits on each round's result, so a second one fills the
// processor's idle cycles (install/md5_files.cpp hashes staged files two at
// a time with it).
#pragma once

#include <cstddef>
#include <cstdint>

namespace crypto {

// Compresses count 64-byte blocks from a into stateA and as many from b into
// stateB, as two calls of a block function would. Call only where
// sha256ShaExtensionsUsable() (crypto/sha256_blocks.h).
void sha256BlocksTwoShaExtensions(std::uint32_t stateA[8], const std::uint8_t* a, std::uint32_t stateB[8],
                                  const std::uint8_t* b, std::size_t count);

}  // namespace crypto
