// Every decoding path this processor runs against a reference decoder, on
// random valid and invalid UTF-8.
#include "platform/utf.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

// The rules one byte at a time: a lead announces a length; the sequence ends
// at the first byte that is no continuation byte; it stands for its code
// point only when complete, shortest and a scalar value, else for one U+FFFD.
std::u16string reference(const std::string& text) {
    std::u16string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xC2 ? 0 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF5 ? 4 : 0;
        std::size_t taken = 1;
        std::uint32_t c = length == 1 ? lead : lead & (0x7F >> length);
        while (taken < length && i + taken < text.size() && (static_cast<unsigned char>(text[i + taken]) & 0xC0) == 0x80) {
            c = (c << 6) | (static_cast<unsigned char>(text[i + taken]) & 0x3F);
            ++taken;
        }
        constexpr std::uint32_t kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (length == 0 || taken < length || c < kShortest[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            c = 0xFFFD;
        }
        if (c >= 0x10000) {
            out += static_cast<char16_t>(0xD800 | ((c - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 | (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
        i += taken;
    }
    return out;
}

std::string encode(std::uint32_t c, int length) {
    if (length == 1) return std::string(1, static_cast<char>(c));
    std::string bytes(static_cast<std::size_t>(length), '\0');
    for (int k = length - 1; k > 0; --k, c >>= 6) bytes[static_cast<std::size_t>(k)] = static_cast<char>(0x80 | (c & 0x3F));
    bytes[0] = static_cast<char>((0xF00 >> length) | c);
    return bytes;
}

// What a text is made of, piece by piece.
enum Piece {
    kAscii, kTwo, kThree, kChinese, kFour,                                  // valid
    kStray, kCut, kOverlong, kSurrogate, kBeyond, kBadLead, kAnyByte,       // invalid
    kEdge,  // a code point at either side of a limit
    kPieces
};

std::string piece(Piece kind, std::mt19937& random) {
    const auto in = [&random](std::uint32_t low, std::uint32_t high) {
        return std::uniform_int_distribution<std::uint32_t>(low, high)(random);
    };
    switch (kind) {
        case kAscii: return encode(in(0, 0x7F), 1);
        case kTwo: return encode(in(0x80, 0x7FF), 2);
        case kThree: {
            const std::uint32_t c = in(0x800, 0xFFFF - 0x800);
            return encode(c >= 0xD800 ? c + 0x800 : c, 3);
        }
        case kChinese: return encode(in(0x4E00, 0x9FFF), 3);
        case kFour: return encode(in(0x10000, 0x10FFFF), 4);
        case kStray: return std::string(in(1, 3), static_cast<char>(in(0x80, 0xBF)));
        case kCut: {
            const std::string whole = in(0, 1) ? encode(in(0x800, 0xD7FF), 3) : encode(in(0x10000, 0x10FFFF), 4);
            return whole.substr(0, in(1, static_cast<std::uint32_t>(whole.size()) - 1));
        }
        case kOverlong: {
            const int length = static_cast<int>(in(2, 4));
            return encode(in(0, length == 2 ? 0x7F : length == 3 ? 0x7FF : 0xFFFF), length);
        }
        case kSurrogate: return encode(in(0xD800, 0xDFFF), 3);
        case kBeyond: return encode(in(0x110000, 0x1FFFFF), 4);
        case kEdge: {
            constexpr std::uint32_t kLimits[][2] = {{0x7F, 1}, {0x80, 2}, {0x7F, 2}, {0x7FF, 2}, {0x800, 3}, {0x7FF, 3},
                                                    {0xD7FF, 3}, {0xD800, 3}, {0xDFFF, 3}, {0xE000, 3}, {0xFFFF, 3},
                                                    {0x10000, 4}, {0xFFFF, 4}, {0x10FFFF, 4}, {0x110000, 4}};
            const auto& limit = kLimits[in(0, std::size(kLimits) - 1)];
            return encode(limit[0], static_cast<int>(limit[1]));
        }
        case kBadLead: return std::string(1, static_cast<char>(in(0, 1) ? in(0xC0, 0xC1) : in(0xF5, 0xFF))) + piece(kStray, random);
        default: return std::string(1, static_cast<char>(in(0, 0xFF)));
    }
}

struct Mix {
    const char* name;
    int weights[kPieces];  // of each piece, in the order of Piece
};

constexpr Mix kMixes[] = {
    {"mostly ASCII", {60, 2, 2, 4, 1}},
    {"dense Chinese", {1, 0, 0, 30}},
    {"every valid length", {4, 4, 4, 4, 4}},
    {"two and three bytes", {1, 8, 8}},
    {"valid with every invalid form", {20, 4, 4, 10, 4, 1, 1, 1, 1, 1, 1, 1, 4}},
    {"mostly invalid", {2, 1, 1, 2, 1, 4, 4, 4, 4, 4, 4, 4, 4}},
};

std::string text(const Mix& mix, std::size_t pieces, std::mt19937& random) {
    std::discrete_distribution<int> pick(std::begin(mix.weights), std::end(mix.weights));
    std::string out;
    for (std::size_t i = 0; i < pieces; ++i) out += piece(static_cast<Piece>(pick(random)), random);
    return out;
}

// Decodes through path into exactly capacity units, followed by a guard that
// must stay as it was; the source is a copy of its own size, so that reading
// past it shows under the sanitizer.
void expectDecodes(const platform::Utf8Path& path, const std::string& bytes, const std::u16string& expected,
                   std::size_t capacity, const std::string& what) {
    constexpr std::size_t kGuard = 40;
    const auto source = std::make_unique<char[]>(bytes.size() + 1);
    bytes.copy(source.get(), bytes.size());
    std::u16string room(capacity + kGuard, u'#');
    const std::size_t n = path.decode(source.get(), bytes.size(), room.data(), capacity);
    if (capacity < expected.size()) {
        EXPECT_EQ(n, platform::kNoRoom) << path.name << ", " << what;
    } else {
        ASSERT_EQ(n, expected.size()) << path.name << ", " << what;
        EXPECT_EQ(room.substr(0, n), expected) << path.name << ", " << what;
    }
    EXPECT_EQ(room.substr(capacity), std::u16string(kGuard, u'#')) << path.name << ", " << what << ": wrote past the room";
}

TEST(Utf8Paths, EveryPathDecodesAsTheReference) {
    const std::vector<platform::Utf8Path> paths = platform::utf8Paths();
    ASSERT_FALSE(paths.empty());
    std::mt19937 random(20240613);
    for (const Mix& mix : kMixes) {
        for (int round = 0; round < 400; ++round) {
            // 0 to 70 ASCII bytes first put what follows at every place of a
            // vector block; short texts end anywhere, long ones run the loops.
            const std::size_t pieces = round < 350 ? std::uniform_int_distribution<std::size_t>(0, 80)(random) : 1000;
            const std::string bytes = std::string(static_cast<std::size_t>(round % 71), 'a') + text(mix, pieces, random);
            const std::u16string expected = reference(bytes);
            const std::string what = std::string(mix.name) + ", round " + std::to_string(round);
            for (const platform::Utf8Path& path : paths) {
                // Room for the one-pass sizing from the byte count, exact room, too little.
                expectDecodes(path, bytes, expected, bytes.size(), what);
                expectDecodes(path, bytes, expected, expected.size(), what + ", exact room");
                if (!expected.empty()) expectDecodes(path, bytes, expected, expected.size() - 1, what + ", short room");
            }
        }
    }
}

}  // namespace
