#include "install/md5.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "install/md5_lanes.h"
#include "install/md5_steps.h"
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

struct Scalar {
    using Word = std::uint32_t;
    static Word add(Word x, Word y) { return x + y; }
    static Word bitXor(Word x, Word y) { return x ^ y; }
    static Word bitAnd(Word x, Word y) { return x & y; }
    static Word bitOr(Word x, Word y) { return x | y; }
    static Word andNot(Word x, Word y) { return ~x & y; }
    static Word constant(std::uint32_t k) { return k; }
    template <int S>
    static Word rotl(Word x) {
        return std::rotl(x, S);
    }
};

// Transforms blocks consecutive 64-byte blocks into the chaining words.
void transform(std::uint32_t state[4], const unsigned char* data, std::size_t blocks) {
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    for (; blocks > 0; --blocks, data += 64) {
        std::uint32_t x[16];
        for (int i = 0; i < 16; ++i) x[i] = load32(data + 4 * i);
        Md5Steps<Scalar>::block(a, b, c, d, x);
    }
    state[0] = a;
    state[1] = b;
    state[2] = c;
    state[3] = d;
}

}  // namespace

void md5Lanes1(std::uint32_t* state, const unsigned char* const* data, std::size_t blocks) {
    transform(state, data[0], blocks);
}

Md5Context::Md5Context() : state_{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476} {}

Md5Context::Md5Context(const std::uint32_t chaining[4], std::uint64_t bytes)
    : state_{chaining[0], chaining[1], chaining[2], chaining[3]},
      count_{static_cast<std::uint32_t>(bytes << 3), static_cast<std::uint32_t>(bytes >> 29)} {}

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
    constexpr std::size_t kBlock = 1024;
    for (;;) {
        // Each block is hashed where the file's buffer holds it.
        const unsigned char* block = nullptr;
        const std::size_t got = file.view(block, kBlock);
        if (got > 0) context.addBytes(block, got);
        if (got < kBlock) break;
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
