// The walk through a text that both vector UTF-8 decoders share, on 128-bit
// registers; each decoder's file builds it with its own instruction set (SSSE3
// at least) and gives it the masks of a block and the widening of ASCII.
//
// The masks of 64 bytes are taken at once, so that going from one window to
// the next costs a table look-up and a shift, not a load and a mask.
#pragma once

#include <tmmintrin.h>

#include <cstdint>
#include <iterator>

#ifdef _MSC_VER
#include <intrin.h>
#endif

#include "platform/utf8_steps.h"

namespace platform {

// Internal linkage: each decoder keeps the copies built with its own
// instruction set, never those of another file.
namespace {

constexpr int kUtf8Block = 64;

// Index of the lowest set bit of a mask that is not 0.
int lowestBit(std::uint64_t mask) {
#if defined(_MSC_VER)
    unsigned long index;
    const auto low = static_cast<unsigned long>(mask);
    if (low != 0) {
        _BitScanForward(&index, low);
        return static_cast<int>(index);
    }
    _BitScanForward(&index, static_cast<unsigned long>(mask >> 32));
    return static_cast<int>(index) + 32;
#else
    return __builtin_ctzll(mask);
#endif
}

// All ones in the 32-bit lanes that lie within range r of kUtf8ValidLanes.
template <int r>
__m128i inValidRange(__m128i lanes) {
    return _mm_and_si128(_mm_cmpgt_epi32(lanes, _mm_set1_epi32(kUtf8ValidLanes[r][0] - 1)),
                         _mm_cmplt_epi32(lanes, _mm_set1_epi32(kUtf8ValidLanes[r][1] + 1)));
}

// All ones in the 32-bit lanes whose sequence is valid. Spelled out range by
// range: a loop over the table is not unrolled by every compiler, and then
// reloads the bounds on every step.
__m128i validLanes(__m128i lanes) {
    static_assert(std::size(kUtf8ValidLanes) == 4);
    return _mm_or_si128(_mm_or_si128(inValidRange<0>(lanes), inValidRange<1>(lanes)),
                        _mm_or_si128(inValidRange<2>(lanes), inValidRange<3>(lanes)));
}

// The code points of valid lanes, packed into the low four 16-bit units.
__m128i codePoints(__m128i lanes) {
    const __m128i last = _mm_and_si128(lanes, _mm_set1_epi32(0x7F));
    const __m128i middle = _mm_srli_epi32(_mm_and_si128(lanes, _mm_set1_epi32(0x3F00)), 2);
    const __m128i lead = _mm_srli_epi32(_mm_and_si128(lanes, _mm_set1_epi32(0x0F0000)), 4);
    const __m128i values = _mm_or_si128(last, _mm_or_si128(middle, lead));
    return _mm_shuffle_epi8(values, _mm_setr_epi8(0, 1, 4, 5, 8, 9, 12, 13, -1, -1, -1, -1, -1, -1, -1, -1));
}

// Block::masks(p, nonAscii, continuation) gives a bit for each of the
// kUtf8Block bytes at p; Block::widen(p, out) widens them when all are ASCII.
template <class Block>
void walkUtf8(const unsigned char*& p, const unsigned char* end, char16_t*& out, char16_t* outEnd) {
    // A window, or 16 bytes of ASCII, that starts up to here ends within the
    // block; the units of a block never outnumber its bytes.
    constexpr int kLastStart = kUtf8Block - 16;
    constexpr std::uint64_t kEndMask = (1u << Utf8Steps::kEndBits) - 1;
    const __m128i zero = _mm_setzero_si128();
    while (end - p >= kUtf8Block && outEnd - out >= kUtf8Block) {
        std::uint64_t nonAscii;
        std::uint64_t continuation;
        Block::masks(p, nonAscii, continuation);
        if (nonAscii == 0) {
            Block::widen(p, out);
            p += kUtf8Block;
            out += kUtf8Block;
            continue;
        }
        int at = 0;
        char16_t* put = out;
        bool stopped = false;
        do {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at));
            const std::uint64_t ahead = nonAscii >> at;
            if ((ahead & 1) == 0) {
                // Widen 16 bytes, keep those before the next non-ASCII one.
                _mm_storeu_si128(reinterpret_cast<__m128i*>(put), _mm_unpacklo_epi8(bytes, zero));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(put + 8), _mm_unpackhi_epi8(bytes, zero));
                const int ascii = (ahead & 0xFFFF) == 0 ? 16 : lowestBit(ahead);
                at += ascii;
                put += ascii;
                continue;
            }
            // A stray continuation byte at the start fails the lane check.
            const Utf8Step step = kUtf8Steps.steps[(~continuation >> (at + 1)) & kEndMask];
            if (step.bytes == 0) {
                stopped = true;
                break;
            }
            const __m128i shuffle =
                _mm_load_si128(reinterpret_cast<const __m128i*>(kUtf8Steps.shuffles[step.shuffle]));
            const __m128i lanes = _mm_shuffle_epi8(bytes, shuffle);
            if (_mm_movemask_epi8(validLanes(lanes)) != 0xFFFF) {
                stopped = true;
                break;
            }
            _mm_storel_epi64(reinterpret_cast<__m128i*>(put), codePoints(lanes));
            at += step.bytes;
            put += step.units;
        } while (at <= kLastStart);
        p += at;
        out = put;
        if (stopped) {
            return;
        }
    }
}

}  // namespace

}  // namespace platform
