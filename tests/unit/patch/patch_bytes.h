// Hand-made VCDIFF for the tests: integers, headers and windows written
// byte by byte here, apart from the code under test.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

namespace patch_test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes bytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

inline Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Base-128, most significant digit first.
inline Bytes varint(std::uint64_t value) {
    Bytes digits{std::uint8_t(value & 0x7F)};
    while ((value >>= 7) != 0) digits.insert(digits.begin(), std::uint8_t(0x80 | (value & 0x7F)));
    return digits;
}

// Integers and bytes side by side: {code, size, ...} as base-128 integers.
inline Bytes ints(std::initializer_list<std::uint64_t> values) {
    Bytes out;
    for (const std::uint64_t v : values) out = out + varint(v);
    return out;
}

inline Bytes header(std::uint8_t indicator = 0, const Bytes& rest = {}) {
    return Bytes{0xD6, 0xC3, 0xC4, 0x00, indicator} + rest;
}

struct Window {
    std::uint8_t indicator = 0;  // VCD_SOURCE 1, VCD_TARGET 2, checksum 4
    std::uint64_t segmentLength = 0;
    std::uint64_t segmentAt = 0;
    std::uint64_t targetLength = 0;
    Bytes data, inst, addr;
    std::optional<std::uint32_t> checksum;
    std::uint8_t deltaIndicator = 0;
    std::optional<std::uint64_t> deltaLength;  // the right one when empty
};

inline Bytes window(const Window& w) {
    Bytes delta = varint(w.targetLength) + Bytes{w.deltaIndicator} + varint(w.data.size()) + varint(w.inst.size()) +
                  varint(w.addr.size());
    if (w.checksum) {
        for (int shift = 24; shift >= 0; shift -= 8) delta.push_back(std::uint8_t(*w.checksum >> shift));
    }
    delta = delta + w.data + w.inst + w.addr;
    Bytes out{w.indicator};
    if ((w.indicator & 3) != 0) out = out + varint(w.segmentLength) + varint(w.segmentAt);
    return out + varint(w.deltaLength.value_or(delta.size())) + delta;
}

// Deterministic bytes, different for every seed.
inline Bytes noise(std::size_t size, std::uint64_t seed) {
    Bytes out(size);
    std::uint64_t x = seed * 0x9E3779B97F4A7C15ull + 1;
    for (std::uint8_t& b : out) {
        x ^= x << 13, x ^= x >> 7, x ^= x << 17;
        b = std::uint8_t(x >> 24);
    }
    return out;
}

}  // namespace patch_test
