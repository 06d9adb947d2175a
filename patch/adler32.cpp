#include "patch/adler32.h"

namespace patch {
namespace {

constexpr std::uint32_t kBase = 65521;
// The most bytes after which both sums still fit 32 bits before the modulo.
constexpr std::size_t kRun = 5552;

}  // namespace

std::uint32_t adler32(std::uint32_t adler, const std::uint8_t* data, std::size_t size) {
    std::uint64_t a = adler & 0xFFFF;
    std::uint64_t b = adler >> 16;
    while (size > 0) {
        const std::size_t n = size < kRun ? size : kRun;
        size -= n;
        // Sixteen lanes, one per position in a block of 16 bytes: each keeps
        // its bytes' sum, and the sum of those sums before each block (how
        // often its earlier bytes enter b). No lane looks at another until
        // the run ends, which lets the compiler keep them in vector registers.
        const std::size_t blocks = n / 16;
        std::uint32_t sums[16] = {};
        std::uint32_t earlier[16] = {};
        for (std::size_t j = 0; j < blocks; ++j, data += 16) {
            for (int i = 0; i < 16; ++i) {
                earlier[i] += sums[i];
                sums[i] += data[i];
            }
        }
        std::uint64_t total = 0, weighted = 0, before = 0;
        for (int i = 0; i < 16; ++i) {
            total += sums[i];
            weighted += std::uint64_t(16 - i) * sums[i];
            before += earlier[i];
        }
        b += 16 * blocks * a + 16 * before + weighted;
        a += total;
        for (std::size_t k = blocks * 16; k < n; ++k) {
            a += *data++;
            b += a;
        }
        a %= kBase;
        b %= kBase;
    }
    return std::uint32_t(b << 16 | a);
}

}  // namespace patch
