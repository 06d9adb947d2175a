// SHA-256's compression with eight blocks' schedules in AVX2 registers.
// This file alone is built for AVX2 and BMI2 (see CMakeLists.txt), whose
// RORX rotates without the copy the rounds otherwise need for each of their
// six rotations; nothing here runs unless sha256Avx2Usable().
#include <immintrin.h>

#include "crypto/sha256_lanes.h"

namespace crypto {
namespace {

struct Avx2Lanes {
    static constexpr int kCount = 8;
    using Row = __m256i;

    static Row load(const std::uint32_t* p) { return _mm256_load_si256(reinterpret_cast<const __m256i*>(p)); }
    static void store(std::uint32_t* p, Row x) { _mm256_store_si256(reinterpret_cast<__m256i*>(p), x); }
    // Eight words of each block, byte-swapped, then transposed.
    static void loadWords(const std::uint8_t* blocks, int t, Row rows[]) {
        const __m256i byteSwap = _mm256_setr_epi8(3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12, 3, 2, 1, 0, 7,
                                                  6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12);
        __m256i x[kCount];
        for (int j = 0; j < kCount; ++j) {
            const auto* words = reinterpret_cast<const __m256i*>(blocks + 64 * j + 4 * t);
            x[j] = _mm256_shuffle_epi8(_mm256_loadu_si256(words), byteSwap);
        }
        // Unpacking transposes within each 128-bit half: z[i] then holds word
        // i of blocks 0 to 3 in its low half and word i + 4 in its high one,
        // z[i + 4] the same of blocks 4 to 7; the halves are then regrouped.
        __m256i y[kCount], z[kCount];
        for (int j = 0; j < kCount; j += 2) {
            y[j] = _mm256_unpacklo_epi32(x[j], x[j + 1]);
            y[j + 1] = _mm256_unpackhi_epi32(x[j], x[j + 1]);
        }
        for (int j = 0; j < kCount; j += 4) {
            z[j] = _mm256_unpacklo_epi64(y[j], y[j + 2]);
            z[j + 1] = _mm256_unpackhi_epi64(y[j], y[j + 2]);
            z[j + 2] = _mm256_unpacklo_epi64(y[j + 1], y[j + 3]);
            z[j + 3] = _mm256_unpackhi_epi64(y[j + 1], y[j + 3]);
        }
        for (int i = 0; i < 4; ++i) {
            rows[i] = _mm256_permute2x128_si256(z[i], z[i + 4], 0x20);
            rows[i + 4] = _mm256_permute2x128_si256(z[i], z[i + 4], 0x31);
        }
    }
    static Row add(Row x, Row y) { return _mm256_add_epi32(x, y); }
    static Row bitXor(Row x, Row y) { return _mm256_xor_si256(x, y); }
    template <int N>
    static Row shr(Row x) {
        return _mm256_srli_epi32(x, N);
    }
    template <int N>
    static Row shl(Row x) {
        return _mm256_slli_epi32(x, N);
    }
    static Row constant(std::uint32_t k) { return _mm256_set1_epi32(static_cast<int>(k)); }
};

}  // namespace

void sha256BlocksAvx2(std::uint32_t state[8], const std::uint8_t* blocks, std::size_t count) {
    sha256BlocksInLanes<Avx2Lanes>(state, blocks, count);
}

}  // namespace crypto
