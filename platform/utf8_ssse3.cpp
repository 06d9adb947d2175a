// UTF-8 decoding with SSSE3, 16 bytes at a time. Built with SSSE3 enabled for
// this file only; called only where the processor has it.
#include <tmmintrin.h>

#include "platform/utf8_kernels.h"
#include "platform/utf8_steps.h"

namespace platform {
namespace {

// All ones in the 32-bit lanes whose sequence is valid.
__m128i validLanes(__m128i lanes) {
    __m128i valid = _mm_setzero_si128();
    for (const auto& [low, high] : kUtf8ValidLanes) {
        valid = _mm_or_si128(valid, _mm_and_si128(_mm_cmpgt_epi32(lanes, _mm_set1_epi32(low - 1)),
                                                  _mm_cmplt_epi32(lanes, _mm_set1_epi32(high + 1))));
    }
    return valid;
}

// The code points of such lanes, packed into the low four 16-bit units.
__m128i codePoints(__m128i lanes) {
    const __m128i last = _mm_and_si128(lanes, _mm_set1_epi32(0x7F));
    const __m128i middle = _mm_srli_epi32(_mm_and_si128(lanes, _mm_set1_epi32(0x3F00)), 2);
    const __m128i lead = _mm_srli_epi32(_mm_and_si128(lanes, _mm_set1_epi32(0x0F0000)), 4);
    const __m128i values = _mm_or_si128(last, _mm_or_si128(middle, lead));
    return _mm_shuffle_epi8(values, _mm_setr_epi8(0, 1, 4, 5, 8, 9, 12, 13, -1, -1, -1, -1, -1, -1, -1, -1));
}

}  // namespace

void utf8KernelSsse3(const unsigned char*& p, const unsigned char* end, char16_t*& out, char16_t* outEnd) {
    const __m128i zero = _mm_setzero_si128();
    while (end - p >= 16 && outEnd - out >= 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const unsigned nonAscii = static_cast<unsigned>(_mm_movemask_epi8(bytes));
        if ((nonAscii & 1) == 0) {
            // Widen all 16 bytes, keep those before the first non-ASCII one.
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi8(bytes, zero));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8), _mm_unpackhi_epi8(bytes, zero));
            const int ascii = nonAscii == 0 ? 16 : lowestBit(nonAscii);
            p += ascii;
            out += ascii;
            continue;
        }
        const unsigned continuation =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_cmplt_epi8(bytes, _mm_set1_epi8(-0x40))));
        if ((continuation & 1) != 0) {
            return;
        }
        const Utf8Step step = kUtf8Steps.steps[(~continuation >> 1) & ((1u << Utf8Steps::kEndBits) - 1)];
        if (step.bytes == 0) {
            return;
        }
        const __m128i shuffle = _mm_load_si128(reinterpret_cast<const __m128i*>(kUtf8Steps.shuffles[step.shuffle]));
        const __m128i lanes = _mm_shuffle_epi8(bytes, shuffle);
        if (_mm_movemask_epi8(validLanes(lanes)) != 0xFFFF) {
            return;
        }
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out), codePoints(lanes));
        p += step.bytes;
        out += step.units;
    }
}

}  // namespace platform
