// Hex text of keys and digests: exactly the right number of lowercase
// digits, in narrow and in UTF-16 text.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "crypto/hex.h"

using crypto::parseHex;

TEST(Hex, ParsesOnlyTheExactNumberOfLowercaseDigits) {
    constexpr struct {
        const char* text;
        bool ok;
    } kCases[] = {
        {"00ff7a09", true},  {"0123abcd", true},   {"00FF7A09", false},   {"00fF7a09", false},
        {"00ff7a0", false},  {"00ff7a090", false}, {"00ff7a0900", false}, {"", false},
        {"00ff7a0g", false}, {"00ff 7a0", false},  {"0x00ff7a", false},   {"00ff7a-9", false},
    };
    for (const auto& c : kCases) {
        std::array<std::uint8_t, 4> bytes{};
        EXPECT_EQ(parseHex(std::string(c.text), bytes), c.ok) << c.text;
        std::u16string wide(c.text, c.text + std::char_traits<char>::length(c.text));
        EXPECT_EQ(parseHex(wide, bytes), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(crypto::toHex(bytes), c.text);
        }
    }
}

TEST(Hex, RefusesCharactersBeyondAscii) {
    std::array<std::uint8_t, 1> byte{};
    // A UTF-16 unit whose low byte is a digit, and a narrow byte above 0x7F.
    EXPECT_FALSE(parseHex(u"\u0130a", byte));
    EXPECT_FALSE(parseHex(std::string{static_cast<char>(0xB0), 'a'}, byte));
    EXPECT_TRUE(parseHex(u"0a", byte));
    EXPECT_EQ(byte[0], 0x0A);
}
