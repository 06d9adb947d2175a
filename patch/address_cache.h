// The near and same caches of COPY addresses, which encoder and decoder
// both keep, cleared at the start of every window.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "patch/code_table.h"

namespace patch {

struct AddressCache {
    std::array<std::uint64_t, kNearSlots> near{};
    std::array<std::uint64_t, kSameSlots> same{};
    int next = 0;

    void clear() {
        near.fill(0);
        same.fill(0);
        next = 0;
    }
    void update(std::uint64_t address) {
        near[std::size_t(next)] = address;
        next = (next + 1) % kNearSlots;
        same[std::size_t(address % kSameSlots)] = address;
    }
};

}  // namespace patch
