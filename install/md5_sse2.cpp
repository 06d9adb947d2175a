// Four MD5 computations in the lanes of one SSE2 register. This file alone is
// compiled for SSE2 (install/CMakeLists.txt); it runs only where the
// processor has it.
#include <emmintrin.h>

#include "install/md5_lanes.h"
#include "install/md5_steps.h"

namespace {

struct Sse2 {
    using Word = __m128i;
    static Word add(Word x, Word y) { return _mm_add_epi32(x, y); }
    static Word bitXor(Word x, Word y) { return _mm_xor_si128(x, y); }
    static Word bitAnd(Word x, Word y) { return _mm_and_si128(x, y); }
    static Word bitOr(Word x, Word y) { return _mm_or_si128(x, y); }
    static Word andNot(Word x, Word y) { return _mm_andnot_si128(x, y); }
    static Word constant(std::uint32_t k) { return _mm_set1_epi32(static_cast<int>(k)); }
    template <int S>
    static Word rotl(Word x) {
        return _mm_or_si128(_mm_slli_epi32(x, S), _mm_srli_epi32(x, 32 - S));
    }
};

// Words 4q .. 4q+3 of the block of each lane, regrouped so that vector j
// holds word 4q+j of every lane.
inline void loadTransposed(const unsigned char* const* data, std::size_t offset, __m128i* out) {
    const __m128i r0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data[0] + offset));
    const __m128i r1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data[1] + offset));
    const __m128i r2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data[2] + offset));
    const __m128i r3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data[3] + offset));
    const __m128i t0 = _mm_unpacklo_epi32(r0, r1);
    const __m128i t1 = _mm_unpackhi_epi32(r0, r1);
    const __m128i t2 = _mm_unpacklo_epi32(r2, r3);
    const __m128i t3 = _mm_unpackhi_epi32(r2, r3);
    out[0] = _mm_unpacklo_epi64(t0, t2);
    out[1] = _mm_unpackhi_epi64(t0, t2);
    out[2] = _mm_unpacklo_epi64(t1, t3);
    out[3] = _mm_unpackhi_epi64(t1, t3);
}

}  // namespace

void md5Lanes4Sse2(std::uint32_t* state, const unsigned char* const* data, std::size_t blocks) {
    auto* words = reinterpret_cast<__m128i*>(state);
    __m128i a = _mm_loadu_si128(words), b = _mm_loadu_si128(words + 1);
    __m128i c = _mm_loadu_si128(words + 2), d = _mm_loadu_si128(words + 3);
    for (std::size_t block = 0; block < blocks; ++block) {
        __m128i x[16];
        for (int q = 0; q < 4; ++q) loadTransposed(data, 64 * block + 16 * q, x + 4 * q);
        Md5Steps<Sse2>::block(a, b, c, d, x);
    }
    _mm_storeu_si128(words, a);
    _mm_storeu_si128(words + 1, b);
    _mm_storeu_si128(words + 2, c);
    _mm_storeu_si128(words + 3, d);
}
