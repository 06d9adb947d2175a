// The attributes of one start tag as the attribute scan (findAttribute) meets
// them, each name with the value a lookup of it gives. One scan of the tag
// serves every later lookup on it: the text never changes under a document.
#pragma once

#include <cstdint>
#include <vector>

#include "xml/attribute_span.h"
#include "xml/tokenizer.h"

namespace xml {

// What findAttribute gives for name over a tag whose attributes are
// [begin, end), in the order of the tag: false when it fails, else the
// value's span. A name may repeat; the first one counts.
inline bool findSpan(const AttributeSpan* begin, const AttributeSpan* end, const char16_t* text,
                     const char16_t* name, ValueSpan& value) {
    // tokenIs without a cursor: the recorded name is the token.
    for (const AttributeSpan* a = begin; a != end; ++a) {
        const char16_t* token = text + a->nameStart;
        const char16_t* const tokenEnd = text + a->nameEnd + 1;
        const char16_t* n = name;
        while (*token == *n && ++token != tokenEnd) {
            ++n;
        }
        if (token == tokenEnd && isNameEnd(n[1])) {
            value = a->value;
            return true;
        }
    }
    return false;
}

class AttributeRecord {
public:
    // Reads the tag whose words begin at next (just behind its "<") to where
    // the scan of a name that is not there would stop. The first limit code
    // units of text may be read in any order.
    void scan(const char16_t* text, int32_t next, int32_t limit);
    // What findAttribute gives for name over the scanned tag: false when it
    // fails, else the value's span.
    bool find(const char16_t* text, const char16_t* name, ValueSpan& value) const {
        return findSpan(attributes_.data(), attributes_.data() + attributes_.size(), text, name, value);
    }

private:
    void add(int32_t nameStart, int32_t nameEnd) { attributes_.push_back({nameStart, nameEnd, {nameStart, nameEnd, false}}); }

    std::vector<AttributeSpan> attributes_;  // in the order of the tag; a name may repeat
};

}  // namespace xml
