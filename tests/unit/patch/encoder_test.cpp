// The encoder on generated pairs: every patch decodes back to the new file,
// with and without checksums, and stays within a size that a working
// matcher reaches for that kind of edit.
#include <gtest/gtest.h>

#include <cstring>

#include "patch/decoder.h"
#include "patch/encoder.h"
#include "unit/patch/patch_bytes.h"

namespace {

using namespace patch_test;

Bytes part(const Bytes& b, std::size_t at, std::size_t n) { return Bytes(b.begin() + long(at), b.begin() + long(at + n)); }

// Text-like bytes: words from a small vocabulary.
Bytes words(std::size_t size, std::uint64_t seed) {
    static const char* const kWords[] = {"install ", "update ", "file ", "the ", "of ", "window ", "copy ", "\n"};
    const Bytes pick = noise(size, seed);
    Bytes out;
    for (std::size_t i = 0; out.size() < size; ++i) {
        const char* word = kWords[pick[i] % 8];
        out.insert(out.end(), word, word + std::strlen(word));
    }
    out.resize(size);
    return out;
}

struct Pair {
    const char* what;
    Bytes base;
    Bytes target;
    std::size_t maxPatch;  // bytes
};

std::vector<Pair> pairs() {
    const Bytes a = noise(200000, 1);
    const Bytes text = words(300000, 2);
    const std::size_t big = (std::size_t(8) << 20) + 100;  // two windows, the second of 100 bytes
    const Bytes large = noise(big, 3);
    Bytes edited = text;
    for (std::size_t at = 1000; at < edited.size(); at += 7919) edited[at] ^= 0x20;
    return {
        {"both empty", {}, {}, 16},
        {"a new file from an empty base", {}, words(5000, 4), 5000 + 64},
        {"an empty new file", a, {}, 32},
        {"identical files", a, a, 32},
        {"an insertion", a, part(a, 0, 100000) + noise(300, 5) + part(a, 100000, 100000), 300 + 64},
        {"a deletion", a, part(a, 0, 50000) + part(a, 60000, 140000), 64},
        {"moved blocks", a, part(a, 150000, 50000) + part(a, 50000, 100000) + part(a, 0, 50000), 64},
        {"repeats of a block", a, part(a, 0, 1000) + part(a, 0, 1000) + part(a, 0, 1000) + part(a, 5000, 10), 64},
        {"unrelated random data", a, noise(100000, 6), 100000 + 1000},
        {"text with scattered one-byte changes", text, edited, 40 * 8 + 64},
        {"text made from nothing", {}, text, text.size() / 3},
        {"a run of zeros", a, Bytes(100000, 0), 32},
        {"a large file with a change in its second window", large,
         part(large, 0, big - 50) + bytes("changed") + part(large, big - 43, 43), 96},
        {"a base smaller than a hash key", bytes("abc"), bytes("abcabcabc"), 32},
    };
}

TEST(Encoder, PatchesDecodeToTheNewFileAndStaySmall) {
    for (const Pair& p : pairs()) {
        for (const bool checksum : {false, true}) {
            patch::MemoryReader base(p.base), target(p.target);
            patch::MemoryWriter out;
            patch::EncodeOptions options;
            options.checksum = checksum;
            ASSERT_EQ(int(patch::encode(&base, target, out, options)), int(patch::EncodeStatus::kOk)) << p.what;
            const std::size_t windows = p.target.size() / (std::size_t(8) << 20) + 1;
            EXPECT_LE(out.bytes().size(), p.maxPatch + (checksum ? 4 * windows : 0)) << p.what;

            patch::MemoryReader patchReader(out.bytes());
            patch::MemoryWriter decoded;
            ASSERT_EQ(int(patch::decode(patchReader, &base, decoded)), int(patch::DecodeStatus::kOk)) << p.what;
            EXPECT_TRUE(decoded.bytes() == p.target) << p.what << (checksum ? ", with checksums" : "");
        }
    }
}

TEST(Encoder, WithoutABaseTheTargetIsMadeFromNothing) {
    const Bytes text = words(50000, 9);
    patch::MemoryReader target(text);
    patch::MemoryWriter out;
    ASSERT_EQ(int(patch::encode(nullptr, target, out)), int(patch::EncodeStatus::kOk));
    patch::MemoryReader patchReader(out.bytes());
    patch::MemoryWriter decoded;
    ASSERT_EQ(int(patch::decode(patchReader, nullptr, decoded)), int(patch::DecodeStatus::kOk));
    EXPECT_TRUE(decoded.bytes() == text);
}

}  // namespace
