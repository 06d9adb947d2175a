// Where an attribute's name and value lie in a document's text, as the
// attribute scan reads them, and the lookup of a name among such spans.
#pragma once

#include <cstdint>

namespace xml {

struct ValueSpan {
    int32_t first = 0;
    int32_t last = -1;   // first - 1 for an empty value
    bool plain = false;  // known to hold no "&", so no reference to decode
};

struct AttributeSpan {
    int32_t nameStart;
    int32_t nameEnd;  // its last code unit
    ValueSpan value;
};

// What findAttribute gives for name over a tag whose attributes are
// [begin, end), in the order of the tag: false when it fails, else the
// value's span. A name may repeat; the first one counts.
bool findSpan(const AttributeSpan* begin, const AttributeSpan* end, const char16_t* text, const char16_t* name,
              ValueSpan& value);

}  // namespace xml
