// The table of steps through a window that the vector UTF-8 decoders share.
//
// A decoder looks at 16 bytes that begin with a sequence. Which of the first
// 12 bytes end a sequence (bit i: byte i + 1 is no continuation byte) picks a
// step: how many bytes the first sequences of one to three bytes take (at most
// four of them), and the shuffle that puts each into a 32-bit lane, its last
// byte lowest. Whether those sequences are valid is checked on the lanes.
#pragma once

#include <cstdint>

namespace platform {

struct Utf8Step {
    std::uint8_t bytes;    // 0: the window starts with a sequence of four bytes or more
    std::uint8_t units;    // sequences taken, one unit each
    std::uint8_t shuffle;  // row of Utf8Steps::shuffles
};

struct Utf8Steps {
    static constexpr int kEndBits = 12;
    static constexpr int kLanes = 4;
    static constexpr int kShuffles = 1 + 3 + 9 + 27 + 81;  // one per list of up to four lengths

    Utf8Step steps[1 << kEndBits];
    alignas(16) std::uint8_t shuffles[kShuffles][16];
};

consteval Utf8Steps makeUtf8Steps() {
    Utf8Steps t{};
    int rowOfLengths[256];  // lengths as base-4 digits, lane 0 lowest
    for (int& row : rowOfLengths) row = -1;
    int rows = 0;
    for (int ends = 0; ends < (1 << Utf8Steps::kEndBits); ++ends) {
        int starts[Utf8Steps::kLanes + 1] = {0};
        int lanes = 0;
        int key = 0;
        while (lanes < Utf8Steps::kLanes) {
            const int start = starts[lanes];
            int last = start;
            while (last < start + 3 && last < Utf8Steps::kEndBits && ((ends >> last) & 1) == 0) ++last;
            if (last == start + 3 || last == Utf8Steps::kEndBits) break;
            key += (last - start + 1) << (2 * lanes);
            starts[++lanes] = last + 1;
        }
        if (rowOfLengths[key] < 0) {
            rowOfLengths[key] = rows;
            std::uint8_t* shuffle = t.shuffles[rows++];
            for (int i = 0; i < 16; ++i) shuffle[i] = 0x80;  // a zero byte
            for (int lane = 0; lane < lanes; ++lane) {
                for (int k = 0; k < starts[lane + 1] - starts[lane]; ++k) {
                    shuffle[4 * lane + k] = static_cast<std::uint8_t>(starts[lane + 1] - 1 - k);
                }
            }
        }
        t.steps[ends] = {static_cast<std::uint8_t>(starts[lanes]), static_cast<std::uint8_t>(lanes),
                         static_cast<std::uint8_t>(rowOfLengths[key])};
    }
    return t;
}

inline constexpr Utf8Steps kUtf8Steps = makeUtf8Steps();

// The values a lane may hold when its sequence is valid, given that the
// shuffle put continuation bytes in every place but the lead's: ASCII, a
// two-byte lead C2..DF, three bytes below the surrogates and not overlong,
// three bytes above the surrogates. Ranges [low, high].
inline constexpr std::int32_t kUtf8ValidLanes[][2] = {
    {0x00, 0x7F}, {0xC280, 0xDFBF}, {0xE0A080, 0xED9FBF}, {0xEE8080, 0xEFBFBF}};

}  // namespace platform
