// SHA-256 (FIPS 180-4) of byte streams.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace crypto {

using Sha256Digest = std::array<std::uint8_t, 32>;

// Compresses count 64-byte blocks into the eight state words.
using Sha256BlockFunction = void (*)(std::uint32_t state[8], const std::uint8_t* blocks, std::size_t count);

class Sha256 {
public:
    // Uses the fastest block function this processor runs.
    Sha256();
    // Uses the given one (see crypto/sha256_blocks.h).
    explicit Sha256(Sha256BlockFunction blocks);

    // Feeds size bytes (0 changes nothing).
    void update(const void* data, std::size_t size);
    // a.update(dataA, size) and b.update(dataB, size); where both use the SHA
    // extensions and neither has part of a block waiting, with the two
    // compressions side by side, which takes little more time than one.
    static void updateTwo(Sha256& a, const void* dataA, Sha256& b, const void* dataB, std::size_t size);
    // The digest of everything fed since construction or the last finish;
    // the context then starts a new message.
    Sha256Digest finish();

private:
    void reset();

    Sha256BlockFunction blocks_;
    std::uint32_t state_[8];
    std::uint64_t length_ = 0;      // bytes fed
    std::uint8_t buffer_[64] = {};  // the block not yet complete
};

Sha256Digest sha256(const void* data, std::size_t size);
// The digest as 64 lowercase hex digits.
std::string sha256Hex(const void* data, std::size_t size);

}  // namespace crypto
