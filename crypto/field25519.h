// Arithmetic modulo p = 2^255 - 19, for Ed25519.
//
// An element is ten signed limbs of alternately 26 and 25 bits: limb i
// weighs 2^ceil(25.5 i). Sums and differences are taken limb by limb without
// carrying. A product's inputs may be sums of up to three carried elements
// (a carried limb is within 2^25, 2^24 for the odd ones): their limbs times
// 38 still fit in 32 bits, so every partial product is one 32 x 32 -> 64-bit
// multiplication, also on 32-bit processors. Products and squares come back
// carried.
//
// Everything is constexpr so that the curve's constants and tables are
// computed by the compiler. Nothing here branches on or indexes by the value
// of an element; only the callers of the tests feIsZero and feIsNegative do,
// on public values.
#pragma once

#include <array>
#include <cstdint>

namespace crypto::field {

struct Fe {
    std::int32_t v[10];
};

using Bytes32 = std::array<std::uint8_t, 32>;

inline constexpr int kLimbBits[10] = {26, 25, 26, 25, 26, 25, 26, 25, 26, 25};

constexpr Fe feZero() { return Fe{}; }

constexpr Fe feOne() {
    Fe f{};
    f.v[0] = 1;
    return f;
}

constexpr Fe feAdd(const Fe& f, const Fe& g) {
    Fe h{};
    for (int i = 0; i < 10; ++i) h.v[i] = f.v[i] + g.v[i];
    return h;
}

constexpr Fe feSub(const Fe& f, const Fe& g) {
    Fe h{};
    for (int i = 0; i < 10; ++i) h.v[i] = f.v[i] - g.v[i];
    return h;
}

constexpr Fe feNeg(const Fe& f) { return feSub(feZero(), f); }

// Carries 64-bit limb sums down to carried limbs. Each carry rounds, so
// limbs end in [-2^25, 2^25] ([-2^24, 2^24] for the odd ones, plus a little
// for limbs 1 and 5, which take a carry last); the carry out of limb 9
// re-enters limb 0 times 19, as 2^255 = 19 modulo p.
constexpr Fe feCarryWide(std::int64_t h[10]) {
    auto carry = [h](int i) {
        const int bits = kLimbBits[i];
        const std::int64_t c = (h[i] + (std::int64_t{1} << (bits - 1))) >> bits;
        h[i] -= c * (std::int64_t{1} << bits);
        if (i == 9) {
            h[0] += 19 * c;
        } else {
            h[i + 1] += c;
        }
    };
    // Two interleaved chains keep every limb within 64 bits.
    carry(0), carry(4);
    carry(1), carry(5);
    carry(2), carry(6);
    carry(3), carry(7);
    carry(4), carry(8);
    carry(9);
    carry(0);
    Fe f{};
    for (int i = 0; i < 10; ++i) f.v[i] = static_cast<std::int32_t>(h[i]);
    return f;
}

constexpr Fe feCarry(const Fe& f) {
    std::int64_t h[10] = {};
    for (int i = 0; i < 10; ++i) h[i] = f.v[i];
    return feCarryWide(h);
}

constexpr std::int64_t wide(std::int32_t a, std::int32_t b) { return std::int64_t{a} * b; }

// A limb weighs 2^(25i + ceil(i/2)), so the product of limbs i and j lands on
// limb i+j, doubled when both are odd, and past limb 9 on limb i+j-10 times 19.
constexpr Fe feMul(const Fe& f, const Fe& g) {
    const std::int32_t f0 = f.v[0], f1 = f.v[1], f2 = f.v[2], f3 = f.v[3], f4 = f.v[4];
    const std::int32_t f5 = f.v[5], f6 = f.v[6], f7 = f.v[7], f8 = f.v[8], f9 = f.v[9];
    const std::int32_t g0 = g.v[0], g1 = g.v[1], g2 = g.v[2], g3 = g.v[3], g4 = g.v[4];
    const std::int32_t g5 = g.v[5], g6 = g.v[6], g7 = g.v[7], g8 = g.v[8], g9 = g.v[9];
    const std::int32_t f1_2 = 2 * f1, f3_2 = 2 * f3, f5_2 = 2 * f5, f7_2 = 2 * f7, f9_2 = 2 * f9;
    const std::int32_t g1_19 = 19 * g1, g2_19 = 19 * g2, g3_19 = 19 * g3, g4_19 = 19 * g4, g5_19 = 19 * g5;
    const std::int32_t g6_19 = 19 * g6, g7_19 = 19 * g7, g8_19 = 19 * g8, g9_19 = 19 * g9;
    std::int64_t h[10] = {
        wide(f0, g0) + wide(f1_2, g9_19) + wide(f2, g8_19) + wide(f3_2, g7_19) + wide(f4, g6_19) + wide(f5_2, g5_19) +
            wide(f6, g4_19) + wide(f7_2, g3_19) + wide(f8, g2_19) + wide(f9_2, g1_19),
        wide(f0, g1) + wide(f1, g0) + wide(f2, g9_19) + wide(f3, g8_19) + wide(f4, g7_19) + wide(f5, g6_19) +
            wide(f6, g5_19) + wide(f7, g4_19) + wide(f8, g3_19) + wide(f9, g2_19),
        wide(f0, g2) + wide(f1_2, g1) + wide(f2, g0) + wide(f3_2, g9_19) + wide(f4, g8_19) + wide(f5_2, g7_19) +
            wide(f6, g6_19) + wide(f7_2, g5_19) + wide(f8, g4_19) + wide(f9_2, g3_19),
        wide(f0, g3) + wide(f1, g2) + wide(f2, g1) + wide(f3, g0) + wide(f4, g9_19) + wide(f5, g8_19) +
            wide(f6, g7_19) + wide(f7, g6_19) + wide(f8, g5_19) + wide(f9, g4_19),
        wide(f0, g4) + wide(f1_2, g3) + wide(f2, g2) + wide(f3_2, g1) + wide(f4, g0) + wide(f5_2, g9_19) +
            wide(f6, g8_19) + wide(f7_2, g7_19) + wide(f8, g6_19) + wide(f9_2, g5_19),
        wide(f0, g5) + wide(f1, g4) + wide(f2, g3) + wide(f3, g2) + wide(f4, g1) + wide(f5, g0) + wide(f6, g9_19) +
            wide(f7, g8_19) + wide(f8, g7_19) + wide(f9, g6_19),
        wide(f0, g6) + wide(f1_2, g5) + wide(f2, g4) + wide(f3_2, g3) + wide(f4, g2) + wide(f5_2, g1) + wide(f6, g0) +
            wide(f7_2, g9_19) + wide(f8, g8_19) + wide(f9_2, g7_19),
        wide(f0, g7) + wide(f1, g6) + wide(f2, g5) + wide(f3, g4) + wide(f4, g3) + wide(f5, g2) + wide(f6, g1) +
            wide(f7, g0) + wide(f8, g9_19) + wide(f9, g8_19),
        wide(f0, g8) + wide(f1_2, g7) + wide(f2, g6) + wide(f3_2, g5) + wide(f4, g4) + wide(f5_2, g3) + wide(f6, g2) +
            wide(f7_2, g1) + wide(f8, g0) + wide(f9_2, g9_19),
        wide(f0, g9) + wide(f1, g8) + wide(f2, g7) + wide(f3, g6) + wide(f4, g5) + wide(f5, g4) + wide(f6, g3) +
            wide(f7, g2) + wide(f8, g1) + wide(f9, g0),
    };
    return feCarryWide(h);
}

// feMul(f, f) with each cross product taken once.
constexpr Fe feSq(const Fe& f) {
    const std::int32_t f0 = f.v[0], f1 = f.v[1], f2 = f.v[2], f3 = f.v[3], f4 = f.v[4];
    const std::int32_t f5 = f.v[5], f6 = f.v[6], f7 = f.v[7], f8 = f.v[8], f9 = f.v[9];
    const std::int32_t f0_2 = 2 * f0, f1_2 = 2 * f1, f2_2 = 2 * f2, f3_2 = 2 * f3, f4_2 = 2 * f4;
    const std::int32_t f5_2 = 2 * f5, f6_2 = 2 * f6, f7_2 = 2 * f7, f8_2 = 2 * f8;
    const std::int32_t f6_19 = 19 * f6, f7_19 = 19 * f7, f8_19 = 19 * f8, f9_19 = 19 * f9;
    const std::int32_t f5_38 = 38 * f5, f7_38 = 38 * f7, f9_38 = 38 * f9;
    std::int64_t h[10] = {
        wide(f0, f0) + wide(f1_2, f9_38) + wide(f2_2, f8_19) + wide(f3_2, f7_38) + wide(f4_2, f6_19) + wide(f5, f5_38),
        wide(f0_2, f1) + wide(f2_2, f9_19) + wide(f3_2, f8_19) + wide(f4_2, f7_19) + wide(f5_2, f6_19),
        wide(f0_2, f2) + wide(f1_2, f1) + wide(f3_2, f9_38) + wide(f4_2, f8_19) + wide(f5_2, f7_38) + wide(f6, f6_19),
        wide(f0_2, f3) + wide(f1_2, f2) + wide(f4_2, f9_19) + wide(f5_2, f8_19) + wide(f6_2, f7_19),
        wide(f0_2, f4) + wide(f1_2, f3_2) + wide(f2, f2) + wide(f5_2, f9_38) + wide(f6_2, f8_19) + wide(f7, f7_38),
        wide(f0_2, f5) + wide(f1_2, f4) + wide(f2_2, f3) + wide(f6_2, f9_19) + wide(f7_2, f8_19),
        wide(f0_2, f6) + wide(f1_2, f5_2) + wide(f2_2, f4) + wide(f3_2, f3) + wide(f7_2, f9_38) + wide(f8, f8_19),
        wide(f0_2, f7) + wide(f1_2, f6) + wide(f2_2, f5) + wide(f3_2, f4) + wide(f8_2, f9_19),
        wide(f0_2, f8) + wide(f1_2, f7_2) + wide(f2_2, f6) + wide(f3_2, f5_2) + wide(f4, f4) + wide(f9, f9_38),
        wide(f0_2, f9) + wide(f1_2, f8) + wide(f2_2, f7) + wide(f3_2, f6) + wide(f4_2, f5),
    };
    return feCarryWide(h);
}

// f^(2^n).
constexpr Fe feSqTimes(Fe f, int n) {
    for (int i = 0; i < n; ++i) f = feSq(f);
    return f;
}

// z^(2^250 - 1), the common part of inversion and of the square root's
// exponent, and z^11 on the side.
constexpr Fe fePow2250Minus1(const Fe& z, Fe& z11) {
    const Fe z2 = feSq(z);
    const Fe z9 = feMul(feSqTimes(z2, 2), z);
    z11 = feMul(z9, z2);
    const Fe z5 = feMul(feSq(z11), z9);          // 2^5 - 1
    const Fe z10 = feMul(feSqTimes(z5, 5), z5);  // 2^10 - 1
    const Fe z20 = feMul(feSqTimes(z10, 10), z10);
    const Fe z40 = feMul(feSqTimes(z20, 20), z20);
    const Fe z50 = feMul(feSqTimes(z40, 10), z10);
    const Fe z100 = feMul(feSqTimes(z50, 50), z50);
    const Fe z200 = feMul(feSqTimes(z100, 100), z100);
    return feMul(feSqTimes(z200, 50), z50);  // 2^250 - 1
}

// 1/z as z^(p-2) = z^(2^255 - 21); 0 for 0.
constexpr Fe feInvert(const Fe& z) {
    Fe z11{};
    const Fe t = fePow2250Minus1(z, z11);
    return feMul(feSqTimes(t, 5), z11);
}

// z^((p-5)/8) = z^(2^252 - 3), for square roots.
constexpr Fe fePow22523(const Fe& z) {
    Fe z11{};
    const Fe t = fePow2250Minus1(z, z11);
    return feMul(feSqTimes(t, 2), z);
}

// The canonical 32-byte little-endian encoding (the value reduced below p;
// bit 255 clear) of a carried element.
constexpr Bytes32 feToBytes(const Fe& f) {
    std::int32_t h[10] = {};
    for (int i = 0; i < 10; ++i) h[i] = f.v[i];
    // Two flooring passes leave every limb in [0, 2^bits) and the value in
    // [0, 2^255): the second pass only moves the small carry of the first
    // around the top once more.
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < 10; ++i) {
            const std::int32_t c = h[i] >> kLimbBits[i];
            h[i] -= c * (std::int32_t{1} << kLimbBits[i]);
            if (i == 9) {
                h[0] += 19 * c;
            } else {
                h[i + 1] += c;
            }
        }
    }
    // Subtract p when the value is p or more, that is when value + 19
    // reaches 2^255.
    std::int32_t q = (h[0] + 19) >> 26;
    for (int i = 1; i < 10; ++i) q = (h[i] + q) >> kLimbBits[i];
    h[0] += 19 * q;
    for (int i = 0; i < 9; ++i) {
        const std::int32_t c = h[i] >> kLimbBits[i];
        h[i] -= c * (std::int32_t{1} << kLimbBits[i]);
        h[i + 1] += c;
    }
    h[9] &= (1 << 25) - 1;

    Bytes32 s{};
    std::uint64_t pending = 0;  // bits not yet stored, the lowest first
    int pendingBits = 0;
    int at = 0;
    for (int i = 0; i < 10; ++i) {
        pending |= std::uint64_t{static_cast<std::uint32_t>(h[i])} << pendingBits;
        for (pendingBits += kLimbBits[i]; pendingBits >= 8; pendingBits -= 8, pending >>= 8) {
            s[at++] = static_cast<std::uint8_t>(pending);
        }
    }
    s[at] = static_cast<std::uint8_t>(pending);
    return s;
}

