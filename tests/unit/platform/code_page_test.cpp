// The code page converters: measuring, converting, refusing.
#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"

namespace {

std::u16string toWide(int codePage, const std::string& bytes) {
    const int n = platform::multiByteToWide(codePage, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::u16string out(static_cast<std::size_t>(n), u'\0');
    if (n > 0 && platform::multiByteToWide(codePage, bytes.data(), static_cast<int>(bytes.size()), out.data(), n) != n) {
        return u"<conversion differs from its measure>";
    }
    return out;
}

std::string toBytes(int codePage, const std::u16string& text) {
    const int n = platform::wideToMultiByte(codePage, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::string out(static_cast<std::size_t>(n), '\0');
    if (n > 0 && platform::wideToMultiByte(codePage, text.data(), static_cast<int>(text.size()), out.data(), n) != n) {
        return "<conversion differs from its measure>";
    }
    return out;
}

}  // namespace

TEST(CodePages, Utf8RoundTrip) {
    const std::u16string text = u"autoTemp\\中文\\\U0001F600.dll";
    const std::string utf8 = "autoTemp\\\xE4\xB8\xAD\xE6\x96\x87\\\xF0\x9F\x98\x80.dll";
    EXPECT_EQ(toBytes(platform::kUtf8CodePage, text), utf8);
    EXPECT_EQ(toWide(platform::kUtf8CodePage, utf8), text);
}

TEST(CodePages, InvalidUtf8BecomesTheReplacementCharacter) {
    EXPECT_EQ(toWide(platform::kUtf8CodePage, "a\xFF" "b"), u"a\uFFFDb");
    EXPECT_EQ(toWide(platform::kUtf8CodePage, "\xC3("), u"\uFFFD(");
}

TEST(CodePages, MeasuringCountsTheTerminatingNulOfALengthOfMinusOne) {
    EXPECT_EQ(platform::multiByteToWide(platform::kUtf8CodePage, "abc", -1, nullptr, 0), 4);
    EXPECT_EQ(platform::wideToMultiByte(platform::kUtf8CodePage, u"", -1, nullptr, 0), 1);
    char16_t out[4] = {u'x', u'x', u'x', u'x'};
    EXPECT_EQ(platform::multiByteToWide(platform::kUtf8CodePage, "abc", -1, out, 4), 4);
    EXPECT_EQ(std::u16string(out), u"abc");
}

TEST(CodePages, ADestinationTooSmallGivesZero) {
    char16_t wide[2];
    EXPECT_EQ(platform::multiByteToWide(platform::kUtf8CodePage, "abc", 3, wide, 2), 0);
    char narrow[2];
    EXPECT_EQ(platform::wideToMultiByte(936, u"中", 1, narrow, 1), 0);
    EXPECT_EQ(platform::wideToMultiByte(936, u"中", 1, narrow, 2), 2);
}

TEST(CodePages, ChineseInCodePage936) {
    EXPECT_EQ(toWide(936, "\xD6\xD0\xCE\xC4"), u"中文");
    EXPECT_EQ(toBytes(936, u"a\\中文"), "a\\\xD6\xD0\xCE\xC4");
}

TEST(CodePages, JapaneseKeepsTheBackslash) {
    EXPECT_EQ(toWide(932, "bin\\\x93\xFA\x96\x7B"), u"bin\\日本");
    EXPECT_EQ(toBytes(932, u"bin\\日本"), "bin\\\x93\xFA\x96\x7B");
}

TEST(CodePages, Latin1AndTheDefaultCharacter) {
    EXPECT_EQ(toWide(28591, "caf\xE9"), u"café");
    EXPECT_EQ(toBytes(28591, u"café 中"), "caf\xE9 ?");
    EXPECT_EQ(toBytes(1252, u"€"), "\x80");
}

TEST(CodePages, UnsupportedCodePagesConvertNothing) {
    EXPECT_EQ(platform::multiByteToWide(12345, "abc", 3, nullptr, 0), 0);
    EXPECT_EQ(platform::wideToMultiByte(12345, u"abc", 3, nullptr, 0), 0);
    // UTF-16 and UTF-32 are no code pages to MultiByteToWideChar.
    EXPECT_EQ(platform::multiByteToWide(1200, "a\0b\0", 4, nullptr, 0), 0);
    EXPECT_EQ(platform::multiByteToWide(12000, "a\0\0\0", 4, nullptr, 0), 0);
}

TEST(CodePages, EmptyInputIsRefused) {
    EXPECT_EQ(platform::multiByteToWide(platform::kUtf8CodePage, "", 0, nullptr, 0), 0);
}

#ifndef _WIN32
TEST(CodePages, AnsiAndOemAreUtf8OnPosix) {
    EXPECT_EQ(platform::ansiCodePage(), platform::kUtf8CodePage);
    EXPECT_EQ(platform::oemCodePage(), platform::kUtf8CodePage);
    EXPECT_EQ(toWide(platform::kAnsiCodePage, "\xE4\xB8\xAD"), u"中");
    EXPECT_EQ(toBytes(platform::kOemCodePage, u"中"), "\xE4\xB8\xAD");
}

TEST(CodePages, JohabReadsTheBackslashAsWindowsDoes) {
    EXPECT_EQ(toWide(1361, "a\\b"), u"a\\b");
    EXPECT_EQ(toBytes(1361, u"a\\b"), "a\\b");
}

TEST(CodePages, StatefulEncodingsRoundTrip) {
    const std::string jis = toBytes(50220, u"a日本b");
    EXPECT_EQ(jis, "a\x1B$BF|K\\\x1B(Bb");
    EXPECT_EQ(toWide(50220, jis), u"a日本b");
}

TEST(CodePages, InvalidBytesOfAMultiByteCodePageBecomeReplacementCharacters) {
    EXPECT_EQ(toWide(932, "a\x81"), u"a\uFFFD");
}
#endif
