// MD5 against RFC 1321's suite and digests taken with coreutils' md5sum, fed
// whole, in pieces and from files; toNarrow in the OEM code page.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "install/md5.h"
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
