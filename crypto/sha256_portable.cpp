// SHA-256's compression in plain C++: the 64 rounds unrolled, the message
// schedule kept in a ring of 16 words and extended as the rounds go.
#include <bit>

#include "crypto/sha256_blocks.h"

namespace crypto {
namespace {

inline std::uint32_t loadBigEndian(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

inline std::uint32_t sigma0(std::uint32_t x) { return std::rotr(x, 7) ^ std::rotr(x, 18) ^ (x >> 3); }
inline std::uint32_t sigma1(std::uint32_t x) { return std::rotr(x, 17) ^ std::rotr(x, 19) ^ (x >> 10); }

// One round; instead of moving the eight working variables, the caller
// rotates the names it passes. Maj(a, b, c) is written as b ^ ((a ^ b) & (b ^ c)).
inline void step(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t& d, std::uint32_t e, std::uint32_t f,
                  std::uint32_t g, std::uint32_t& h, std::uint32_t kw) {
    h += (std::rotr(e, 6) ^ std::rotr(e, 11) ^ std::rotr(e, 25)) + (g ^ (e & (f ^ g))) + kw;
    d += h;
    h += (std::rotr(a, 2) ^ std::rotr(a, 13) ^ std::rotr(a, 22)) + (b ^ ((a ^ b) & (b ^ c)));
}

// Rounds i .. i+7 of a block, where w holds the schedule words i .. i+15
// modulo 16; from round 16 on each word is extended in place first.
template <int I>
inline void eightRounds(std::uint32_t* w, std::uint32_t& a, std::uint32_t& b, std::uint32_t& c, std::uint32_t& d,
                        std::uint32_t& e, std::uint32_t& f, std::uint32_t& g, std::uint32_t& h) {
    auto word = [w](int t) {
        if (t >= 16) w[t & 15] += sigma1(w[(t - 2) & 15]) + w[(t - 7) & 15] + sigma0(w[(t - 15) & 15]);
        return kSha256RoundConstants[t] + w[t & 15];
    };
    step(a, b, c, d, e, f, g, h, word(I + 0));
    step(h, a, b, c, d, e, f, g, word(I + 1));
    step(g, h, a, b, c, d, e, f, word(I + 2));
    step(f, g, h, a, b, c, d, e, word(I + 3));
    step(e, f, g, h, a, b, c, d, word(I + 4));
    step(d, e, f, g, h, a, b, c, word(I + 5));
    step(c, d, e, f, g, h, a, b, word(I + 6));
    step(b, c, d, e, f, g, h, a, word(I + 7));
}

}  // namespace

void sha256BlocksPortable(std::uint32_t state[8], const std::uint8_t* blocks, std::size_t count) {
    for (; count > 0; --count, blocks += 64) {
        std::uint32_t w[16];
        for (int t = 0; t < 16; ++t) w[t] = loadBigEndian(blocks + 4 * t);
        std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
        std::uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
        eightRounds<0>(w, a, b, c, d, e, f, g, h);
        eightRounds<8>(w, a, b, c, d, e, f, g, h);
        eightRounds<16>(w, a, b, c, d, e, f, g, h);
        eightRounds<24>(w, a, b, c, d, e, f, g, h);
        eightRounds<32>(w, a, b, c, d, e, f, g, h);
        eightRounds<40>(w, a, b, c, d, e, f, g, h);
        eightRounds<48>(w, a, b, c, d, e, f, g, h);
        eightRounds<56>(w, a, b, c, d, e, f, g, h);
        state[0] += a, state[1] += b, state[2] += c, state[3] += d;
        state[4] += e, state[5] += f, state[6] += g, state[7] += h;
    }
}

}  // namespace crypto
