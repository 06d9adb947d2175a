// SHA-512 (FIPS 180-4) of byte streams.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace crypto {

using Sha512Digest = std::array<std::uint8_t, 64>;

class Sha512 {
public:
    Sha512();

    // Feeds size bytes (0 changes nothing).
    void update(const void* data, std::size_t size);
    // The digest of everything fed since construction or the last finish;
    // the context then starts a new message.
    Sha512Digest finish();

private:
    void reset();

    std::uint64_t state_[8];
    std::uint64_t length_ = 0;       // bytes fed (a message of 2^64 bytes or more is not supported)
    std::uint8_t buffer_[128] = {};  // the block not yet complete
};

Sha512Digest sha512(const void* data, std::size_t size);

}  // namespace crypto
