// Two SHA-256 compressions interleaved, with the x86 SHA extensions: the
// rounds of one message depend each on the last, and SHA256RNDS2 takes
// several cycles to give its result while it could start another every
// cycle or two, so the two messages' rounds alternate. This file alone is
// built with the extensions (see CMakeLists.txt); the state layout is that of
// sha256BlocksShaExtensions: {A,B,E,F} and {C,D,G,H}.
#include <immintrin.h>

#include "crypto/sha256_blocks.h"
#include "crypto/sha256x2.h"

namespace crypto {
namespace {

struct Lane {
    __m128i abef, cdgh;
    __m128i w0, w1, w2, w3;
};

inline void load(Lane& lane, const std::uint32_t state[8]) {
    const __m128i badc = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0xB1);
    const __m128i hgfe = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4)), 0x1B);
    lane.abef = _mm_alignr_epi8(badc, hgfe, 8);
    lane.cdgh = _mm_blend_epi16(hgfe, badc, 0xF0);
}

inline void store(const Lane& lane, std::uint32_t state[8]) {
    const __m128i abefLanes = _mm_shuffle_epi32(lane.abef, 0x1B);
    const __m128i ghcdLanes = _mm_shuffle_epi32(lane.cdgh, 0xB1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_blend_epi16(abefLanes, ghcdLanes, 0xF0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), _mm_alignr_epi8(ghcdLanes, abefLanes, 8));
}

inline void loadBlock(Lane& lane, const std::uint8_t* block) {
    const __m128i byteSwap = _mm_setr_epi8(3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12);
    const auto* in = reinterpret_cast<const __m128i*>(block);
    lane.w0 = _mm_shuffle_epi8(_mm_loadu_si128(in + 0), byteSwap);
    lane.w1 = _mm_shuffle_epi8(_mm_loadu_si128(in + 1), byteSwap);
    lane.w2 = _mm_shuffle_epi8(_mm_loadu_si128(in + 2), byteSwap);
    lane.w3 = _mm_shuffle_epi8(_mm_loadu_si128(in + 3), byteSwap);
}

// Four rounds of both lanes, with the schedule words w of each.
inline void fourRounds(Lane& a, __m128i wa, Lane& b, __m128i wb, int q) {
    const __m128i k = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kSha256RoundConstants + 4 * q));
    const __m128i wka = _mm_add_epi32(wa, k);
    const __m128i wkb = _mm_add_epi32(wb, k);
    a.cdgh = _mm_sha256rnds2_epu32(a.cdgh, a.abef, wka);
    b.cdgh = _mm_sha256rnds2_epu32(b.cdgh, b.abef, wkb);
    a.abef = _mm_sha256rnds2_epu32(a.abef, a.cdgh, _mm_shuffle_epi32(wka, 0x0E));
    b.abef = _mm_sha256rnds2_epu32(b.abef, b.cdgh, _mm_shuffle_epi32(wkb, 0x0E));
}

// W[t] = s1(W[t-2]) + W[t-7] + s0(W[t-15]) + W[t-16], four at a time.
inline __m128i extend(__m128i w0, __m128i w1, __m128i w2, __m128i w3) {
    const __m128i partial = _mm_add_epi32(_mm_sha256msg1_epu32(w0, w1), _mm_alignr_epi8(w3, w2, 4));
    return _mm_sha256msg2_epu32(partial, w3);
}

}  // namespace

void sha256BlocksTwoShaExtensions(std::uint32_t stateA[8], const std::uint8_t* a, std::uint32_t stateB[8],
                                  const std::uint8_t* b, std::size_t count) {
    Lane x, y;
    load(x, stateA);
    load(y, stateB);
    for (; count > 0; --count, a += 64, b += 64) {
        const __m128i savedX[2] = {x.abef, x.cdgh};
        const __m128i savedY[2] = {y.abef, y.cdgh};
        loadBlock(x, a);
        loadBlock(y, b);
        fourRounds(x, x.w0, y, y.w0, 0);
        fourRounds(x, x.w1, y, y.w1, 1);
        fourRounds(x, x.w2, y, y.w2, 2);
        fourRounds(x, x.w3, y, y.w3, 3);
        for (int q = 4; q < 16; q += 4) {
            x.w0 = extend(x.w0, x.w1, x.w2, x.w3);
            y.w0 = extend(y.w0, y.w1, y.w2, y.w3);
            fourRounds(x, x.w0, y, y.w0, q);
            x.w1 = extend(x.w1, x.w2, x.w3, x.w0);
            y.w1 = extend(y.w1, y.w2, y.w3, y.w0);
            fourRounds(x, x.w1, y, y.w1, q + 1);
            x.w2 = extend(x.w2, x.w3, x.w0, x.w1);
            y.w2 = extend(y.w2, y.w3, y.w0, y.w1);
            fourRounds(x, x.w2, y, y.w2, q + 2);
            x.w3 = extend(x.w3, x.w0, x.w1, x.w2);
            y.w3 = extend(y.w3, y.w0, y.w1, y.w2);
            fourRounds(x, x.w3, y, y.w3, q + 3);
        }
        x.abef = _mm_add_epi32(x.abef, savedX[0]);
        x.cdgh = _mm_add_epi32(x.cdgh, savedX[1]);
        y.abef = _mm_add_epi32(y.abef, savedY[0]);
        y.cdgh = _mm_add_epi32(y.cdgh, savedY[1]);
    }
    store(x, stateA);
    store(y, stateB);
}

}  // namespace crypto
