// Where an attribute's name and value lie in a document's text, as the
// attribute scan reads them.
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

}  // namespace xml
