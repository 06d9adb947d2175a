// The attributes of one start tag as the attribute scan (findAttribute) meets
// them, each name with the value a lookup of it gives. One scan of the tag
// serves every later lookup on it: the text never changes under a document.
#pragma once

#include <cstdint>
#include <vector>

#include "xml/attribute_span.h"

namespace xml {

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