// The element of a 32-byte little-endian number, bit 255 ignored. The number
// may be p or more; a caller that needs a canonical encoding compares
// feToBytes of the result with the input.
constexpr Fe feFromBytes(const Bytes32& s) {
    Fe f{};
    std::uint64_t pending = 0;  // bits read and not yet placed, the lowest first
    int pendingBits = 0;
    int at = 0;
    for (int i = 0; i < 10; ++i) {
        for (; pendingBits < kLimbBits[i]; pendingBits += 8) pending |= std::uint64_t{s[at++]} << pendingBits;
        f.v[i] = static_cast<std::int32_t>(pending & ((std::uint64_t{1} << kLimbBits[i]) - 1));
        pending >>= kLimbBits[i];
        pendingBits -= kLimbBits[i];
    }
    return f;
}

// The element of 64 hex digits written most significant first, for constants.
constexpr Fe feFromHex(const char (&hex)[65]) {
    Bytes32 s{};
    auto digit = [](char c) { return c <= '9' ? c - '0' : c - 'a' + 10; };
    for (int i = 0; i < 32; ++i) s[31 - i] = static_cast<std::uint8_t>(digit(hex[2 * i]) * 16 + digit(hex[2 * i + 1]));
    return feFromBytes(s);
}

constexpr bool feIsZero(const Fe& f) {
    const Bytes32 s = feToBytes(f);
    std::uint8_t any = 0;
    for (std::uint8_t b : s) any |= b;
    return any == 0;
}

// The low bit of the canonical value, the "sign" of an x coordinate.
constexpr int feIsNegative(const Fe& f) { return feToBytes(f)[0] & 1; }

// f = g when pick is 1, unchanged when 0, without branching on pick.
constexpr void feSelect(Fe& f, const Fe& g, std::uint32_t pick) {
    const std::int32_t mask = -static_cast<std::int32_t>(pick);
    for (int i = 0; i < 10; ++i) f.v[i] ^= mask & (f.v[i] ^ g.v[i]);
}

}  // namespace crypto::field
