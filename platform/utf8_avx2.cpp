// UTF-8 decoding with AVX2: the masks and the ASCII of a block 32 bytes at a
// time. Built with AVX2 enabled for this file only; called only where the
// processor has it.
#include <immintrin.h>

#include "platform/utf8_kernels.h"
#include "platform/utf8_walk.h"

namespace platform {
namespace {

struct Avx2Block {
    static void masks(const unsigned char* p, std::uint64_t& nonAscii, std::uint64_t& continuation) {
        nonAscii = 0;
        continuation = 0;
        for (int i = 0; i < kUtf8Block; i += 32) {
            const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i));
            nonAscii |= std::uint64_t{static_cast<unsigned>(_mm256_movemask_epi8(bytes))} << i;
            const __m256i below = _mm256_cmpgt_epi8(_mm256_set1_epi8(-0x40), bytes);  // 0x80..0xBF
            continuation |= std::uint64_t{static_cast<unsigned>(_mm256_movemask_epi8(below))} << i;
        }
    }

    static void widen(const unsigned char* p, char16_t* out) {
        for (int i = 0; i < kUtf8Block; i += 16) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), _mm256_cvtepu8_epi16(bytes));
        }
    }
};

}  // namespace

void utf8KernelAvx2(const unsigned char*& p, const unsigned char* end, char16_t*& out, char16_t* outEnd) {
    walkUtf8<Avx2Block>(p, end, out, outEnd);
}

}  // namespace platform
