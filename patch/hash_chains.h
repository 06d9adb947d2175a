// Chains of positions of a byte string by the hash of the bytes that start
// there: the encoder's index of the base (every stride-th position) and of
// the target window it encodes (every position, added as it goes). A chain
// is walked from the position added last.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

namespace patch {

class HashChains {
public:
    // A key is read from 8 bytes; it is made of hashBytes of them.
    static constexpr std::size_t kKeyBytes = 8;

    // Room for positions [0, count * stride) taken every stride bytes.
    HashChains(std::size_t count, std::uint32_t stride, std::size_t hashBytes);

    void clear();
    std::uint32_t stride() const { return stride_; }
    std::size_t count() const { return count_; }
    static std::size_t memoryFor(std::size_t count);

    std::uint64_t key(const std::uint8_t* at) const {
        std::uint64_t bytes;
        std::memcpy(&bytes, at, sizeof bytes);
        return bytes & mask_;
    }
    std::uint32_t hash(std::uint64_t key) const {
        return std::uint32_t((key * 0x9E3779B97F4A7C15ull) >> shift_);
    }

    // Adds position slot * stride, whose bytes have that key; slots are added
    // in increasing order.
    void add(std::size_t slot, std::uint64_t key) {
        std::uint32_t& head = heads_[hash(key)];
        previous_[slot] = head;
        head = std::uint32_t(slot + 1);
    }
    // The slot added last with the key's hash, plus one (0: none).
    std::uint32_t first(std::uint64_t key) const { return heads_[hash(key)]; }
    // The slot added before slot with the same hash, plus one (0: none).
    std::uint32_t next(std::size_t slot) const { return previous_[slot]; }

private:
    std::size_t count_;
    std::uint32_t stride_;
    int shift_;
    std::uint64_t mask_;
    std::unique_ptr<std::uint32_t[]> heads_;
    std::unique_ptr<std::uint32_t[]> previous_;
};

}  // namespace patch
