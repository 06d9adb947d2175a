// What the parse of a document found wrong first, and where an offset of its
// text lies in lines and columns, so that whoever wrote it can fix it.
#pragma once

#include <cstdint>
#include <string_view>

namespace xml {

enum class FaultKind {
    kNone,             // well formed
    kSyntaxError,      // a tag that starts wrongly, or a node the end of the text leaves open
    kLoneEndTag,       // an end tag that matches no open element
    kUnendedElement,   // an element closed by an outer end tag or by the end of the text
    kStartTagTooLong,  // longer than a record holds (ElemPos::START_TAG_MAX)
    kEndTagTooLong,    // longer than ElemPos::END_TAG_MAX, on an end tag that closes an element
    kTooDeep,          // an element nested deeper than ElemPos::LEVEL_MAX levels
    kTextTooLong,      // a text whose offsets do not fit in 32 bits; nothing is indexed
    kNoElement,        // the top level holds text or nothing, but no element
    kSecondElement,    // a second top-level element
};

// The faults of the markup (all kinds up to kTextTooLong) are noted as the
// parse meets them, and the one that begins first in the text is kept; the
// top level is judged only when the markup has none.
struct ParseFault {
    FaultKind kind = FaultKind::kNone;
    int32_t offset = -1;  // where the faulty markup begins; -1 when no place is at fault
    int32_t length = 0;   // its code units: the node, or an element's start tag
    int32_t element = 0;  // the element concerned (unended, too deep, its start tag too long, second); 0: none
};

struct TextPosition {
    int32_t line;    // from 1; lines end at LF, CR LF or a lone CR
    int32_t column;  // from 1, in UTF-16 code units
};

TextPosition textPosition(std::u16string_view text, int32_t offset);

}  // namespace xml
