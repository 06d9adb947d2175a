// SHA-256's compression with the x86 SHA extensions. This file alone is
// built with them enabled (see CMakeLists.txt); nothing here runs unless
// sha256ShaExtensionsUsable().
//
// SHA256RNDS2 does two rounds on the state split as {A,B,E,F} and {C,D,G,H}
// (A in the top lane), taking W+K for the two rounds from the low lanes of
// its third operand; SHA256MSG1 and SHA256MSG2 extend the schedule four
// words at a time.
#include <immintrin.h>

#include "crypto/sha256_blocks.h"

namespace crypto {
namespace {

// Four rounds with the schedule words in w and constants K[4q .. 4q+3].
inline void fourRounds(__m128i& abef, __m128i& cdgh, __m128i w, int q) {
    const __m128i wk =
        _mm_add_epi32(w, _mm_loadu_si128(reinterpret_cast<const __m128i*>(kSha256RoundConstants + 4 * q)));
    cdgh = _mm_sha256rnds2_epu32(cdgh, abef, wk);
    abef = _mm_sha256rnds2_epu32(abef, cdgh, _mm_shuffle_epi32(wk, 0x0E));
}

// The next four schedule words from the last sixteen (w0 oldest):
// W[t] = s1(W[t-2]) + W[t-7] + s0(W[t-15]) + W[t-16].
inline __m128i extend(__m128i w0, __m128i w1, __m128i w2, __m128i w3) {
    const __m128i partial = _mm_add_epi32(_mm_sha256msg1_epu32(w0, w1), _mm_alignr_epi8(w3, w2, 4));
    return _mm_sha256msg2_epu32(partial, w3);
}

}  // namespace

void sha256BlocksShaExtensions(std::uint32_t state[8], const std::uint8_t* blocks, std::size_t count) {
    // Message words are big-endian.
    const __m128i byteSwap = _mm_setr_epi8(3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12);

    // {a,b,c,d} {e,f,g,h} in memory order to {f,e,b,a} {h,g,d,c}, lanes listed
    // from the lowest.
    const __m128i badc = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0xB1);
    const __m128i hgfe = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4)), 0x1B);
    __m128i abef = _mm_alignr_epi8(badc, hgfe, 8);
    __m128i cdgh = _mm_blend_epi16(hgfe, badc, 0xF0);

    for (; count > 0; --count, blocks += 64) {
        const __m128i savedAbef = abef;
        const __m128i savedCdgh = cdgh;
        const auto* in = reinterpret_cast<const __m128i*>(blocks);
        __m128i w0 = _mm_shuffle_epi8(_mm_loadu_si128(in + 0), byteSwap);
        __m128i w1 = _mm_shuffle_epi8(_mm_loadu_si128(in + 1), byteSwap);
        __m128i w2 = _mm_shuffle_epi8(_mm_loadu_si128(in + 2), byteSwap);
        __m128i w3 = _mm_shuffle_epi8(_mm_loadu_si128(in + 3), byteSwap);
        fourRounds(abef, cdgh, w0, 0);
        fourRounds(abef, cdgh, w1, 1);
        fourRounds(abef, cdgh, w2, 2);
        fourRounds(abef, cdgh, w3, 3);
        for (int q = 4; q < 16; q += 4) {
            w0 = extend(w0, w1, w2, w3);
            fourRounds(abef, cdgh, w0, q);
            w1 = extend(w1, w2, w3, w0);
            fourRounds(abef, cdgh, w1, q + 1);
            w2 = extend(w2, w3, w0, w1);
            fourRounds(abef, cdgh, w2, q + 2);
            w3 = extend(w3, w0, w1, w2);
            fourRounds(abef, cdgh, w3, q + 3);
        }
        abef = _mm_add_epi32(abef, savedAbef);
        cdgh = _mm_add_epi32(cdgh, savedCdgh);
    }

    // Back to {a,b,c,d} {e,f,g,h}.
    const __m128i abefLanes = _mm_shuffle_epi32(abef, 0x1B);
    const __m128i ghcdLanes = _mm_shuffle_epi32(cdgh, 0xB1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_blend_epi16(abefLanes, ghcdLanes, 0xF0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), _mm_alignr_epi8(ghcdLanes, abefLanes, 8));
}

}  // namespace crypto
