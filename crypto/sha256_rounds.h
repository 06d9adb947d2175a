// SHA-256's 64 rounds on one block in the integer registers, given the
// block's W[t] + K[t]: shared by the block functions that compute the
// message schedule in their own ways.
#pragma once

#include <cstdint>

namespace crypto {

// Internal linkage: each block function keeps the copies built with its own
// instruction set (BMI2's rotations, for one), never those of another file.
namespace {

inline std::uint32_t rotateRight(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

inline std::uint32_t bigSigma0(std::uint32_t x) { return rotateRight(x, 2) ^ rotateRight(x, 13) ^ rotateRight(x, 22); }
inline std::uint32_t bigSigma1(std::uint32_t x) { return rotateRight(x, 6) ^ rotateRight(x, 11) ^ rotateRight(x, 25); }

// One round; instead of moving the eight working variables, the caller
// rotates the names it passes. Maj(a, b, c) is b ^ ((a ^ b) & (b ^ c)), and
// this round's a ^ b is the next round's b ^ c, carried in bc.
inline void step(std::uint32_t a, std::uint32_t b, std::uint32_t& d, std::uint32_t e, std::uint32_t f, std::uint32_t g,
                 std::uint32_t& h, std::uint32_t& bc, std::uint32_t kw) {
    h += kw;
    h += g ^ (e & (f ^ g));
    h += bigSigma1(e);
    d += h;
    const std::uint32_t ab = a ^ b;
    h += bigSigma0(a) + (b ^ (ab & bc));
    bc = ab;
}

// The 64 rounds of the block in column j of wk, a table of W[t] + K[t] of
// Count blocks side by side.
template <int Count>
void rounds(std::uint32_t state[8], const std::uint32_t (*wk)[Count], int j) {
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    std::uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
    std::uint32_t bc = b ^ c;
    for (int t = 0; t < 64; t += 8) {
        step(a, b, d, e, f, g, h, bc, wk[t + 0][j]);
        step(h, a, c, d, e, f, g, bc, wk[t + 1][j]);
        step(g, h, b, c, d, e, f, bc, wk[t + 2][j]);
        step(f, g, a, b, c, d, e, bc, wk[t + 3][j]);
        step(e, f, h, a, b, c, d, bc, wk[t + 4][j]);
        step(d, e, g, h, a, b, c, bc, wk[t + 5][j]);
        step(c, d, f, g, h, a, b, bc, wk[t + 6][j]);
        step(b, c, e, f, g, h, a, bc, wk[t + 7][j]);
    }
    state[0] += a, state[1] += b, state[2] += c, state[3] += d;
    state[4] += e, state[5] += f, state[6] += g, state[7] += h;
}

}  // namespace

}  // namespace crypto
