// The words of a tag as the attribute scan reads them, one at a time: shared
// by findAttribute and by the record of a start tag's attributes, which must
// read the same words.
#pragma once

#include <cstdint>

#include "xml/char_class.h"
#include "xml/scan.h"

namespace xml {

struct AttrWord {
    enum Kind : int32_t {
        END,      // the end of the text: an empty word there
        QUOTED,   // a quoted word without its quotes; the closing quote is consumed
        VALUE,    // an unquoted word after "=": it runs to whitespace or ">", "/" included
        EQUALS,   // "="
        TAG_END,  // ">", "/" or "?" that is not part of a word
        NAME,     // any other word: up to whitespace, "/", "=", ">" or "?"
    };
    Kind kind;
    int32_t start;  // its first code unit
    int32_t end;    // its last code unit (start - 1 when empty)
    int32_t next;   // where the whitespace before the next word begins
};

// Skips whitespace from `from` and reads one word; afterEquals: the word is
// read as a value. The first limit code units of t may be read in any order.
inline AttrWord readAttrWord(const char16_t* t, int32_t from, int32_t limit, bool afterEquals) {
    int32_t q = from;
    while (charclass::is(t[q], charclass::WHITESPACE)) {
        ++q;
    }
    const char16_t first = t[q];
    if (first == 0) {
        return {AttrWord::END, q, q - 1, q};
    }
    if (first == u'"' || first == u'\'') {
        const int32_t close = scan::toUnitOrEnd(t, q + 1, limit, first);
        return {AttrWord::QUOTED, q + 1, close - 1, t[close] != 0 ? close + 1 : close};
    }
    const int32_t start = q;
    if (afterEquals) {
        while (!charclass::is(t[q], charclass::STOP_ATTR_VALUE)) {
            ++q;
        }
        q += q == start ? 1 : 0;  // a lone ">" is the value
        return {AttrWord::VALUE, start, q - 1, q};
    }
    while (!charclass::is(t[q], charclass::STOP_ATTR_NAME)) {
        ++q;
    }
    if (q > start) {
        return {AttrWord::NAME, start, q - 1, q};
    }
    // Whitespace and the end are behind us: what stopped the word at once is
    // "=", ">", "/" or "?".
    return {first == u'=' ? AttrWord::EQUALS : AttrWord::TAG_END, q, q, q + 1};
}

}  // namespace xml
