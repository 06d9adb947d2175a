// SHA-256's compression in plain C++: the message schedules of four blocks
// computed side by side, then each block's 64 rounds.
#include <bit>

#include "crypto/sha256_blocks.h"

namespace crypto {
namespace {

inline std::uint32_t loadBigEndian(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

inline std::uint32_t sigma0(std::uint32_t x) { return std::rotr(x, 7) ^ std::rotr(x, 18) ^ (x >> 3); }
inline std::uint32_t sigma1(std::uint32_t x) { return std::rotr(x, 17) ^ std::rotr(x, 19) ^ (x >> 10); }
inline std::uint32_t bigSigma0(std::uint32_t x) { return std::rotr(x, 2) ^ std::rotr(x, 13) ^ std::rotr(x, 22); }
inline std::uint32_t bigSigma1(std::uint32_t x) { return std::rotr(x, 6) ^ std::rotr(x, 11) ^ std::rotr(x, 25); }

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

// The schedule words of kLanes consecutive blocks plus K, word by word:
// lane j of row t is W[t] + K[t] of block j. Computing the lanes side by side
// lets the compiler use vector instructions where the target has them, which
// takes the schedule off the integer units the rounds need.
constexpr int kLanes = 4;

template <int Lanes>
inline void schedule(const std::uint8_t* blocks, std::uint32_t (*wk)[kLanes]) {
    std::uint32_t w[64][Lanes];
    for (int t = 0; t < 16; ++t) {
        for (int j = 0; j < Lanes; ++j) w[t][j] = loadBigEndian(blocks + 64 * j + 4 * t);
    }
    for (int t = 16; t < 64; ++t) {
        for (int j = 0; j < Lanes; ++j) {
            w[t][j] = sigma1(w[t - 2][j]) + w[t - 7][j] + sigma0(w[t - 15][j]) + w[t - 16][j];
        }
    }
    for (int t = 0; t < 64; ++t) {
        for (int j = 0; j < Lanes; ++j) wk[t][j] = w[t][j] + kSha256RoundConstants[t];
    }
}

// The 64 rounds of the block in lane j of wk.
inline void rounds(std::uint32_t state[8], const std::uint32_t (*wk)[kLanes], int j) {
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

void sha256BlocksPortable(std::uint32_t state[8], const std::uint8_t* blocks, std::size_t count) {
    std::uint32_t wk[64][kLanes];
    for (; count >= kLanes; count -= kLanes, blocks += 64 * kLanes) {
        schedule<kLanes>(blocks, wk);
        for (int j = 0; j < kLanes; ++j) rounds(state, wk, j);
    }
    for (; count > 0; --count, blocks += 64) {
        schedule<1>(blocks, wk);
        rounds(state, wk, 0);
    }
}

}  // namespace crypto
