// The fixed bytes and bits of a VCDIFF file, and the xdelta3 extensions the
// codec reads or writes (its application header and its Adler-32 window
// checksum).
#pragma once

#include <cstddef>
#include <cstdint>

namespace patch {

inline constexpr std::uint8_t kMagic[4] = {0xD6, 0xC3, 0xC4, 0x00};

// Hdr_Indicator
inline constexpr std::uint8_t kHeaderSecondary = 0x01;  // a secondary compressor's id follows
inline constexpr std::uint8_t kHeaderCodeTable = 0x02;  // an application-defined code table follows
inline constexpr std::uint8_t kHeaderAppData = 0x04;    // xdelta3: a length and that many bytes follow

// Win_Indicator
inline constexpr std::uint8_t kWindowSource = 0x01;    // the segment is of the base
inline constexpr std::uint8_t kWindowTarget = 0x02;    // the segment is of the target written so far
inline constexpr std::uint8_t kWindowChecksum = 0x04;  // xdelta3: an Adler-32 of the window follows the lengths

// The target windows the encoder makes, and the largest the decoder holds
// whole in memory; xdelta3 makes windows of this size too.
inline constexpr std::size_t kWindowBytes = std::size_t(8) << 20;

// An integer of 64 bits takes at most 10 base-128 digits.
inline constexpr std::size_t kMaxVarintBytes = 10;

inline std::size_t varintLength(std::uint64_t value) {
    std::size_t n = 1;
    while (value >= 0x80) {
        value >>= 7;
        ++n;
    }
    return n;
}

// Writes value as base-128 digits, most significant first, into out (room
// for kMaxVarintBytes); returns the count written.
inline std::size_t putVarint(std::uint8_t* out, std::uint64_t value) {
    const std::size_t n = varintLength(value);
    for (std::size_t i = n; i-- > 0; value >>= 7) out[i] = std::uint8_t((value & 0x7F) | (i + 1 < n ? 0x80 : 0));
    return n;
}

}  // namespace patch
