// UTF-8 decoding with SSSE3. Built with SSSE3 enabled for this file only;
// called only where the processor has it.
#include <tmmintrin.h>

#include "platform/utf8_kernels.h"
#include "platform/utf8_walk.h"

namespace platform {
namespace {

struct Ssse3Block {
    static void masks(const unsigned char* p, std::uint64_t& nonAscii, std::uint64_t& continuation) {
        nonAscii = 0;
        continuation = 0;
        for (int i = 0; i < kUtf8Block; i += 16) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            nonAscii |= std::uint64_t{static_cast<unsigned>(_mm_movemask_epi8(bytes))} << i;
            const __m128i below = _mm_cmplt_epi8(bytes, _mm_set1_epi8(-0x40));  // 0x80..0xBF
            continuation |= std::uint64_t{static_cast<unsigned>(_mm_movemask_epi8(below))} << i;
        }
    }

    static void widen(const unsigned char* p, char16_t* out) {
        for (int i = 0; i < kUtf8Block; i += 16) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_unpacklo_epi8(bytes, _mm_setzero_si128()));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 8), _mm_unpackhi_epi8(bytes, _mm_setzero_si128()));
        }
    }
};

}  // namespace

void utf8KernelSsse3(const unsigned char*& p, const unsigned char* end, char16_t*& out, char16_t* outEnd) {
    walkUtf8<Ssse3Block>(p, end, out, outEnd);
}

}  // namespace platform
