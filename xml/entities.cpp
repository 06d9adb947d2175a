#include "xml/entities.h"

#include "xml/scan.h"

namespace xml {

namespace {

constexpr int32_t MAX_REFERENCE = 9;  // code units after "&", the ";" included
constexpr int32_t MAX_CODE_POINT = 0x10FFFF;

constexpr char16_t toLower(char16_t c) {
    return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c;
}

int32_t digitValue(char16_t c, int32_t base) {
    int32_t v = 36;
    if (c >= u'0' && c <= u'9') {
        v = c - u'0';
    } else if (c >= u'a' && c <= u'z') {
        v = c - u'a' + 10;
    }
    return v < base ? v : -1;
}

// The number of a character reference ("#65", "#x41"; the name lower-cased),
// read like strtol: optional whitespace and sign, then as many digits as
// there are. -1 when the value is negative or above U+10FFFF.
int32_t numberValue(const char16_t* name, int32_t length) {
    int32_t base = 10;
    int32_t i = 1;
    if (length > 1 && name[1] == u'x') {
        base = 16;
        i = 2;
    }
    while (i < length && (name[i] == u' ' || (name[i] >= u'\t' && name[i] <= u'\r'))) {
        ++i;
    }
    bool negative = false;
    if (i < length && (name[i] == u'+' || name[i] == u'-')) {
        negative = name[i] == u'-';
        ++i;
    }
    int64_t value = 0;
    for (; i < length; ++i) {
        const int32_t d = digitValue(name[i], base);
        if (d < 0) {
            break;
        }
        value = value * base + d;
        if (value > MAX_CODE_POINT) {
            return -1;
        }
    }
    if (negative && value != 0) {
        return -1;
    }
    return int32_t(value);
}

// Offset of the first "&" in text, or length. From eight code units up the
// last block is loaded overlapping the one before it instead of being
// searched one code unit at a time: most values hold no "&" at all, and
// their length decides nothing then.
int32_t firstAmpersand(const char16_t* text, int32_t length) {
#ifdef UPD_XML_SSE2
    if (length >= 8) {
        const __m128i wanted = _mm_set1_epi16(static_cast<short>(u'&'));
        for (int32_t q = 0;; q += 8) {
            q = q + 8 <= length ? q : length - 8;
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + q));
            const int hits = _mm_movemask_epi8(_mm_cmpeq_epi16(v, wanted));
            if (hits != 0) {
                return q + std::countr_zero(static_cast<unsigned>(hits)) / 2;
            }
            if (q + 8 == length) {
                return length;
            }
        }
    }
#endif
    return scan::toUnit(text, 0, length, u'&');
}

}  // namespace

int32_t lookupEntity(const char16_t* name, int32_t length) {
    if (length < 1 || length > MAX_REFERENCE) {
        return 0;
    }
    char16_t lower[MAX_REFERENCE];
    int32_t sum = 0;
    bool capitals = false;
    for (int32_t i = 0; i < length; ++i) {
        lower[i] = toLower(name[i]);
        capitals = capitals || lower[i] != name[i];
        sum += lower[i];
    }
    int32_t found = 0;
    for (const char16_t* e = EntityTable[sum % ENTITY_BUCKETS]; *e != 0;) {
        const int32_t entryLength = *e - u'0';
        const char16_t* entryName = e + 5;
        if (entryLength == length) {
            int32_t i = 0;
            while (i < length && entryName[i] == lower[i]) {
                ++i;
            }
            if (i == length) {
                const int32_t cp = (e[1] - u'0') * 1000 + (e[2] - u'0') * 100 +
                                   (e[3] - u'0') * 10 + (e[4] - u'0');
                // The capital form comes first: a name written with capitals
                // keeps it, an all-lower-case one takes the small form if the
                // table holds one.
                if (found != 0 || capitals) {
                    return cp;
                }
                found = cp;
            }
        }
        e = entryName + entryLength;
    }
    return found;
}

std::u16string decodeEntities(const char16_t* text, int32_t length) {
    int32_t i = firstAmpersand(text, length);
    if (i == length) {
        return std::u16string(text, std::size_t(length));
    }
    std::u16string out;
    out.reserve(std::size_t(length));
    out.append(text, std::size_t(i));
    while (i < length) {
        const char16_t c = text[i];
        if (c != u'&') {
            out.push_back(c);
            ++i;
            continue;
        }
        // Up to MAX_REFERENCE code units, ASCII only, up to a ";".
        char16_t name[MAX_REFERENCE];
        int32_t n = 0;
        int32_t semicolon = -1;
        for (int32_t k = i + 1; k < length && k <= i + MAX_REFERENCE; ++k) {
            if (text[k] >= 128) {
                break;
            }
            if (text[k] == u';') {
                semicolon = k;
                break;
            }
            name[n++] = toLower(text[k]);
        }
        int32_t value = 0;
        if (semicolon >= 0) {
            value = n > 0 && name[0] == u'#' ? numberValue(name, n)
                                             : lookupEntity(text + i + 1, n);
        }
        if (value <= 0) {
            out.push_back(c);
            ++i;
            continue;
        }
        if (value < 0x10000) {
            out.push_back(char16_t(value));
        } else {
            value -= 0x10000;
            out.push_back(char16_t(0xD800 + (value >> 10)));
            out.push_back(char16_t(0xDC00 + (value & 0x3FF)));
        }
        i = semicolon + 1;
    }
    return out;
}

}  // namespace xml
