#include "crypto/sha256.h"

#include <cstring>

#include "crypto/block_feed.h"
#include "crypto/hex.h"
#include "crypto/sha256_blocks.h"
#include "crypto/sha256x2.h"
#include "platform/cpu_features.h"

namespace crypto {

bool sha256Ssse3Usable() { return platform::cpuFeatures().ssse3; }

bool sha256Avx2Usable() {
    const platform::CpuFeatures& f = platform::cpuFeatures();
    return f.avx2 && f.bmi2;
}

bool sha256ShaExtensionsUsable() {
    const platform::CpuFeatures& f = platform::cpuFeatures();
    return f.sha && f.ssse3 && f.sse41;
}

std::vector<Sha256BlockPath> sha256BlockPaths() {
    std::vector<Sha256BlockPath> paths = {{"portable", sha256BlocksPortable}};
    if (sha256Ssse3Usable()) paths.push_back({"SSSE3", sha256BlocksSsse3});
    if (sha256Avx2Usable()) paths.push_back({"AVX2", sha256BlocksAvx2});
    if (sha256ShaExtensionsUsable()) paths.push_back({"SHA extensions", sha256BlocksShaExtensions});
    return paths;
}

namespace {

Sha256BlockFunction fastestBlocks() {
    static const Sha256BlockFunction chosen = sha256BlockPaths().back().blocks;
    return chosen;
}

}  // namespace

Sha256::Sha256() : Sha256(fastestBlocks()) {}

Sha256::Sha256(Sha256BlockFunction blocks) : blocks_(blocks) { reset(); }

void Sha256::reset() {
    static constexpr std::uint32_t kInitial[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                                  0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    std::memcpy(state_, kInitial, sizeof state_);
    length_ = 0;
}

void Sha256::update(const void* data, std::size_t size) {
    feedBlocks(buffer_, length_, data, size,
               [this](const std::uint8_t* blocks, std::size_t count) { blocks_(state_, blocks, count); });
}

void Sha256::updateTwo(Sha256& a, const void* dataA, Sha256& b, const void* dataB, std::size_t size) {
    const std::size_t whole = size - size % 64;
    if (a.blocks_ == sha256BlocksShaExtensions && b.blocks_ == sha256BlocksShaExtensions && a.length_ % 64 == 0 &&
        b.length_ % 64 == 0 && whole > 0) {
        sha256BlocksTwoShaExtensions(a.state_, static_cast<const std::uint8_t*>(dataA), b.state_,
                                     static_cast<const std::uint8_t*>(dataB), whole / 64);
        a.length_ += whole;
        b.length_ += whole;
        dataA = static_cast<const std::uint8_t*>(dataA) + whole;
        dataB = static_cast<const std::uint8_t*>(dataB) + whole;
        size -= whole;
    }
    a.update(dataA, size);
    b.update(dataB, size);
}

Sha256Digest Sha256::finish() {
    // A 1 bit, zeros up to 8 bytes short of a block end, the bit length.
    const std::uint64_t bits = length_ * 8;
    std::uint8_t tail[72] = {0x80};
    const std::size_t held = static_cast<std::size_t>(length_ % 64);
    const std::size_t padding = (held < 56 ? 56 : 120) - held;
    for (int i = 0; i < 8; ++i) tail[padding + i] = static_cast<std::uint8_t>(bits >> (56 - 8 * i));
    update(tail, padding + 8);

    Sha256Digest digest;
    for (int i = 0; i < 32; ++i) digest[i] = static_cast<std::uint8_t>(state_[i / 4] >> (24 - 8 * (i % 4)));
    reset();
    return digest;
}

Sha256Digest sha256(const void* data, std::size_t size) {
    Sha256 context;
    context.update(data, size);
    return context.finish();
}

std::string sha256Hex(const void* data, std::size_t size) { return toHex(sha256(data, size)); }

}  // namespace crypto
