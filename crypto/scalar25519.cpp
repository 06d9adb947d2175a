#include "crypto/scalar25519.h"

namespace crypto::scalar {
namespace {

// L in 32-bit limbs, the lowest first, with a zero limb above.
constexpr std::uint32_t kOrder[9] = {0x5cf5d3ed, 0x5812631a, 0xa2f79cd6, 0x14def9de, 0, 0, 0, 0x10000000, 0};

template <std::size_t N>
void loadLimbs(const std::array<std::uint8_t, N>& bytes, std::uint32_t* limbs) {
    for (std::size_t i = 0; i < N / 4; ++i) {
        limbs[i] = std::uint32_t{bytes[4 * i]} | (std::uint32_t{bytes[4 * i + 1]} << 8) |
                   (std::uint32_t{bytes[4 * i + 2]} << 16) | (std::uint32_t{bytes[4 * i + 3]} << 24);
    }
}

}  // namespace

Bytes32 reduce(const Bytes64& wide) {
    // Horner's rule a byte at a time, from the top: r = (256 r + byte) mod L.
    // With r below L, t = 256 r + byte is below 2^261, and its quotient by L is
    // q = floor(t / 2^252) or one less, because L exceeds 2^252 by less than
    // 2^125: t - q L lies in (-L, 2^252), and one masked addition of L ends
    // the step.
    std::uint32_t r[9] = {};
    for (int at = 63; at >= 0; --at) {
        std::uint32_t t[9];
        std::uint64_t shifted = wide[at];
        for (int j = 0; j < 9; ++j) {
            shifted += std::uint64_t{r[j]} << 8;
            t[j] = static_cast<std::uint32_t>(shifted);
            shifted >>= 32;
        }
        const std::uint64_t q = (t[7] >> 28) | (std::uint64_t{t[8]} << 4);
        std::int64_t difference = 0;
        for (int j = 0; j < 9; ++j) {
            difference += static_cast<std::int64_t>(t[j]) - static_cast<std::int64_t>(q * kOrder[j]);
            t[j] = static_cast<std::uint32_t>(difference);
            difference >>= 32;
        }
        const auto negative = static_cast<std::uint32_t>(difference);  // all ones when t - q L < 0
        std::uint64_t sum = 0;
        for (int j = 0; j < 9; ++j) {
            sum += std::uint64_t{t[j]} + (kOrder[j] & negative);
            r[j] = static_cast<std::uint32_t>(sum);
            sum >>= 32;
        }
    }
    Bytes32 out;
    for (int i = 0; i < 32; ++i) out[i] = static_cast<std::uint8_t>(r[i / 4] >> (8 * (i % 4)));
    return out;
}

Bytes32 mulAdd(const Bytes32& a, const Bytes32& b, const Bytes32& c) {
    std::uint32_t x[8], y[8];
    loadLimbs(a, x);
    loadLimbs(b, y);
    // a b + c < 2^256 L + L < 2^512: sixteen limbs, starting from c.
    std::uint32_t product[16] = {};
    loadLimbs(c, product);
    for (int i = 0; i < 8; ++i) {
        std::uint64_t carry = 0;
        for (int j = 0; j < 8; ++j) {
            carry += std::uint64_t{x[i]} * y[j] + product[i + j];
            product[i + j] = static_cast<std::uint32_t>(carry);
            carry >>= 32;
        }
        // Rows before this one reached limb i + 7 at most.
        product[i + 8] = static_cast<std::uint32_t>(carry);
    }
    Bytes64 wide;
    for (int i = 0; i < 64; ++i) wide[i] = static_cast<std::uint8_t>(product[i / 4] >> (8 * (i % 4)));
    return reduce(wide);
}

bool isReduced(const Bytes32& s) {
    std::uint32_t limbs[8];
    loadLimbs(s, limbs);
    for (int i = 7; i >= 0; --i) {
        if (limbs[i] != kOrder[i]) return limbs[i] < kOrder[i];
    }
    return false;
}

}  // namespace crypto::scalar
