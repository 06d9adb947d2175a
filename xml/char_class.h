// Character classes of the scanners as one table lookup per code unit. Each
// STOP_ class also holds code unit 0, the end of the text, so that a scan
// loop needs one test per code unit.
#pragma once

#include <array>
#include <cstdint>

namespace xml::charclass {

enum : uint8_t {
    WHITESPACE = 0x01,
    STOP_TAG_NAME = 0x02,   // whitespace "/" ">" and the end
    STOP_WORD = 0x04,       // token delimiters and the end
    STOP_ATTR_NAME = 0x08,  // whitespace "/" "=" ">" "?" and the end
    STOP_ATTR_VALUE = 0x10, // whitespace ">" and the end
    STOP_TAG_BODY = 0x20,   // what a start tag's scan must look at: whitespace "<" "=" ">" and the end
    STOP_PLAIN_NAME = 0x40, // ends a name of a plain start tag, or makes the tag not plain:
                            // whitespace "/" "=" ">" "?" "<" the quotes and the end
};

constexpr std::array<uint8_t, 128> makeTable() {
    std::array<uint8_t, 128> t{};
    for (const char c : {'\t', '\n', '\r', ' '}) {
        t[std::size_t(c)] |= WHITESPACE | STOP_TAG_NAME | STOP_WORD | STOP_ATTR_NAME | STOP_ATTR_VALUE | STOP_TAG_BODY |
                             STOP_PLAIN_NAME;
    }
    t[0] = STOP_TAG_NAME | STOP_WORD | STOP_ATTR_NAME | STOP_ATTR_VALUE | STOP_TAG_BODY | STOP_PLAIN_NAME;
    for (const char c : {'"', '\'', '/', '<', '=', '>', '?'}) {
        t[std::size_t(c)] |= STOP_PLAIN_NAME;
    }
    for (const char c : {'!', '"', '\'', '/', ';', '<', '=', '>', '?', '\\'}) {
        t[std::size_t(c)] |= STOP_WORD;
    }
    t['/'] |= STOP_TAG_NAME | STOP_ATTR_NAME;
    t['>'] |= STOP_TAG_NAME | STOP_ATTR_NAME | STOP_ATTR_VALUE | STOP_TAG_BODY;
    t['='] |= STOP_ATTR_NAME | STOP_TAG_BODY;
    t['?'] |= STOP_ATTR_NAME;
    t['<'] |= STOP_TAG_BODY;
    return t;
}

inline constexpr std::array<uint8_t, 128> TABLE = makeTable();

// Every code unit from 128 up is in no class.
inline bool is(char16_t c, uint8_t classes) {
    return c < 128 && (TABLE[c] & classes) != 0;
}

}  // namespace xml::charclass
