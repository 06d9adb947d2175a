// Turns one window's instructions into its three sections with the default
// code table: picks each COPY's cheapest address mode, and merges an ADD and
// a COPY that follow one another into one code where the table has one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "patch/address_cache.h"
#include "patch/io.h"

namespace patch {

class WindowEncoder {
public:
    // A new window whose addresses start with a segment of segmentLength bytes.
    void begin(std::uint64_t segmentLength);

    // The bytes a COPY of size from address would take if it came next.
    std::size_t copyCost(std::uint64_t size, std::uint64_t address) const;

    void add(const std::uint8_t* bytes, std::size_t size);
    void run(std::uint8_t value, std::size_t size);
    void copy(std::size_t size, std::uint64_t address);

    // Writes the window after its Win_Indicator and segment: the delta
    // encoding, with checksum when it is not null.
    bool write(Writer& out, std::uint64_t targetLength, const std::uint32_t* checksum);

    // What the sections hold now, for the encoder's memory bound.
    std::size_t sectionBytes() const { return data_.capacity() + inst_.capacity() + addr_.capacity(); }

private:
    struct Address {
        std::uint8_t mode;
        std::uint64_t value;  // a byte for the same modes
    };
    Address pickAddress(std::uint64_t address) const;
    void putAddress(const Address& address);
    void putSize(std::uint64_t size);
    void flushPending();

    std::vector<std::uint8_t> data_;
    std::vector<std::uint8_t> inst_;
    std::vector<std::uint8_t> addr_;
    AddressCache cache_;
    std::uint64_t here_ = 0;
    // A small ADD or a COPY of 4 that may merge with what follows.
    enum class Pending { kNone, kAdd, kCopy } pending_ = Pending::kNone;
    std::size_t pendingSize_ = 0;
    std::uint8_t pendingMode_ = 0;
};

}  // namespace patch
