#include "xml/attribute_record.h"

#include "xml/attribute_word.h"
#include "xml/tokenizer.h"

namespace xml {

namespace {

// A word that is a name begins with a code unit that is neither a quote nor
// one that ends a name.
bool startsName(char16_t c) {
    return !charclass::is(c, charclass::STOP_ATTR_NAME) && c != u'"' && c != u'\'';
}

int32_t nameEnd(const char16_t* t, int32_t q) {
    do {
        ++q;
    } while (!charclass::is(t[q], charclass::STOP_ATTR_NAME));
    return q;
}

}  // namespace

void AttributeRecord::scan(const char16_t* t, int32_t next, int32_t limit) {
    attributes_.clear();
    bool afterEquals = false;
    // An element's tag name follows its "<" at once; anything else is read
    // word by word until the first name.
    bool tagNameSkipped = startsName(t[next]);
    if (tagNameSkipped) {
        next = nameEnd(t, next);
    }
    // The last name's value is still open: an "=" after it makes the word
    // after that its value; any other word leaves it the name itself.
    bool open = false;
    for (;;) {
        int32_t q = next;
        while (charclass::is(t[q], charclass::WHITESPACE)) {
            ++q;
        }
        if (afterEquals) {
            const AttrWord value = readAttrWord(t, q, limit, true);
            if (open) {
                attributes_.back().value = {value.start, value.end, false};
            }
            open = false;
            afterEquals = false;
            if (value.kind == AttrWord::END) {
                return;
            }
            next = value.next;
            continue;
        }
        const char16_t c = t[q];
        if (charclass::is(c, charclass::STOP_ATTR_NAME)) {
            if (c != u'=') {
                return;  // "/", ">", "?" or the end: an open name keeps itself as its value
            }
            afterEquals = true;
            next = q + 1;
            continue;
        }
        if (c == u'"' || c == u'\'') {
            // A quoted word after no "=" is no value.
            q = scan::toUnitOrEnd(t, q + 1, limit, c);
            next = t[q] != 0 ? q + 1 : q;
            open = false;
            continue;
        }
        const int32_t start = q;
        q = nameEnd(t, q);
        next = q;
        open = false;
        if (!tagNameSkipped) {
            tagNameSkipped = true;
            continue;
        }
        add(start, q - 1);
        // The usual name="value" (or 'value') in one step.
        const char16_t quote = t[q] == u'=' ? t[q + 1] : char16_t(0);
        if (quote == u'"' || quote == u'\'') {
            bool ampersand = false;
            const int32_t close = scan::toUnitOrEndSeeing(t, q + 2, limit, quote, u'&', ampersand);
            attributes_.back().value = {q + 2, close - 1, !ampersand};
            next = t[close] != 0 ? close + 1 : close;
        } else {
            open = true;
        }
    }
}

}  // namespace xml
