// The tokenizer: cuts a zero-terminated UTF-16 document text into nodes, one
// per call, and scans the words of a tag. It never stops on bad markup; a
// fault comes back as a NODE_SYNTAX_ERROR node so the parser can go on.
// Offsets and lengths count UTF-16 code units from the start of the text.
#pragma once

#include <cstdint>

#include "xml/attribute_span.h"
#include "xml/char_class.h"

namespace xml {

// Cursor over a document text, made by cursorAt; lives on the stack of
// whoever scans.
struct TokenCursor {
    int32_t tokenStart = 0;  // first code unit of the current token or name
    int32_t tokenEnd = -1;   // its last code unit (tokenStart - 1 when empty)
    int32_t next = 0;        // where the next scan begins
    const char16_t* text = nullptr;  // the document text, not owned
    uint32_t flags = 0;      // CURSOR_* bits; the rest is the document's flags
    int32_t attrStart = 0;   // findAttribute: offset of the whitespace before the name
    int32_t attrLead = 0;    // findAttribute: length of that whitespace
};

// Cursor flag bits.
inline constexpr uint32_t CURSOR_IGNORE_CASE = 0x8;  // tokenIs folds ASCII letters
inline constexpr uint32_t CURSOR_QUOTED = 0x8000;    // the last attribute value was quoted

// A cursor whose next scan begins at offset next of text, with no token yet.
constexpr TokenCursor cursorAt(const char16_t* text, int32_t next, uint32_t flags = 0) {
    TokenCursor cursor;
    cursor.text = text;
    cursor.next = next;
    cursor.flags = flags;
    return cursor;
}

// One node as nextNode reports it.
struct NodeInfo {
    int32_t type = 0;
    int32_t start = 0;
    int32_t length = 0;
    uint32_t flags = 0;  // EMPTY_ELEMENT only
};

// The attributes of a plain start tag, the usual form: behind the tag name,
// each attribute is whitespace, a name, "=" and a quoted value; then comes
// any whitespace and ">" or "/>". Neither name holds whitespace, a quote or
// one of "/" "=" ">" "?" "<". Every reading of such a tag agrees on where its
// attributes lie, so the spans are what the attribute scan would record.
struct PlainTag {
    static constexpr int32_t MAX_ATTRIBUTES = 8;
    int32_t count = -1;  // -1: the last start tag read was not plain, or had more attributes
    AttributeSpan attributes[MAX_ATTRIBUTES];
};

// Node types. The values are fixed: callers compare against them.
inline constexpr int32_t NODE_END_TAG = 0;
inline constexpr int32_t NODE_START_TAG = 1;
inline constexpr int32_t NODE_TEXT = 2;
inline constexpr int32_t NODE_WHITESPACE = 4;
inline constexpr int32_t NODE_CDATA_SECTION = 8;
inline constexpr int32_t NODE_PROCESSING_INSTRUCTION = 16;
inline constexpr int32_t NODE_COMMENT = 32;
inline constexpr int32_t NODE_DOCUMENT_TYPE = 64;
inline constexpr int32_t NODE_SYNTAX_ERROR = -1;
inline constexpr int32_t NODE_END_OF_DOCUMENT = -2;

// NodeInfo flag: the start tag ends with "/>".
inline constexpr uint32_t EMPTY_ELEMENT = 0x10000;

// Character classes, on single code units.
constexpr bool isXmlWhitespace(char16_t c) {
    return c == u' ' || c == u'\n' || c == u'\r' || c == u'\t';
}
constexpr bool isTagNameEnd(char16_t c) {
    return isXmlWhitespace(c) || c == u'/' || c == u'>';
}
constexpr bool isTokenDelimiter(char16_t c) {
    switch (c) {
    case u'\t': case u'\n': case u'\r': case u' ':
    case u'!': case u'"': case u'\'': case u'/': case u';':
    case u'<': case u'=': case u'>': case u'?': case u'\\':
        return true;
    default:
        return false;
    }
}
constexpr bool isNameEnd(char16_t c) {
    return c == 0 || c == u' ' || c == u'/' || c == u'=' || c == u'[' || c == u']';
}
constexpr bool isStartTagFirst(char16_t c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u'_' || c == u':' ||
           c > u'z';
}

// Reads the node at cursor.next into node, moves cursor.next behind it and
// returns its type. For start tags, end tags and processing instructions the
// name is left in cursor.tokenStart..tokenEnd. Every node but the end of the
// document is at least one code unit long.
int32_t nextNode(TokenCursor& cursor, NodeInfo& node);
// The same, allowed to read the first limit code units of the text in any
// order (the text's length + 1 for the whole zero-terminated text), which
// lets it search several code units at a time.
int32_t nextNode(TokenCursor& cursor, NodeInfo& node, int32_t limit);
// The same, also filling plain for each start tag.
int32_t nextNode(TokenCursor& cursor, NodeInfo& node, int32_t limit, PlainTag& plain);

// Skips whitespace; the token becomes empty at next. False at the end of the text.
inline bool skipWhitespace(TokenCursor& cursor) {
    const char16_t* t = cursor.text;
    int32_t q = cursor.next;
    while (charclass::is(t[q], charclass::WHITESPACE)) {
        ++q;
    }
    cursor.next = q;
    cursor.tokenStart = q;
    cursor.tokenEnd = q - 1;
    return t[q] != 0;
}

// Reads the next word: up to the first token delimiter, or the delimiter itself
// when the word would be empty. False at the end of the text.
inline bool nextToken(TokenCursor& cursor) {
    if (!skipWhitespace(cursor)) {
        return false;
    }
    const char16_t* t = cursor.text;
    int32_t q = cursor.next;
    while (!charclass::is(t[q], charclass::STOP_WORD)) {
        ++q;
    }
    if (q == cursor.next) {
        ++q;
    }
    cursor.next = q;
    cursor.tokenEnd = q - 1;
    return true;
}

// True when the current token equals the first (token length) code units of
// name and name's following code unit is in the name-end class. With
// CURSOR_IGNORE_CASE, ASCII letters compare ignoring case.
inline bool tokenIs(const TokenCursor& cursor, const char16_t* name) {
    if (name == nullptr) {
        return false;
    }
    const char16_t* token = cursor.text + cursor.tokenStart;
    const int32_t length = cursor.tokenEnd - cursor.tokenStart + 1;
    int32_t i = 0;
    while (i < length && token[i] == name[i]) {
        ++i;
    }
    if (i < length && (cursor.flags & CURSOR_IGNORE_CASE) != 0) {
        for (; i < length; ++i) {
            char16_t a = token[i];
            char16_t b = name[i];
            if (a >= u'A' && a <= u'Z') {
                a = char16_t(a + 32);
            }
            if (b >= u'A' && b <= u'Z') {
                b = char16_t(b + 32);
            }
            if (a != b) {
                return false;
            }
        }
    }
    return i == length && isNameEnd(name[length]);
}

}  // namespace xml
