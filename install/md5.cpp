#include "install/md5.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "platform/platform.h"

namespace {

std::uint32_t load32(const unsigned char* p) {
    std::uint32_t v;
    std::memcpy(&v, p, sizeof v);
    if constexpr (std::endian::native == std::endian::big) v = (v >> 24) | ((v >> 8) & 0xFF00) | ((v << 8) & 0xFF0000) | (v << 24);
    return v;
}

void store32(unsigned char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

// The round functions are arranged so that the word computed last (b) enters
// as late as possible: the rest of each step runs while it is still being
// computed. G's OR becomes an ADD (its two terms share no bit), which splits
// it into two independent additions.
inline void stepF(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d, std::uint32_t m, int s, std::uint32_t k) {
    a += m + k;
    a += ((c ^ d) & b) ^ d;
    a = std::rotl(a, s) + b;
}

inline void stepG(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d, std::uint32_t m, int s, std::uint32_t k) {
    a += m + k;
    a += c & ~d;
    a += b & d;
    a = std::rotl(a, s) + b;
}

inline void stepH(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d, std::uint32_t m, int s, std::uint32_t k) {
    a += m + k;
    a += (c ^ d) ^ b;
    a = std::rotl(a, s) + b;
}

inline void stepI(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d, std::uint32_t m, int s, std::uint32_t k) {
    a += m + k;
    a += (b | ~d) ^ c;
    a = std::rotl(a, s) + b;
}

// Transforms blocks consecutive 64-byte blocks into the chaining words.
void transform(std::uint32_t state[4], const unsigned char* data, std::size_t blocks) {
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    for (; blocks > 0; --blocks, data += 64) {
        std::uint32_t x[16];
        for (int i = 0; i < 16; ++i) x[i] = load32(data + 4 * i);
        const std::uint32_t aa = a, bb = b, cc = c, dd = d;

        stepF(a, b, c, d, x[0], 7, 0xd76aa478);
        stepF(d, a, b, c, x[1], 12, 0xe8c7b756);
        stepF(c, d, a, b, x[2], 17, 0x242070db);
        stepF(b, c, d, a, x[3], 22, 0xc1bdceee);
        stepF(a, b, c, d, x[4], 7, 0xf57c0faf);
        stepF(d, a, b, c, x[5], 12, 0x4787c62a);
        stepF(c, d, a, b, x[6], 17, 0xa8304613);
        stepF(b, c, d, a, x[7], 22, 0xfd469501);
        stepF(a, b, c, d, x[8], 7, 0x698098d8);
        stepF(d, a, b, c, x[9], 12, 0x8b44f7af);
        stepF(c, d, a, b, x[10], 17, 0xffff5bb1);
        stepF(b, c, d, a, x[11], 22, 0x895cd7be);
        stepF(a, b, c, d, x[12], 7, 0x6b901122);
        stepF(d, a, b, c, x[13], 12, 0xfd987193);
        stepF(c, d, a, b, x[14], 17, 0xa679438e);
        stepF(b, c, d, a, x[15], 22, 0x49b40821);

        stepG(a, b, c, d, x[1], 5, 0xf61e2562);
        stepG(d, a, b, c, x[6], 9, 0xc040b340);
        stepG(c, d, a, b, x[11], 14, 0x265e5a51);
        stepG(b, c, d, a, x[0], 20, 0xe9b6c7aa);
        stepG(a, b, c, d, x[5], 5, 0xd62f105d);
        stepG(d, a, b, c, x[10], 9, 0x02441453);
        stepG(c, d, a, b, x[15], 14, 0xd8a1e681);
        stepG(b, c, d, a, x[4], 20, 0xe7d3fbc8);
        stepG(a, b, c, d, x[9], 5, 0x21e1cde6);
        stepG(d, a, b, c, x[14], 9, 0xc33707d6);
        stepG(c, d, a, b, x[3], 14, 0xf4d50d87);
        stepG(b, c, d, a, x[8], 20, 0x455a14ed);
        stepG(a, b, c, d, x[13], 5, 0xa9e3e905);
        stepG(d, a, b, c, x[2], 9, 0xfcefa3f8);
        stepG(c, d, a, b, x[7], 14, 0x676f02d9);
        stepG(b, c, d, a, x[12], 20, 0x8d2a4c8a);

        stepH(a, b, c, d, x[5], 4, 0xfffa3942);
        stepH(d, a, b, c, x[8], 11, 0x8771f681);
        stepH(c, d, a, b, x[11], 16, 0x6d9d6122);
        stepH(b, c, d, a, x[14], 23, 0xfde5380c);
        stepH(a, b, c, d, x[1], 4, 0xa4beea44);
        stepH(d, a, b, c, x[4], 11, 0x4bdecfa9);
        stepH(c, d, a, b, x[7], 16, 0xf6bb4b60);
        stepH(b, c, d, a, x[10], 23, 0xbebfbc70);
        stepH(a, b, c, d, x[13], 4, 0x289b7ec6);
        stepH(d, a, b, c, x[0], 11, 0xeaa127fa);
        stepH(c, d, a, b, x[3], 16, 0xd4ef3085);
        stepH(b, c, d, a, x[6], 23, 0x04881d05);
        stepH(a, b, c, d, x[9], 4, 0xd9d4d039);
        stepH(d, a, b, c, x[12], 11, 0xe6db99e5);
        stepH(c, d, a, b, x[15], 16, 0x1fa27cf8);
        stepH(b, c, d, a, x[2], 23, 0xc4ac5665);

        stepI(a, b, c, d, x[0], 6, 0xf4292244);
        stepI(d, a, b, c, x[7], 10, 0x432aff97);
        stepI(c, d, a, b, x[14], 15, 0xab9423a7);
        stepI(b, c, d, a, x[5], 21, 0xfc93a039);
        stepI(a, b, c, d, x[12], 6, 0x655b59c3);
        stepI(d, a, b, c, x[3], 10, 0x8f0ccc92);
        stepI(c, d, a, b, x[10], 15, 0xffeff47d);
        stepI(b, c, d, a, x[1], 21, 0x85845dd1);
        stepI(a, b, c, d, x[8], 6, 0x6fa87e4f);
        stepI(d, a, b, c, x[15], 10, 0xfe2ce6e0);
        stepI(c, d, a, b, x[6], 15, 0xa3014314);
        stepI(b, c, d, a, x[13], 21, 0x4e0811a1);
        stepI(a, b, c, d, x[4], 6, 0xf7537e82);
        stepI(d, a, b, c, x[11], 10, 0xbd3af235);
        stepI(c, d, a, b, x[2], 15, 0x2ad7d2bb);
        stepI(b, c, d, a, x[9], 21, 0xeb86d391);

        a += aa;
        b += bb;
        c += cc;
        d += dd;
    }
    state[0] = a;
    state[1] = b;
    state[2] = c;
    state[3] = d;
}

}  // namespace

Md5Context::Md5Context() : state_{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476} {}

void Md5Context::addBytes(const void* data, std::size_t length) {
    if (length == 0) return;
    const auto* input = static_cast<const unsigned char*>(data);
    std::size_t used = (count_[0] >> 3) & 63;

    // The bit count is 64 bits wide, kept in two words.
    const std::uint64_t bits = (std::uint64_t{count_[1]} << 32 | count_[0]) + (std::uint64_t{length} << 3);
    count_[0] = static_cast<std::uint32_t>(bits);
    count_[1] = static_cast<std::uint32_t>(bits >> 32);

    if (used > 0) {
        const std::size_t take = std::min(length, 64 - used);
        std::memcpy(buffer_ + used, input, take);
        input += take;
        length -= take;
        used += take;
        if (used < 64) return;
        transform(state_, buffer_, 1);
    }
    transform(state_, input, length / 64);
    std::memcpy(buffer_, input + (length & ~std::size_t{63}), length & 63);
}

std::string Md5Context::hexDigest() {
    if (!finished_) {
        unsigned char lengthBytes[8];
        store32(lengthBytes, count_[0]);
        store32(lengthBytes + 4, count_[1]);
        const std::size_t used = (count_[0] >> 3) & 63;
        static const unsigned char kPadding[64] = {0x80};
        addBytes(kPadding, used < 56 ? 56 - used : 120 - used);
        addBytes(lengthBytes, sizeof lengthBytes);
        for (int i = 0; i < 4; ++i) store32(digest_ + 4 * i, state_[i]);
        finished_ = true;
    }
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text(32, '0');
    for (int i = 0; i < 16; ++i) {
        text[2 * i] = kDigits[digest_[i] >> 4];
        text[2 * i + 1] = kDigits[digest_[i] & 15];
    }
    return text;
}

std::string fileMd5(const std::u16string& path) {
    platform::InputFile file;
    if (!file.open(path)) return {};
    Md5Context context;
    unsigned char block[1024];
    for (;;) {
        const std::size_t got = file.read(block, sizeof block);
        if (got > 0) context.addBytes(block, got);
        if (got < sizeof block) break;
    }
    file.close();
    return context.hexDigest();
}

std::string toNarrow(std::u16string_view text) {
    const std::u16string terminated(text);  // the size query reads up to the NUL
    const int size = platform::wideToMultiByte(platform::kOemCodePage, terminated.c_str(), -1, nullptr, 0);
    if (size == 0) return {};
    std::vector<char> buffer(static_cast<std::size_t>(size), '\0');
    if (platform::wideToMultiByte(platform::kOemCodePage, terminated.c_str(), -1, buffer.data(), size) != size) return {};
    return std::string(buffer.data());
}
