// SHA-256's compression in plain C++: the message schedules of four blocks
// computed side by side, then each block's 64 rounds.
#include "crypto/sha256_blocks.h"
#include "crypto/sha256_rounds.h"

namespace crypto {
namespace {

inline std::uint32_t loadBigEndian(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

inline std::uint32_t sigma0(std::uint32_t x) { return rotateRight(x, 7) ^ rotateRight(x, 18) ^ (x >> 3); }
inline std::uint32_t sigma1(std::uint32_t x) { return rotateRight(x, 17) ^ rotateRight(x, 19) ^ (x >> 10); }
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

}  // namespace

void sha256BlocksPortable(std::uint32_t state[8], const std::uint8_t* blocks, std::size_t count) {
    std::uint32_t wk[64][kLanes];
    for (; count >= kLanes; count -= kLanes, blocks += 64 * kLanes) {
        schedule<kLanes>(blocks, wk);
        for (int j = 0; j < kLanes; ++j) rounds<kLanes>(state, wk, j);
    }
    for (; count > 0; --count, blocks += 64) {
        schedule<1>(blocks, wk);
        rounds<kLanes>(state, wk, 0);
    }
}

}  // namespace crypto
