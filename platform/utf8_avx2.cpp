// UTF-8 decoding with AVX2: 32 bytes of ASCII at a time, else two windows of
// the step table side by side, one in each 128-bit half. Built with AVX2
// enabled for this file only; called only where the processor has it.
#include <immintrin.h>

#include "platform/utf8_kernels.h"
#include "platform/utf8_steps.h"

namespace platform {
namespace {

// All ones in the 32-bit lanes whose sequence is valid.
__m256i validLanes(__m256i lanes) {
    __m256i valid = _mm256_setzero_si256();
    for (const auto& [low, high] : kUtf8ValidLanes) {
        valid = _mm256_or_si256(valid, _mm256_and_si256(_mm256_cmpgt_epi32(lanes, _mm256_set1_epi32(low - 1)),
                                                        _mm256_cmpgt_epi32(_mm256_set1_epi32(high + 1), lanes)));
    }
    return valid;
}

// The code points of each half's four lanes, packed into its low 64 bits.
__m256i codePoints(__m256i lanes) {
    const __m256i last = _mm256_and_si256(lanes, _mm256_set1_epi32(0x7F));
    const __m256i middle = _mm256_srli_epi32(_mm256_and_si256(lanes, _mm256_set1_epi32(0x3F00)), 2);
    const __m256i lead = _mm256_srli_epi32(_mm256_and_si256(lanes, _mm256_set1_epi32(0x0F0000)), 4);
    const __m256i values = _mm256_or_si256(last, _mm256_or_si256(middle, lead));
    const __m128i pack = _mm_setr_epi8(0, 1, 4, 5, 8, 9, 12, 13, -1, -1, -1, -1, -1, -1, -1, -1);
    return _mm256_shuffle_epi8(values, _mm256_broadcastsi128_si256(pack));
}

__m128i shuffleOf(const Utf8Step& step) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(kUtf8Steps.shuffles[step.shuffle]));
}

}  // namespace

void utf8KernelAvx2(const unsigned char*& p, const unsigned char* end, char16_t*& out, char16_t* outEnd) {
    constexpr unsigned kEndMask = (1u << Utf8Steps::kEndBits) - 1;
    while (end - p >= 32 && outEnd - out >= 32) {
        const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
        const unsigned nonAscii = static_cast<unsigned>(_mm256_movemask_epi8(bytes));
        if ((nonAscii & 1) == 0) {
            // Widen all 32 bytes, keep those before the first non-ASCII one.
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_cvtepu8_epi16(_mm256_castsi256_si128(bytes)));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 16),
                                _mm256_cvtepu8_epi16(_mm256_extracti128_si256(bytes, 1)));
            const int ascii = nonAscii == 0 ? 32 : lowestBit(nonAscii);
            p += ascii;
            out += ascii;
            continue;
        }
        const unsigned continuation =
            static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpgt_epi8(_mm256_set1_epi8(-0x40), bytes)));
        if ((continuation & 1) != 0) {
            return;
        }
        // The second window starts where the first one's sequences end; its
        // end bits lie within the 32 bytes looked at.
        const unsigned starts = ~continuation;
        const Utf8Step first = kUtf8Steps.steps[(starts >> 1) & kEndMask];
        if (first.bytes == 0) {
            return;
        }
        const Utf8Step second = kUtf8Steps.steps[(starts >> (first.bytes + 1)) & kEndMask];
        const __m256i windows =
            _mm256_inserti128_si256(bytes, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + first.bytes)), 1);
        const __m256i shuffles = _mm256_inserti128_si256(_mm256_castsi128_si256(shuffleOf(first)), shuffleOf(second), 1);
        const __m256i lanes = _mm256_shuffle_epi8(windows, shuffles);
        const unsigned valid = static_cast<unsigned>(_mm256_movemask_epi8(validLanes(lanes)));
        if ((valid & 0xFFFF) != 0xFFFF) {
            return;
        }
        const __m256i units = codePoints(lanes);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(units));
        p += first.bytes;
        out += first.units;
        // A second window that fails is left to the next round, which stops there.
        if (valid == 0xFFFFFFFF) {
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm256_extracti128_si256(units, 1));
            p += second.bytes;
            out += second.units;
        }
    }
}

}  // namespace platform
