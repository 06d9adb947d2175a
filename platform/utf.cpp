#include "platform/utf.h"

#include "platform/cpu_features.h"
#include "platform/utf8_kernels.h"

#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define UPD_UTF_SSE2 1
#endif

namespace platform {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// When the 16 bytes at p are all ASCII, widens them into out (if kWrite) and
// returns true.
template <bool kWrite>
inline bool asciiBlock(const unsigned char* p, char16_t* out) {
#ifdef UPD_UTF_SSE2
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    if (_mm_movemask_epi8(bytes) != 0) {
        return false;
    }
    if constexpr (kWrite) {
        const __m128i zero = _mm_setzero_si128();
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi8(bytes, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8), _mm_unpackhi_epi8(bytes, zero));
    }
    return true;
#else
    std::uint64_t halves[2];
    std::memcpy(halves, p, 16);
    if (((halves[0] | halves[1]) & 0x8080808080808080ull) != 0) {
        return false;
    }
    if constexpr (kWrite) {
        if constexpr (std::endian::native == std::endian::little) {
            // Spread every four bytes over four 16-bit lanes, no loop per byte.
            for (int i = 0; i < 4; ++i) {
                std::uint64_t lanes = (halves[i / 2] >> (32 * (i % 2))) & 0xFFFFFFFFull;
                lanes = (lanes | (lanes << 16)) & 0x0000FFFF0000FFFFull;
                lanes = (lanes | (lanes << 8)) & 0x00FF00FF00FF00FFull;
                std::memcpy(out + 4 * i, &lanes, 8);
            }
        } else {
            for (int k = 0; k < 16; ++k) {
                out[k] = p[k];
            }
        }
    }
    return true;
#endif
}

// Decodes the sequence at p, which is before end, and moves p behind it. A
// broken or disallowed sequence yields one replacement for the bytes taken so
// far; the next byte starts afresh.
char32_t decodeSequence(const unsigned char*& p, const unsigned char* end) {
    const unsigned char b = *p++;
    if (b < 0x80) {
        return b;
    }
    int extra;
    char32_t c;
    char32_t min;
    if (b >= 0xC2 && b <= 0xDF) {
        extra = 1, c = b & 0x1F, min = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
        extra = 2, c = b & 0x0F, min = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
        extra = 3, c = b & 0x07, min = 0x10000;
    } else {
        return kReplacement;
    }
    int got = 0;
    while (got < extra && p < end && (*p & 0xC0) == 0x80) {
        c = (c << 6) | (*p & 0x3F);
        ++p;
        ++got;
    }
    if (got < extra || c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        return kReplacement;
    }
    return c;
}

std::size_t unitsOf(char32_t c) { return c >= 0x10000 ? 2 : 1; }

void put(char32_t c, char16_t* out) {
    if (c < 0x10000) {
        out[0] = static_cast<char16_t>(c);
    } else {
        out[0] = static_cast<char16_t>(0xD800 | ((c - 0x10000) >> 10));
        out[1] = static_cast<char16_t>(0xDC00 | (c & 0x3FF));
    }
}

// The portable decoder, for counting (kWrite false) and converting: the two
// must agree unit for unit. Returns the units counted or written, or kNoRoom.
template <bool kWrite>
std::size_t decodePortable(const unsigned char* p, const unsigned char* end, char16_t* out, std::size_t capacity) {
    std::size_t n = 0;
    while (p < end) {
        // Markup is mostly ASCII: take it 16 bytes at a time.
        // Near the end of the room the exact checks below take over.
        while (end - p >= 16 && (!kWrite || capacity - n >= 16)) {
            if (!asciiBlock<kWrite>(p, kWrite ? out + n : nullptr)) {
                break;
            }
            n += 16;
            p += 16;
        }
        if (p == end) {
            break;
        }
        const char32_t c = decodeSequence(p, end);
        if constexpr (kWrite) {
            if (capacity - n < unitsOf(c)) {
                return kNoRoom;
            }
            put(c, out + n);
        }
        n += unitsOf(c);
    }
    return n;
}

// A vector decoder takes what it can; the portable code decodes at least one
// window of what it leaves (or the last bytes) before handing back.
template <Utf8Kernel kKernel>
std::size_t decodeVectorwise(const char* src, std::size_t size, char16_t* dst, std::size_t capacity) {
    constexpr std::size_t kWindow = 16;
    const auto* p = reinterpret_cast<const unsigned char*>(src);
    const unsigned char* const end = p + size;
    char16_t* out = dst;
    char16_t* const outEnd = dst + capacity;
    while (p < end) {
        kKernel(p, end, out, outEnd);
        const unsigned char* const resume = end - p > static_cast<std::ptrdiff_t>(kWindow) ? p + kWindow : end;
        while (p < resume) {
            const char32_t c = decodeSequence(p, end);
            if (static_cast<std::size_t>(outEnd - out) < unitsOf(c)) {
                return kNoRoom;
            }
            put(c, out);
            out += unitsOf(c);
        }
    }
    return static_cast<std::size_t>(out - dst);
}

std::size_t convertPortable(const char* src, std::size_t size, char16_t* dst, std::size_t capacity) {
    const auto* p = reinterpret_cast<const unsigned char*>(src);
    return decodePortable<true>(p, p + size, dst, capacity);
}

}  // namespace

std::vector<Utf8Path> utf8Paths() {
    std::vector<Utf8Path> paths{{"portable", convertPortable}};
#ifdef UPD_UTF8_VECTOR
    const CpuFeatures& cpu = cpuFeatures();
    if (cpu.ssse3) {
        paths.push_back({"ssse3", decodeVectorwise<utf8KernelSsse3>});
    }
    if (cpu.avx2) {
        paths.push_back({"avx2", decodeVectorwise<utf8KernelAvx2>});
    }
#endif
    return paths;
}

std::size_t utf8ToUtf16(const char* src, std::size_t size, char16_t* dst, std::size_t capacity) {
    if (dst == nullptr) {
        const auto* p = reinterpret_cast<const unsigned char*>(src);
        return decodePortable<false>(p, p + size, nullptr, 0);
    }
    // The fastest path this processor runs, chosen once.
    static const auto fastest = utf8Paths().back().decode;
    return fastest(src, size, dst, capacity);
}

std::u16string utf8ToUtf16(std::string_view utf8) {
    // Never more units than bytes.
    std::u16string out(utf8.size(), u'\0');
    out.resize(utf8ToUtf16(utf8.data(), utf8.size(), out.data(), out.size()));
    return out;
}

std::string utf16ToUtf8(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size());
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        char32_t c = utf16[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
            utf16[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = kReplacement;
        }
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

}  // namespace platform
