// UTF-8 <-> UTF-16 conversion shared by the POSIX backend, the tools and the
// tests. Invalid input becomes U+FFFD, as Windows' own converters do.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

std::u16string utf8ToUtf16(std::string_view utf8);

inline constexpr std::size_t kNoRoom = static_cast<std::size_t>(-1);

// The same decoding into dst without allocating: returns the units written,
// or kNoRoom when they do not fit in capacity. A null dst only counts.
std::size_t utf8ToUtf16(const char* src, std::size_t size, char16_t* dst, std::size_t capacity);

// One way of decoding, for tests and benchmarks: decode is utf8ToUtf16 with a
// destination, through the portable code or through a vector one.
struct Utf8Path {
    const char* name;
    std::size_t (*decode)(const char* src, std::size_t size, char16_t* dst, std::size_t capacity);
};

// The paths this processor runs: the portable one first, the one utf8ToUtf16
// takes last.
std::vector<Utf8Path> utf8Paths();

std::string utf16ToUtf8(std::u16string_view utf16);

}  // namespace platform
