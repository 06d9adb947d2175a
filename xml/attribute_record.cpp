#include "xml/attribute_record.h"

#include "xml/attribute_word.h"
#include "xml/tokenizer.h"

namespace xml {

void AttributeRecord::scan(const char16_t* t, int32_t next, int32_t limit) {
    attributes_.clear();
    bool afterEquals = false;
    bool tagNameSkipped = false;
    // The last name's value is still open: an "=" after it makes the word
    // after that its value; any other word leaves it the name itself.
    bool open = false;
    for (;;) {
        int32_t q = next;
        while (charclass::is(t[q], charclass::WHITESPACE)) {
            ++q;
        }
        const char16_t c = t[q];
        if (!afterEquals && !charclass::is(c, charclass::STOP_ATTR_NAME) && c != u'"' && c != u'\'') {
            // A name, read here without going through readAttrWord.
            const int32_t start = q;
            do {
                ++q;
            } while (!charclass::is(t[q], charclass::STOP_ATTR_NAME));
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
                ValueSpan& value = attributes_.back().value;
                bool ampersand = false;
                const int32_t close = scan::toUnitOrEndSeeing(t, q + 2, limit, quote, u'&', ampersand);
                value = {q + 2, close - 1, !ampersand};
                next = t[close] != 0 ? close + 1 : close;
            } else {
                open = true;
            }
            continue;
        }
        const AttrWord word = readAttrWord(t, q, limit, afterEquals);
        next = word.next;
        if (afterEquals) {
            if (open) {
                attributes_.back().value = {word.start, word.end, false};
            }
            open = false;
            afterEquals = false;
            if (word.kind == AttrWord::END) {
                return;
            }
            continue;
        }
        if (word.kind == AttrWord::EQUALS) {
            afterEquals = true;
            continue;
        }
        open = false;
        if (word.kind != AttrWord::QUOTED) {
            return;  // the end of the text, or of the tag
        }
    }
}

bool AttributeRecord::find(const char16_t* text, const char16_t* name, ValueSpan& value) const {
    // tokenIs without a cursor: the recorded name is the token.
    for (const Attribute& a : attributes_) {
        const char16_t* token = text + a.nameStart;
        const char16_t* const end = text + a.nameEnd + 1;
        const char16_t* n = name;
        while (*token == *n && ++token != end) {
            ++n;
        }
        if (token == end && isNameEnd(n[1])) {
            value = a.value;
            return true;
        }
    }
    return false;
}

}  // namespace xml
