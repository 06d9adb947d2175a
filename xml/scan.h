// Searches for code units over a UTF-16 text, eight at a time with SSE2 where
// the compiler offers it. Every vector load stays inside the bound the caller
// gives, so the tail is searched one code unit at a time.
#pragma once

#include <bit>
#include <cstdint>
#include <string>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define UPD_XML_SSE2 1
#endif

#if defined(__SANITIZE_ADDRESS__)
#define UPD_XML_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(memory_sanitizer)
#define UPD_XML_SANITIZED 1
#endif
#endif

namespace xml::scan {

// Length of a zero-terminated text. The vector loads are aligned to 16 bytes,
// so a block that holds the terminator never reaches into another page even
// where it goes past the text's end; the sanitizers would still report those
// bytes, so their builds count one code unit at a time.
inline std::size_t length(const char16_t* s) {
#if defined(UPD_XML_SSE2) && !defined(UPD_XML_SANITIZED)
    const auto address = reinterpret_cast<std::uintptr_t>(s);
    if (address % 2 == 0) {
        const auto* block = reinterpret_cast<const __m128i*>(address & ~std::uintptr_t(15));
        const __m128i zero = _mm_setzero_si128();
        const auto skipped = static_cast<unsigned>(address & 15);
        unsigned hits = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_load_si128(block), zero))) >> skipped;
        if (hits != 0) {
            return std::countr_zero(hits) / 2;
        }
        for (std::size_t offset = 16 - skipped;; offset += 16) {
            ++block;
            hits = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_load_si128(block), zero)));
            if (hits != 0) {
                return (offset + std::countr_zero(hits)) / 2;
            }
        }
    }
#endif
    return std::char_traits<char16_t>::length(s);
}

// Offset of the first code unit at or after q that is a or 0 (the end of the
// text). The units below limit may be read; pass limit 0 when it is unknown.
inline int32_t toUnitOrEnd(const char16_t* t, int32_t q, int32_t limit, char16_t a) {
#ifdef UPD_XML_SSE2
    const __m128i wanted = _mm_set1_epi16(static_cast<short>(a));
    const __m128i zero = _mm_setzero_si128();
    for (; q + 8 <= limit; q += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + q));
        const int hits = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi16(v, wanted), _mm_cmpeq_epi16(v, zero)));
        if (hits != 0) {
            return q + std::countr_zero(static_cast<unsigned>(hits)) / 2;
        }
    }
#else
    static_cast<void>(limit);
#endif
    while (t[q] != a && t[q] != 0) {
        ++q;
    }
    return q;
}

// toUnitOrEnd that also sets seen when a code unit b comes before what it finds.
inline int32_t toUnitOrEndSeeing(const char16_t* t, int32_t q, int32_t limit, char16_t a, char16_t b, bool& seen) {
#ifdef UPD_XML_SSE2
    const __m128i wanted = _mm_set1_epi16(static_cast<short>(a));
    const __m128i watched = _mm_set1_epi16(static_cast<short>(b));
    const __m128i zero = _mm_setzero_si128();
    const auto hitsAt = [&](int32_t at) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + at));
        const __m128i stop = _mm_or_si128(_mm_cmpeq_epi16(v, wanted), _mm_cmpeq_epi16(v, zero));
        return static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(stop, _mm_cmpeq_epi16(v, watched))));
    };
    // At the first hit: a is found, or b is seen and a is still to find.
    const auto settle = [&](int32_t at) {
        if (t[at] != b) {
            return at;
        }
        seen = true;
        return toUnitOrEnd(t, at + 1, limit, a);
    };
    // Values are often longer than eight units: sixteen per step halve the
    // steps, and the loop still ends with one mispredicted branch.
    for (; q + 16 <= limit; q += 16) {
        const unsigned hits = hitsAt(q) | hitsAt(q + 8) << 16;
        if (hits != 0) {
            return settle(q + std::countr_zero(hits) / 2);
        }
    }
    for (; q + 8 <= limit; q += 8) {
        const unsigned hits = hitsAt(q);
        if (hits != 0) {
            return settle(q + std::countr_zero(hits) / 2);
        }
    }
#else
    static_cast<void>(limit);
#endif
    for (; t[q] != a && t[q] != 0; ++q) {
        seen = seen || t[q] == b;
    }
    return q;
}

// A code unit that may end a name of markup: one below "0" (whitespace, the
// quotes, "/", the end and more) or one of "<" "=" ">" "?". Names hold few.
constexpr bool mayEndName(char16_t c) {
    return c < u'0' || (c >= u'<' && c <= u'?');
}

// Offset of the first code unit in [q, q + 8) that mayEndName, or q + 8 when
// there is none; the units below limit may be read. Names are short, so one
// vector step finds the end of most, with no loop to mispredict.
inline int32_t toNameEnd(const char16_t* t, int32_t q, int32_t limit) {
#ifdef UPD_XML_SSE2
    if (q + 8 <= limit) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + q));
        const __m128i zero = _mm_setzero_si128();
        const __m128i low = _mm_cmpeq_epi16(_mm_subs_epu16(v, _mm_set1_epi16(u'0' - 1)), zero);
        const __m128i fromLt = _mm_sub_epi16(v, _mm_set1_epi16(u'<'));
        const __m128i marks = _mm_cmpeq_epi16(_mm_subs_epu16(fromLt, _mm_set1_epi16(u'?' - u'<')), zero);
        const auto hits = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(low, marks))) | 0x10000u;
        return q + std::countr_zero(hits) / 2;
    }
#else
    static_cast<void>(limit);
#endif
    const int32_t end = q + 8;
    while (q < end && !mayEndName(t[q])) {
        ++q;
    }
    return q;
}

// Offset of the first code unit a in [q, end), or end.
inline int32_t toUnit(const char16_t* t, int32_t q, int32_t end, char16_t a) {
#ifdef UPD_XML_SSE2
    const __m128i wanted = _mm_set1_epi16(static_cast<short>(a));
    for (; q + 8 <= end; q += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + q));
        const int hits = _mm_movemask_epi8(_mm_cmpeq_epi16(v, wanted));
        if (hits != 0) {
            return q + std::countr_zero(static_cast<unsigned>(hits)) / 2;
        }
    }
#endif
    while (q < end && t[q] != a) {
        ++q;
    }
    return q;
}

}  // namespace xml::scan
