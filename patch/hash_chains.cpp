#include "patch/hash_chains.h"

#include <algorithm>

namespace patch {
namespace {

// One head per slot, rounded up to a power of two, 1 Ki heads at least.
int headBits(std::size_t count) {
    int bits = 10;
    while (bits < 31 && (std::size_t(1) << bits) < count) ++bits;
    return bits;
}

}  // namespace

HashChains::HashChains(std::size_t count, std::uint32_t stride, std::size_t hashBytes)
    : count_(count), stride_(stride), shift_(64 - headBits(count)),
      mask_(hashBytes >= kKeyBytes ? ~std::uint64_t(0) : (std::uint64_t(1) << (8 * hashBytes)) - 1),
      heads_(std::make_unique<std::uint32_t[]>(std::size_t(1) << headBits(count))),
      previous_(std::make_unique_for_overwrite<std::uint32_t[]>(count)) {}

void HashChains::clear() { std::fill_n(heads_.get(), std::size_t(1) << (64 - shift_), 0u); }

std::size_t HashChains::memoryFor(std::size_t count) {
    return ((std::size_t(1) << headBits(count)) + count) * sizeof(std::uint32_t);
}

}  // namespace patch
