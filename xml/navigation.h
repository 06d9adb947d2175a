// Reading a parsed document: element paths, attribute lookup in a start tag,
// and reference decoding (entities.h).
#pragma once

#include <cstdint>

#include "xml/entities.h"
#include "xml/tokenizer.h"

namespace xml {

// The argument of XmlDoc::findElement, validated as a path.
struct ElementPath {
    static constexpr int32_t INVALID = -1;
    static constexpr int32_t NO_NAME = 0;   // null or empty: any element
    static constexpr int32_t RELATIVE = 1;  // "name..."
    static constexpr int32_t ROOTED = 2;    // "/name..."
    static constexpr int32_t ANYWHERE = 3;  // "//name..."

    int32_t kind = NO_NAME;
    int32_t firstName = 0;  // offset of the first step's name in the argument
};

// Validates path: steps of a name and at most one predicate ("[3]", "[@a]",
// "[@a='v']", "[b]"), separated by "/", optionally ending in "/@attr".
ElementPath parseElementPath(const char16_t* path);

// Reads the tag at cursor.next (just behind its "<") word by word for the
// attribute name. On true the cursor's token is the value: the attribute's
// own name for an attribute without "=". attrStart and attrLead give the
// whitespace in front of the attribute; CURSOR_QUOTED tells a quoted value.
bool findAttribute(TokenCursor& cursor, const char16_t* name);
// The same, allowed to read the first limit code units of the text in any order.
bool findAttribute(TokenCursor& cursor, const char16_t* name, int32_t limit);

}  // namespace xml
