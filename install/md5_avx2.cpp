// Eight MD5 computations in the lanes of one AVX2 register. This file alone
// is compiled for AVX2 (install/CMakeLists.txt); it runs only where the
// processor and the system support it.
#include <immintrin.h>

#include "install/md5_lanes.h"
#include "install/md5_steps.h"

namespace {

struct Avx2 {
    using Word = __m256i;
    static Word add(Word x, Word y) { return _mm256_add_epi32(x, y); }
    static Word bitXor(Word x, Word y) { return _mm256_xor_si256(x, y); }
    static Word bitAnd(Word x, Word y) { return _mm256_and_si256(x, y); }
    static Word bitOr(Word x, Word y) { return _mm256_or_si256(x, y); }
    static Word andNot(Word x, Word y) { return _mm256_andnot_si256(x, y); }
    static Word constant(std::uint32_t k) { return _mm256_set1_epi32(static_cast<int>(k)); }
    template <int S>
    static Word rotl(Word x) {
        return _mm256_or_si256(_mm256_slli_epi32(x, S), _mm256_srli_epi32(x, 32 - S));
    }
};

// Words 8h .. 8h+7 of the block of each lane, regrouped so that vector j
// holds word 8h+j of every lane.
inline void loadTransposed(const unsigned char* const* data, std::size_t offset, __m256i* out) {
    __m256i r[8];
    for (int lane = 0; lane < 8; ++lane) r[lane] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data[lane] + offset));
    // Pairs of lanes, then quadruples, within each 128-bit half ...
    const __m256i t0 = _mm256_unpacklo_epi32(r[0], r[1]), t1 = _mm256_unpackhi_epi32(r[0], r[1]);
    const __m256i t2 = _mm256_unpacklo_epi32(r[2], r[3]), t3 = _mm256_unpackhi_epi32(r[2], r[3]);
    const __m256i t4 = _mm256_unpacklo_epi32(r[4], r[5]), t5 = _mm256_unpackhi_epi32(r[4], r[5]);
    const __m256i t6 = _mm256_unpacklo_epi32(r[6], r[7]), t7 = _mm256_unpackhi_epi32(r[6], r[7]);
    const __m256i u0 = _mm256_unpacklo_epi64(t0, t2), u1 = _mm256_unpackhi_epi64(t0, t2);
    const __m256i u2 = _mm256_unpacklo_epi64(t1, t3), u3 = _mm256_unpackhi_epi64(t1, t3);
    const __m256i u4 = _mm256_unpacklo_epi64(t4, t6), u5 = _mm256_unpackhi_epi64(t4, t6);
    const __m256i u6 = _mm256_unpacklo_epi64(t5, t7), u7 = _mm256_unpackhi_epi64(t5, t7);
    // ... then lanes 0-3 and 4-7 joined: the low halves hold words 0-3, the high ones 4-7.
    out[0] = _mm256_permute2x128_si256(u0, u4, 0x20);
    out[1] = _mm256_permute2x128_si256(u1, u5, 0x20);
    out[2] = _mm256_permute2x128_si256(u2, u6, 0x20);
    out[3] = _mm256_permute2x128_si256(u3, u7, 0x20);
    out[4] = _mm256_permute2x128_si256(u0, u4, 0x31);
    out[5] = _mm256_permute2x128_si256(u1, u5, 0x31);
    out[6] = _mm256_permute2x128_si256(u2, u6, 0x31);
    out[7] = _mm256_permute2x128_si256(u3, u7, 0x31);
}

}  // namespace

void md5Lanes8Avx2(std::uint32_t* state, const unsigned char* const* data, std::size_t blocks) {
    auto* words = reinterpret_cast<__m256i*>(state);
    __m256i a = _mm256_loadu_si256(words), b = _mm256_loadu_si256(words + 1);
    __m256i c = _mm256_loadu_si256(words + 2), d = _mm256_loadu_si256(words + 3);
    for (std::size_t block = 0; block < blocks; ++block) {
        __m256i x[16];
        loadTransposed(data, 64 * block, x);
        loadTransposed(data, 64 * block + 32, x + 8);
        Md5Steps<Avx2>::block(a, b, c, d, x);
    }
    _mm256_storeu_si256(words, a);
    _mm256_storeu_si256(words + 1, b);
    _mm256_storeu_si256(words + 2, c);
    _mm256_storeu_si256(words + 3, d);
}
