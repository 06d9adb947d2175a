#include "patch/adler32.h"

namespace patch {
namespace {

constexpr std::uint32_t kBase = 65521;
// The most bytes after which both sums still fit 32 bits before the modulo.
constexpr std::size_t kRun = 5552;

}  // namespace

std::uint32_t adler32(std::uint32_t adler, const std::uint8_t* data, std::size_t size) {
    std::uint32_t a = adler & 0xFFFF;
    std::uint32_t b = adler >> 16;
    while (size > 0) {
        std::size_t n = size < kRun ? size : kRun;
        size -= n;
        for (; n >= 8; n -= 8, data += 8) {
            a += data[0]; b += a;
            a += data[1]; b += a;
            a += data[2]; b += a;
            a += data[3]; b += a;
            a += data[4]; b += a;
            a += data[5]; b += a;
            a += data[6]; b += a;
            a += data[7]; b += a;
        }
        for (; n > 0; --n) {
            a += *data++;
            b += a;
        }
        a %= kBase;
        b %= kBase;
    }
    return (b << 16) | a;
}

}  // namespace patch
