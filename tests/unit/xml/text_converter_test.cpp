#include "xml/text_converter.h"

#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace xml {
namespace {

// Measures, allocates exactly the measured room and converts, as the file
// reader does; also checks that both calls agree.
std::u16string convertAll(std::u16string_view sourceName, const void* source, std::int32_t length) {
    TextConverter converter(sourceName, source, length);
    const std::int32_t measured = converter.convert(nullptr);
    EXPECT_EQ(converter.destinationCapacity, measured);
    std::u16string out(static_cast<std::size_t>(measured), u'\0');
    const std::int32_t produced = converter.convert(out.data());
    EXPECT_EQ(produced, measured);
    EXPECT_EQ(converter.destinationCapacity, produced);
    return out;
}

std::u16string convertBytes(std::u16string_view sourceName, const std::string& bytes) {
    return convertAll(sourceName, bytes.data(), static_cast<std::int32_t>(bytes.size()));
}

TEST(TextConverter, OwnUtf32BecomesUnitsAndPairs) {
    const std::vector<std::uint32_t> codePoints = {0x41, 0x1F600, 0xFFFF, 0x10000, 0x10FFFF, 0x4E2D};
    EXPECT_EQ(convertAll(u"UTF-32", codePoints.data(), static_cast<std::int32_t>(codePoints.size())),
              (std::u16string{0x0041, 0xD83D, 0xDE00, 0xFFFF, 0xD800, 0xDC00, 0xDBFF, 0xDFFF, 0x4E2D}));
    EXPECT_EQ(convertAll(u"UTF-32BE", codePoints.data(), 2), (std::u16string{0x0041, 0xD83D, 0xDE00}));
    EXPECT_EQ(convertAll(u"UTF-32", codePoints.data(), 0), u"");
}

TEST(TextConverter, OwnUtf32ReadsUnalignedSource) {
    // The file reader hands over a byte buffer; a code point need not be aligned.
    const unsigned char bytes[] = {0xEE, 0x2D, 0x4E, 0x00, 0x00, 0x00, 0xF6, 0x01, 0x00};
    EXPECT_EQ(convertAll(u"UTF-32", bytes + 1, 2), (std::u16string{0x4E2D, 0xD83D, 0xDE00}));
}

TEST(TextConverter, OwnUtf32NeverWritesPastTheRoomGiven) {
    const std::vector<std::uint32_t> codePoints = {0x41, 0x1F600};
    TextConverter converter(u"UTF-32", codePoints.data(), 2);
    char16_t room[4] = {u'x', u'x', u'x', u'x'};
    converter.destinationCapacity = 2;
    EXPECT_EQ(converter.convert(room), 0);
    EXPECT_EQ(converter.destinationCapacity, 0);
    EXPECT_EQ(room[2], u'x');
}

TEST(TextConverter, Utf8GoesThroughThePlatform) {
    EXPECT_EQ(convertBytes(u"UTF-8", "a\xE4\xB8\xAD\xF0\x9F\x98\x80z"), (std::u16string{u'a', 0x4E2D, 0xD83D, 0xDE00, u'z'}));
    // Invalid bytes become replacement characters, never a failure.
    const std::u16string bad = convertBytes(u"utf8", "a\xFF" "b");
    EXPECT_EQ(bad.front(), u'a');
    EXPECT_EQ(bad.back(), u'b');
    EXPECT_NE(bad.find(u'\xFFFD'), std::u16string::npos);
}

TEST(TextConverter, DeclaredCodePages) {
    EXPECT_EQ(convertBytes(u"GBK", "\xD6\xD0\xCE\xC4"), u"中文");
    EXPECT_EQ(convertBytes(u"gb2312", "\xD6\xD0\xCE\xC4"), u"中文");
    EXPECT_EQ(convertBytes(u"ISO-8859-1", "caf\xE9"), u"café");
    EXPECT_EQ(convertBytes(u"windows-1252", "\x80 caf\xE9"), u"€ café");
    EXPECT_EQ(convertBytes(u"Big5", "\xA4\xA4\xA4\xE5"), u"中文");
    // Code page 932, not a strict Shift_JIS: 0x5C stays a backslash.
    EXPECT_EQ(convertBytes(u"Shift_JIS", "a\\b\x93\xFA\x96\x7B"), u"a\\b日本");
}

TEST(TextConverter, UnknownNameMeansTheAnsiCodePage) {
    const std::string gbk = "\xD6\xD0";
    const std::u16string viaAnsi = convertBytes(u"no-such-encoding", gbk);
    EXPECT_EQ(viaAnsi, convertBytes(u"", gbk));
    char16_t direct[8] = {};
    const int n = platform::multiByteToWide(platform::kAnsiCodePage, gbk.data(), 2, direct, 8);
    EXPECT_EQ(viaAnsi, std::u16string(direct, static_cast<std::size_t>(n)));
    if (platform::ansiCodePage() == 936) {
        EXPECT_EQ(viaAnsi, u"中");
    }
}

TEST(TextConverter, SmallLetterUtf32IsTheWindowsCodePage) {
    // Goes to the platform as code page 12000 with the length in bytes; our
    // own conversion would take the length as code points (and read too far).
    const std::vector<std::uint32_t> codePoints = {0x41, 0x1F600};
    const auto* bytes = reinterpret_cast<const char*>(codePoints.data());
    TextConverter converter(u"utf-32", bytes, 8);
    const std::int32_t measured = converter.convert(nullptr);
    EXPECT_EQ(measured, platform::multiByteToWide(12000, bytes, 8, nullptr, 0));
}

TEST(TextConverter, TooSmallDestinationGivesZero) {
    const std::string text = "abcdef";
    TextConverter converter(u"UTF-8", text.data(), 6);
    char16_t room[3];
    converter.destinationCapacity = 3;
    EXPECT_EQ(converter.convert(room), 0);
}

TEST(DecodeUtf8, ValidSequences) {
    const unsigned char text[] = {'A', 0xC3, 0xA9, 0xE4, 0xB8, 0xAD, 0xF0, 0x9F, 0x98, 0x80};
    const unsigned char* cursor = text;
    const unsigned char* end = text + sizeof text;
    EXPECT_EQ(decodeUtf8(cursor, end), 0x41);
    EXPECT_EQ(decodeUtf8(cursor, end), 0xE9);
    EXPECT_EQ(decodeUtf8(cursor, end), 0x4E2D);
    EXPECT_EQ(cursor, text + 6);
    EXPECT_EQ(decodeUtf8(cursor, end), 0x1F600);
    EXPECT_EQ(cursor, end);
}

TEST(DecodeUtf8, FailuresAndWhereTheCursorStops) {
    const unsigned char badContinuation[] = {0xC3, 0x28};
    const unsigned char* cursor = badContinuation;
    EXPECT_EQ(decodeUtf8(cursor, badContinuation + 2), -1);
    EXPECT_EQ(cursor, badContinuation + 1);

    const unsigned char cut[] = {0xE4, 0xB8};
    cursor = cut;
    EXPECT_EQ(decodeUtf8(cursor, cut + 2), -1);
    EXPECT_EQ(cursor, cut + 2);

    const unsigned char fiveByteLead[] = {0xF8, 0x80, 0x80};
    cursor = fiveByteLead;
    EXPECT_EQ(decodeUtf8(cursor, fiveByteLead + 3), -1);
    EXPECT_EQ(cursor, fiveByteLead + 1);
}

TEST(DecodeUtf8, LenientForms) {
    // A continuation byte standing first is a two-byte lead (bit 0x40 unchecked).
    const unsigned char strayContinuation[] = {0x85, 0x81};
    const unsigned char* cursor = strayContinuation;
    EXPECT_EQ(decodeUtf8(cursor, strayContinuation + 2), (0x05 << 6) | 0x01);
    // 0xA0..0xAF stand as three-byte leads.
    const unsigned char threeFromA0[] = {0xA1, 0x80, 0x80};
    cursor = threeFromA0;
    EXPECT_EQ(decodeUtf8(cursor, threeFromA0 + 3), 0x1000);
    // Overlong, surrogate and beyond-range values come out as they are.
    const unsigned char overlong[] = {0xC0, 0xAF};
    cursor = overlong;
    EXPECT_EQ(decodeUtf8(cursor, overlong + 2), 0x2F);
    const unsigned char surrogate[] = {0xED, 0xA0, 0x80};
    cursor = surrogate;
    EXPECT_EQ(decodeUtf8(cursor, surrogate + 3), 0xD800);
    const unsigned char beyond[] = {0xF7, 0xBF, 0xBF, 0xBF};
    cursor = beyond;
    EXPECT_EQ(decodeUtf8(cursor, beyond + 4), 0x1FFFFF);
}

}  // namespace
}  // namespace xml
