#include "crypto/sha512.h"

#include <bit>
#include <cstring>

#include "crypto/block_feed.h"
namespace crypto {
namespace {

// The first 64 bits of the fractional parts of the cube roots of the first
// 80 primes.
constexpr std::uint64_t kRoundConstants[80] = {
    0x428a2f98d728ae22, 0x7137449123ef65cd, 0xb5c0fbcfec4d3b2f, 0xe9b5dba58189dbbc, 0x3956c25bf348b538,
    0x59f111f1b605d019, 0x923f82a4af194f9b, 0xab1c5ed5da6d8118, 0xd807aa98a3030242, 0x12835b0145706fbe,
    0x243185be4ee4b28c, 0x550c7dc3d5ffb4e2, 0x72be5d74f27b896f, 0x80deb1fe3b1696b1, 0x9bdc06a725c71235,
    0xc19bf174cf692694, 0xe49b69c19ef14ad2, 0xefbe4786384f25e3, 0x0fc19dc68b8cd5b5, 0x240ca1cc77ac9c65,
    0x2de92c6f592b0275, 0x4a7484aa6ea6e483, 0x5cb0a9dcbd41fbd4, 0x76f988da831153b5, 0x983e5152ee66dfab,
    0xa831c66d2db43210, 0xb00327c898fb213f, 0xbf597fc7beef0ee4, 0xc6e00bf33da88fc2, 0xd5a79147930aa725,
    0x06ca6351e003826f, 0x142929670a0e6e70, 0x27b70a8546d22ffc, 0x2e1b21385c26c926, 0x4d2c6dfc5ac42aed,
    0x53380d139d95b3df, 0x650a73548baf63de, 0x766a0abb3c77b2a8, 0x81c2c92e47edaee6, 0x92722c851482353b,
    0xa2bfe8a14cf10364, 0xa81a664bbc423001, 0xc24b8b70d0f89791, 0xc76c51a30654be30, 0xd192e819d6ef5218,
    0xd69906245565a910, 0xf40e35855771202a, 0x106aa07032bbd1b8, 0x19a4c116b8d2d0c8, 0x1e376c085141ab53,
    0x2748774cdf8eeb99, 0x34b0bcb5e19b48a8, 0x391c0cb3c5c95a63, 0x4ed8aa4ae3418acb, 0x5b9cca4f7763e373,
    0x682e6ff3d6b2b8a3, 0x748f82ee5defb2fc, 0x78a5636f43172f60, 0x84c87814a1f0ab72, 0x8cc702081a6439ec,
    0x90befffa23631e28, 0xa4506cebde82bde9, 0xbef9a3f7b2c67915, 0xc67178f2e372532b, 0xca273eceea26619c,
    0xd186b8c721c0c207, 0xeada7dd6cde0eb1e, 0xf57d4f7fee6ed178, 0x06f067aa72176fba, 0x0a637dc5a2c898a6,
    0x113f9804bef90dae, 0x1b710b35131c471b, 0x28db77f523047d84, 0x32caab7b40c72493, 0x3c9ebe0a15c9bebc,
    0x431d67c49c100d4c, 0x4cc5d4becb3e42b6, 0x597f299cfc657e2a, 0x5fcb6fab3ad6faec, 0x6c44198c4a475817,
};

inline std::uint64_t loadBigEndian(const std::uint8_t* p) {
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v = (v << 8) | p[i];
    return v;
}

inline std::uint64_t sigma0(std::uint64_t x) { return std::rotr(x, 1) ^ std::rotr(x, 8) ^ (x >> 7); }
inline std::uint64_t sigma1(std::uint64_t x) { return std::rotr(x, 19) ^ std::rotr(x, 61) ^ (x >> 6); }

// One round; the caller rotates the names of the working variables instead
// of moving them.
inline void step(std::uint64_t a, std::uint64_t b, std::uint64_t c, std::uint64_t& d, std::uint64_t e, std::uint64_t f,
                 std::uint64_t g, std::uint64_t& h, std::uint64_t kw) {
    h += (std::rotr(e, 14) ^ std::rotr(e, 18) ^ std::rotr(e, 41)) + (g ^ (e & (f ^ g))) + kw;
    d += h;
    h += (std::rotr(a, 28) ^ std::rotr(a, 34) ^ std::rotr(a, 39)) + (b ^ ((a ^ b) & (b ^ c)));
}

void compress(std::uint64_t state[8], const std::uint8_t* blocks, std::size_t count) {
    for (; count > 0; --count, blocks += 128) {
        std::uint64_t w[16];
        for (int t = 0; t < 16; ++t) w[t] = loadBigEndian(blocks + 8 * t);
        std::uint64_t a = state[0], b = state[1], c = state[2], d = state[3];
        std::uint64_t e = state[4], f = state[5], g = state[6], h = state[7];
        // The schedule in a ring of 16 words, extended in place from round 16 on.
        auto word = [&w](int t) {
            if (t >= 16) w[t & 15] += sigma1(w[(t - 2) & 15]) + w[(t - 7) & 15] + sigma0(w[(t - 15) & 15]);
            return kRoundConstants[t] + w[t & 15];
        };
        for (int t = 0; t < 80; t += 8) {
            step(a, b, c, d, e, f, g, h, word(t + 0));
            step(h, a, b, c, d, e, f, g, word(t + 1));
            step(g, h, a, b, c, d, e, f, word(t + 2));
            step(f, g, h, a, b, c, d, e, word(t + 3));
            step(e, f, g, h, a, b, c, d, word(t + 4));
            step(d, e, f, g, h, a, b, c, word(t + 5));
            step(c, d, e, f, g, h, a, b, word(t + 6));
            step(b, c, d, e, f, g, h, a, word(t + 7));
        }
        state[0] += a, state[1] += b, state[2] += c, state[3] += d;
        state[4] += e, state[5] += f, state[6] += g, state[7] += h;
    }
}

}  // namespace

Sha512::Sha512() { reset(); }

void Sha512::reset() {
    // The first 64 bits of the fractional parts of the square roots of the
    // first 8 primes.
    static constexpr std::uint64_t kInitial[8] = {
        0x6a09e667f3bcc908, 0xbb67ae8584caa73b, 0x3c6ef372fe94f82b, 0xa54ff53a5f1d36f1,
        0x510e527fade682d1, 0x9b05688c2b3e6c1f, 0x1f83d9abfb41bd6b, 0x5be0cd19137e2179,
    };
    std::memcpy(state_, kInitial, sizeof state_);
    length_ = 0;
}

void Sha512::update(const void* data, std::size_t size) {
    feedBlocks(buffer_, length_, data, size,
               [this](const std::uint8_t* blocks, std::size_t count) { compress(state_, blocks, count); });
}

Sha512Digest Sha512::finish() {
    // A 1 bit, zeros up to 16 bytes short of a block end, the 128-bit length
    // (whose upper half is zero here).
    const std::uint64_t bits = length_ * 8;
    std::uint8_t tail[144] = {0x80};
    const std::size_t held = static_cast<std::size_t>(length_ % 128);
    const std::size_t padding = (held < 112 ? 112 : 240) - held;
    for (int i = 0; i < 8; ++i) tail[padding + 8 + i] = static_cast<std::uint8_t>(bits >> (56 - 8 * i));
    update(tail, padding + 16);

    Sha512Digest digest;
    for (int i = 0; i < 64; ++i) digest[i] = static_cast<std::uint8_t>(state_[i / 8] >> (56 - 8 * (i % 8)));
    reset();
    return digest;
}

Sha512Digest sha512(const void* data, std::size_t size) {
    Sha512 context;
    context.update(data, size);
    return context.finish();
}

}  // namespace crypto
