// MD5 against RFC 1321's suite and digests taken with coreutils' md5sum, fed
// whole, in pieces and from files, one at a time and several side by side;
// toNarrow in the OEM code page.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "crypto/sha256.h"
#include "install/md5.h"
#include "install/md5_files.h"
#include "install/md5_lanes.h"
#include "platform/platform.h"
#include "support/scratch.h"

using testsupport::ScratchDir;
using testsupport::writeBytes;

namespace {

struct Vector {
    const char* input;
    const char* digest;
};

// RFC 1321, appendix A.5.
constexpr Vector kRfc1321[] = {
    {"", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
};

// Byte i of the patterned inputs below.
std::string pattern(std::size_t length) {
    std::string bytes(length, '\0');
    for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>(((i * 7 + 3) ^ (i >> 8)) & 0xFF);
    return bytes;
}

// Digests of pattern(length), taken with md5sum: lengths around the 64-byte
// block and the 1024-byte read, and a few MiB.
constexpr struct {
    std::size_t length;
    const char* digest;
} kPatterned[] = {
    {0, "d41d8cd98f00b204e9800998ecf8427e"},       {55, "52c0e574e1198de5fe3f8f11440dcb1b"},
    {56, "46c9907fc908ee68b1e7b8e71286a518"},      {63, "a62f6d59e837867693f042f5b8f5a236"},
    {64, "7160b8fb5e9e4023d549c3971fbaeead"},      {65, "70bd662e7aefbda85a0f7244167b7897"},
    {1023, "0227562a6fb1af9003357902e7dad6a0"},    {1024, "22e2d406e324489e89c592d5a6ea03a4"},
    {1025, "163af0b047765707016e43ff1798b412"},    {3145745, "e5316f55a46ce3bd992602b06b2d8402"},
};

std::string digestOf(const std::string& bytes) {
    Md5Context context;
    context.addBytes(bytes.data(), bytes.size());
    return context.hexDigest();
}

// The lane counts this build runs on this processor: 1 (the scalar code),
// 4 (SSE2), 8 (AVX2).
std::vector<unsigned> runnableLaneCounts() {
    std::vector<unsigned> counts;
    for (const unsigned lanes : {1u, 4u, 8u}) {
        if (md5Lanes(lanes).lanes == lanes) counts.push_back(lanes);
    }
    return counts;
}

// Hashes files[i] as tag i through Md5Files, with SHA-256 too, starting
// files whenever a lane is free, as many as fit; the digests in tag order.
std::vector<FileDigests> md5Files(const std::vector<std::u16string>& files, unsigned lanes) {
    std::vector<FileDigests> digests(files.size());
    Md5Files hasher(lanes, {}, true);
    std::size_t started = 0, tag = 0;
    FileDigests digest;
    for (;;) {
        while (started < files.size() && hasher.hasRoom()) {
            EXPECT_TRUE(hasher.start(started, files[started]));
            ++started;
        }
        if (!hasher.next(tag, digest)) break;
        EXPECT_TRUE(digests[tag].md5.empty()) << "file " << tag << " ended twice";
        digests[tag] = digest;
    }
    return digests;
}

}  // namespace

TEST(Md5Context, Rfc1321TestSuite) {
    for (const Vector& v : kRfc1321) EXPECT_EQ(digestOf(v.input), v.digest) << '"' << v.input << '"';
}

TEST(Md5Context, PatternedInputsAroundTheBlockSizes) {
    for (const auto& p : kPatterned) EXPECT_EQ(digestOf(pattern(p.length)), p.digest) << p.length << " bytes";
}

TEST(Md5Context, PiecesOfAnySizeGiveTheSameDigest) {
    const std::string bytes = pattern(1500);
    const std::string whole = digestOf(bytes);
    for (std::size_t piece : {1u, 3u, 63u, 64u, 65u, 127u, 1000u}) {
        Md5Context context;
        for (std::size_t at = 0; at < bytes.size(); at += piece) {
            context.addBytes(bytes.data() + at, std::min(piece, bytes.size() - at));
            context.addBytes(bytes.data(), 0);
        }
        EXPECT_EQ(context.hexDigest(), whole) << "pieces of " << piece;
    }
}

TEST(Md5Context, TheDigestIsStableAndLowerCase) {
    Md5Context context;
    context.addBytes("hello", 5);
    const std::string digest = context.hexDigest();
    EXPECT_EQ(digest, "5d41402abc4b2a76b9719d911017c592");
    EXPECT_EQ(context.hexDigest(), digest);
}

TEST(FileMd5, FilesAroundTheReadSize) {
    ScratchDir scratch;
    for (const auto& p : kPatterned) {
        const std::u16string name = scratch.path(u"f");
        ASSERT_TRUE(writeBytes(name, pattern(p.length)));
        EXPECT_EQ(fileMd5(name), p.digest) << p.length << " bytes";
    }
}

TEST(FileMd5, Rfc1321InputsAsFiles) {
    ScratchDir scratch;
    for (const Vector& v : kRfc1321) {
        ASSERT_TRUE(writeBytes(scratch.path(u"v.txt"), v.input));
        EXPECT_EQ(fileMd5(scratch.path(u"v.txt")), v.digest) << '"' << v.input << '"';
    }
}

// Files of every length around the block edges and a few of some MiB, in an
// order that puts unequal lengths side by side, so that lanes end at
// different times and are refilled; the SHA-256 that the same reads feed
// must be the whole file's.
TEST(Md5Files, SideBySideDigestsEqualTheScalarOnes) {
    ScratchDir scratch;
    std::mt19937 random(20240611);
    std::vector<std::size_t> lengths;
    for (std::size_t length = 0; length <= 130; ++length) lengths.push_back(length);
    for (const std::size_t base : {1024u, 2048u, 5120u}) {
        for (const int delta : {-65, -64, -63, -56, -55, -1, 0, 1, 55, 56, 63, 64, 65}) lengths.push_back(base + delta);
    }
    for (int i = 0; i < 4; ++i) lengths.push_back(std::uniform_int_distribution<std::size_t>(0, 3u << 20)(random));
    std::shuffle(lengths.begin(), lengths.end(), random);

    std::vector<std::u16string> files;
    std::vector<std::string> expected, expectedSha256;
    for (const std::size_t length : lengths) {
        std::string bytes(length, '\0');
        for (char& b : bytes) b = static_cast<char>(random());
        files.push_back(scratch.path(platform::utf8ToUtf16(std::to_string(files.size()))));
        ASSERT_TRUE(writeBytes(files.back(), bytes));
        expected.push_back(digestOf(bytes));
        expectedSha256.push_back(crypto::sha256Hex(bytes.data(), bytes.size()));
    }
    for (const unsigned lanes : runnableLaneCounts()) {
        const std::vector<FileDigests> digests = md5Files(files, lanes);
        for (std::size_t i = 0; i < files.size(); ++i) {
            EXPECT_EQ(digests[i].md5, expected[i]) << lanes << " lanes, " << lengths[i] << " bytes";
            EXPECT_EQ(digests[i].sha256, expectedSha256[i]) << lanes << " lanes, " << lengths[i] << " bytes";
        }
    }
}

// RFC 1321's inputs, padded as the RFC pads them, straight through the
// kernels: each lane gets another input, in every arrangement.
TEST(Md5Lanes, Rfc1321TestSuiteInEveryLane) {
    constexpr std::size_t kCount = std::size(kRfc1321);
    unsigned char padded[kCount][128] = {};
    std::size_t blocks[kCount];
    for (std::size_t i = 0; i < kCount; ++i) {
        const std::size_t length = std::strlen(kRfc1321[i].input);
        std::memcpy(padded[i], kRfc1321[i].input, length);
        padded[i][length] = 0x80;
        blocks[i] = length < 56 ? 1 : 2;
        for (int b = 0; b < 8; ++b) padded[i][64 * blocks[i] - 8 + b] = static_cast<unsigned char>((length * 8) >> (8 * b));
    }
    static constexpr char kDigits[] = "0123456789abcdef";
    for (const unsigned lanes : runnableLaneCounts()) {
        const Md5Lanes kernel = md5Lanes(lanes);
        for (std::size_t shift = 0; shift < kCount; ++shift) {
            std::vector<std::uint32_t> state(4 * lanes);
            const unsigned char* data[8];
            for (unsigned lane = 0; lane < lanes; ++lane) {
                const std::uint32_t initial[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
                for (int w = 0; w < 4; ++w) state[w * lanes + lane] = initial[w];
                data[lane] = padded[(lane + shift) % kCount];
            }
            // One block for every lane, then the second block of the long inputs.
            for (std::size_t block = 1; block <= 2; ++block) {
                kernel.transform(state.data(), data, 1);
                for (unsigned lane = 0; lane < lanes; ++lane) {
                    const std::size_t input = (lane + shift) % kCount;
                    data[lane] += 64;
                    if (blocks[input] != block) continue;
                    std::string digest;
                    for (int w = 0; w < 4; ++w) {
                        for (int b = 0; b < 4; ++b) {
                            const unsigned byte = (state[w * lanes + lane] >> (8 * b)) & 0xFF;
                            digest += {kDigits[byte >> 4], kDigits[byte & 15]};
                        }
                    }
                    EXPECT_EQ(digest, kRfc1321[input].digest) << lanes << " lanes, lane " << lane;
                }
            }
        }
    }
}

TEST(FileMd5, LineEndsAreHashedAsStored) {
    ScratchDir scratch;
    ASSERT_TRUE(writeBytes(scratch.path(u"crlf.txt"), "line one\r\nline two\r\n"));
    ASSERT_TRUE(writeBytes(scratch.path(u"lf.txt"), "line one\nline two\n"));
    EXPECT_EQ(fileMd5(scratch.path(u"crlf.txt")), "a775daabdb44c57a65eaadeef4edfe51");
    EXPECT_EQ(fileMd5(scratch.path(u"lf.txt")), "987929d61c9b69f0c6406b840aa77fd8");
}

TEST(FileMd5, DirectoriesAndMissingFilesGiveTheEmptyDigest) {
    ScratchDir scratch;
    EXPECT_EQ(fileMd5(scratch.dir()), "");
    EXPECT_EQ(fileMd5(scratch.path(u"missing.dll")), "");
    EXPECT_EQ(fileMd5(scratch.path(u"nodir\\missing.dll")), "");
}

// Whatever the OEM code page, a file is opened by its UTF-16 name.
TEST(FileMd5, HashesAFileWithAChineseName) {
    if (const char* expected = std::getenv("UPD_EXPECT_OEM_CODE_PAGE")) {
        ASSERT_EQ(platform::oemCodePage(), std::atoi(expected)) << "the test runs under another locale than meant";
    }
    ScratchDir scratch;
    ASSERT_EQ(platform::createDirectory(scratch.path(u"更新")), 0u);
    const std::u16string name = scratch.path(u"更新\\组件.dll");
    ASSERT_TRUE(writeBytes(name, "abc"));
    EXPECT_EQ(fileMd5(name), "900150983cd24fb0d6963f7d28e17f72");
}

TEST(ToNarrow, EmptyAndAsciiTexts) {
    EXPECT_EQ(toNarrow(u""), "");
    EXPECT_EQ(toNarrow(u"autoTemp\\bin\\a.dll"), "autoTemp\\bin\\a.dll");
    EXPECT_EQ(toNarrow(u"d41d8cd98f00b204e9800998ecf8427e"), "d41d8cd98f00b204e9800998ecf8427e");
}

TEST(ToNarrow, ChineseInTheOemCodePage) {
    const std::string narrow = toNarrow(u"中文");
    switch (platform::oemCodePage()) {
        case platform::kUtf8CodePage: EXPECT_EQ(narrow, "\xE4\xB8\xAD\xE6\x96\x87"); break;
        case 936: EXPECT_EQ(narrow, "\xD6\xD0\xCE\xC4"); break;
        case 437: EXPECT_EQ(narrow, "??"); break;  // the code page's default character
        default: EXPECT_FALSE(narrow.empty());
    }
}

TEST(ToNarrow, StopsAtAnEmbeddedNul) {
    EXPECT_EQ(toNarrow(std::u16string(u"ab\0cd", 5)), "ab");
}
