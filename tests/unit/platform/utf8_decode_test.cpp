#include "platform/utf.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::u16string decodeInto(const std::string& bytes, std::size_t capacity, std::size_t& result) {
    std::u16string out(capacity, u'#');
    result = platform::utf8ToUtf16(bytes.data(), bytes.size(), out.data(), capacity);
    return out;
}

TEST(Utf8Decode, NonAsciiAtEveryPlaceOfTheAsciiBlocks) {
    // The ASCII fast path takes 16 bytes at a time: put a character of every
    // length before, across and after each block boundary.
    for (const std::string& character : {std::string("\xC3\xA9"), std::string("\xE4\xB8\xAD"),
                                         std::string("\xF0\x9F\x98\x80"), std::string("\xFF")}) {
        const std::u16string wide = character == "\xFF" ? u"\xFFFD" : platform::utf8ToUtf16(character);
        for (std::size_t at = 0; at < 40; ++at) {
            const std::string bytes = std::string(at, 'a') + character + std::string(40 - at, 'b');
            const std::u16string expected = std::u16string(at, u'a') + wide + std::u16string(40 - at, u'b');
            EXPECT_EQ(platform::utf8ToUtf16(bytes.data(), bytes.size(), nullptr, 0), expected.size()) << at;
            std::size_t written = 0;
            const std::u16string out = decodeInto(bytes, expected.size(), written);
            EXPECT_EQ(written, expected.size());
            EXPECT_EQ(out, expected) << at;
            EXPECT_EQ(platform::utf8ToUtf16(bytes), expected) << at;
        }
    }
}

TEST(Utf8Decode, RefusesRoomThatIsTooSmall) {
    const std::string ascii(40, 'x');
    std::size_t written = 0;
    decodeInto(ascii, 39, written);
    EXPECT_EQ(written, platform::kNoRoom);
    decodeInto(ascii, 40, written);
    EXPECT_EQ(written, 40u);
    // A surrogate pair needs both units.
    const std::string emoji = "ab\xF0\x9F\x98\x80";
    decodeInto(emoji, 3, written);
    EXPECT_EQ(written, platform::kNoRoom);
    const std::u16string out = decodeInto(emoji, 4, written);
    EXPECT_EQ(written, 4u);
    EXPECT_EQ(out, u"ab\U0001F600");
}

TEST(Utf8Decode, InvalidInputBecomesReplacementCharacters) {
    EXPECT_EQ(platform::utf8ToUtf16("a\xC3(b"), u"a\xFFFD(b");            // broken sequence
    EXPECT_EQ(platform::utf8ToUtf16("\xE4\xB8"), u"\xFFFD");              // cut at the end
    EXPECT_EQ(platform::utf8ToUtf16("\xC0\xAF"), u"\xFFFD\xFFFD");        // overlong lead, stray byte
    EXPECT_EQ(platform::utf8ToUtf16("\xE0\x80\xAF"), u"\xFFFD");          // overlong
    EXPECT_EQ(platform::utf8ToUtf16("\xED\xA0\x80"), u"\xFFFD");          // surrogate
    EXPECT_EQ(platform::utf8ToUtf16("\xF4\x90\x80\x80"), u"\xFFFD");      // beyond U+10FFFF
    EXPECT_EQ(platform::utf8ToUtf16("\xF4\x8F\xBF\xBF"), u"\U0010FFFF");
    EXPECT_EQ(platform::utf8ToUtf16(std::string("a\0b", 3)), std::u16string(u"a\0b", 3));
}

}  // namespace
