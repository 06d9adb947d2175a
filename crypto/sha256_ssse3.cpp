// SHA-256's compression with four blocks' schedules in SSSE3 registers.
// This file alone is built for SSSE3 (see CMakeLists.txt); nothing here runs
// unless sha256Ssse3Usable().
#include <tmmintrin.h>

#include "crypto/sha256_lanes.h"

namespace crypto {
namespace {

struct Ssse3Lanes {
    static constexpr int kCount = 4;
    using Row = __m128i;

    static Row load(const std::uint32_t* p) { return _mm_load_si128(reinterpret_cast<const __m128i*>(p)); }
    static void store(std::uint32_t* p, Row x) { _mm_store_si128(reinterpret_cast<__m128i*>(p), x); }
    // Four words of each block, byte-swapped, then transposed.
    static void loadWords(const std::uint8_t* blocks, int t, Row rows[]) {
        const __m128i byteSwap = _mm_setr_epi8(3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12);
        __m128i x[kCount];
        for (int j = 0; j < kCount; ++j) {
            const auto* words = reinterpret_cast<const __m128i*>(blocks + 64 * j + 4 * t);
            x[j] = _mm_shuffle_epi8(_mm_loadu_si128(words), byteSwap);
        }
        const __m128i lo01 = _mm_unpacklo_epi32(x[0], x[1]), hi01 = _mm_unpackhi_epi32(x[0], x[1]);
        const __m128i lo23 = _mm_unpacklo_epi32(x[2], x[3]), hi23 = _mm_unpackhi_epi32(x[2], x[3]);
        rows[0] = _mm_unpacklo_epi64(lo01, lo23);
        rows[1] = _mm_unpackhi_epi64(lo01, lo23);
        rows[2] = _mm_unpacklo_epi64(hi01, hi23);
        rows[3] = _mm_unpackhi_epi64(hi01, hi23);
    }
    static Row add(Row x, Row y) { return _mm_add_epi32(x, y); }
    static Row bitXor(Row x, Row y) { return _mm_xor_si128(x, y); }
    template <int N>
    static Row shr(Row x) {
        return _mm_srli_epi32(x, N);
    }
    template <int N>
    static Row shl(Row x) {
        return _mm_slli_epi32(x, N);
    }
    static Row constant(std::uint32_t k) { return _mm_set1_epi32(static_cast<int>(k)); }
};

}  // namespace

void sha256BlocksSsse3(std::uint32_t state[8], const std::uint8_t* blocks, std::size_t count) {
    sha256BlocksInLanes<Ssse3Lanes>(state, blocks, count);
}

}  // namespace crypto
