#include "xml/tokenizer.h"

#include "xml/char_class.h"
#include "xml/scan.h"

namespace xml {

namespace {

// Where a node body scan stopped.
struct ScanEnd {
    int32_t pos;  // offset just behind the node
    bool closed;  // false: the end of the text came first
};

// Reads a tag name that starts at q, looking for the first tag-name-end code
// unit from "from" on (the units between are known to end no name), and
// leaves the name in the cursor's token. Returns the offset of that code
// unit (or of the end).
int32_t readName(TokenCursor& cursor, int32_t q, int32_t from) {
    const char16_t* t = cursor.text;
    while (!charclass::is(t[from], charclass::STOP_TAG_NAME)) {
        ++from;
    }
    if (t[from] != 0) {
        cursor.tokenStart = q;
        cursor.tokenEnd = from - 1;
    }
    return from;
}

int32_t readName(TokenCursor& cursor, int32_t q) { return readName(cursor, q, q); }

// readName for a start tag, whose first code unit at q ends no name: a
// vector step finds the end of most names at once. The units of the name
// before checked are known to hold nothing that makes a tag not plain.
int32_t readStartTagName(TokenCursor& cursor, int32_t q, int32_t limit, int32_t& checked) {
    checked = scan::toNameEnd(cursor.text, q + 1, limit);
    return readName(cursor, q, checked);
}

// Scans to the first ">" (end tags): quotes do not protect it there.
ScanEnd scanToClose(const char16_t* t, int32_t q) {
    for (;; ++q) {
        if (t[q] == u'>') {
            return {q + 1, true};
        }
        if (t[q] == 0) {
            return {q, false};
        }
    }
}

// Scans to a ">" preceded by lead (one or two code units): the end of a
// processing instruction ("?>"), comment ("-->") or CDATA section ("]]>").
// The lead may belong to the opening ("<!-->" is a whole comment), but the
// ">" must lie at an offset of the text greater than the terminator's length:
// "<?>" at the very start is not closed by its own "?", anywhere else it is.
ScanEnd scanToTerminator(const char16_t* t, int32_t q, char16_t lead, int32_t termLength) {
    for (;; ++q) {
        const char16_t c = t[q];
        if (c == u'>') {
            if (q > termLength && t[q - 1] == lead &&
                (termLength == 2 || t[q - 2] == lead)) {
                return {q + 1, true};
            }
        } else if (c == 0) {
            return {q, false};
        }
    }
}

// Attribute syntax of a start tag or of a bad tag: a ">" inside a quoted value
// does not end the tag. base is the first offset scanned here; the code units
// before it do not count as previous characters. A start tag gets
// EMPTY_ELEMENT in *nodeFlags when it ends with a "/" that does not belong to
// an unquoted value. A bad tag (nodeFlags null) also ends before a "<", even
// inside a quoted value. The first limit code units of t may be read at once.
ScanEnd scanTag(const char16_t* t, int32_t base, uint32_t* nodeFlags, int32_t limit) {
    const bool badTag = nodeFlags == nullptr;
    bool unquoted = false;  // inside an unquoted value
    int32_t q = base;
    for (;;) {
        char16_t c = t[q];
        if (!charclass::is(c, charclass::STOP_TAG_BODY)) {
            ++q;
            continue;
        }
        switch (c) {
        case 0:
            return {q, false};
        case u'>':
            if (!badTag && q - 1 >= base && t[q - 1] == u'/') {
                const char16_t beforeSlash = q - 2 >= base ? t[q - 2] : char16_t(0);
                if (!unquoted || beforeSlash == 0 || isXmlWhitespace(beforeSlash) ||
                    beforeSlash == u'"' || beforeSlash == u'\'') {
                    *nodeFlags = EMPTY_ELEMENT;
                }
            }
            return {q + 1, true};
        case u'<':
            if (badTag) {
                return {q, true};
            }
            ++q;
            continue;
        case u'=':
            break;
        default:  // whitespace
            unquoted = false;
            ++q;
            continue;
        }
        // "=": a value follows, unless this "=" itself follows an "=" (then it
        // starts an unquoted value). Whitespace before the value is skipped,
        // and an "=" after whitespace just repeats the "=".
        if (q - 1 >= base && t[q - 1] == u'=') {
            unquoted = true;
            ++q;
            continue;
        }
        ++q;
        for (;;) {
            c = t[q];
            // The usual quote first: the cases exclude each other.
            if (c == u'"' || c == u'\'') {
                unquoted = false;
                ++q;
                if (badTag) {
                    while (t[q] != c && t[q] != 0 && t[q] != u'<') {
                        ++q;
                    }
                } else {
                    q = scan::toUnitOrEnd(t, q, limit, c);
                }
                if (t[q] == c) {
                    ++q;
                }
                break;
            } else if (isXmlWhitespace(c)) {
                ++q;
            } else if (c == u'=' && !isXmlWhitespace(t[q - 1])) {
                unquoted = true;
                ++q;
                break;
            } else if (c == u'=') {
                ++q;
            } else {
                if (c != 0 && c != u'>' && !(badTag && c == u'<')) {
                    unquoted = true;
                    ++q;
                }
                break;
            }
        }
    }
}

// A start tag from its name's end q, if it is plain (see PlainTag): fills
// plain and nodeFlags and returns where the tag ends, else -1. The tag
// name's units from checkFrom to q are yet to be checked.
int32_t scanPlainTag(const char16_t* t, int32_t checkFrom, int32_t q, int32_t limit, PlainTag& plain,
                     uint32_t& nodeFlags) {
    for (int32_t i = checkFrom; i < q; ++i) {
        if (charclass::is(t[i], charclass::STOP_PLAIN_NAME)) {
            return -1;
        }
    }
    int32_t count = 0;
    for (;;) {
        char16_t c = t[q];
        if (charclass::is(c, charclass::WHITESPACE)) {
            do {
                ++q;
            } while (charclass::is(t[q], charclass::WHITESPACE));
            c = t[q];
            if (!charclass::is(c, charclass::STOP_PLAIN_NAME)) {
                const int32_t attributeName = q;
                q = scan::toNameEnd(t, q + 1, limit);
                while (!charclass::is(t[q], charclass::STOP_PLAIN_NAME)) {
                    ++q;
                }
                if (t[q] != u'=' || count == PlainTag::MAX_ATTRIBUTES) {
                    return -1;
                }
                const char16_t quote = t[q + 1];
                if (quote != u'"' && quote != u'\'') {
                    return -1;
                }
                bool ampersand = false;
                const int32_t close = scan::toUnitOrEndSeeing(t, q + 2, limit, quote, u'&', ampersand);
                if (t[close] == 0) {
                    return -1;
                }
                plain.attributes[count++] = {attributeName, q - 1, {q + 2, close - 1, !ampersand}};
                q = close + 1;
                continue;
            }
        }
        if (c == u'/' && t[q + 1] == u'>') {
            nodeFlags = EMPTY_ELEMENT;
            plain.count = count;
            return q + 2;
        }
        if (c == u'>') {
            plain.count = count;
            return q + 1;
        }
        return -1;
    }
}

// An inner node of a document type, starting at the "<" at q. Returns where
// scanning of the document type goes on.
ScanEnd scanDoctypeInner(TokenCursor& cursor, int32_t q, int32_t limit) {
    const char16_t* t = cursor.text;
    const char16_t c = t[q + 1];
    if (c == u'/') {
        return scanToClose(t, readName(cursor, q + 2));
    }
    if (c == u'?') {
        return scanToTerminator(t, readName(cursor, q + 2), u'?', 2);
    }
    if (isStartTagFirst(c)) {
        uint32_t ignored = 0;
        return scanTag(t, readName(cursor, q + 1), &ignored, limit);
    }
    if (c != u'!') {
        return scanTag(t, q + 1, nullptr, 0);
    }
    const char16_t d = t[q + 2];
    if (d == u'-') {
        if (t[q + 3] == u'-') {
            return scanToTerminator(t, q + 4, u'-', 3);
        }
        return scanTag(t, q + 3, nullptr, 0);
    }
    if (d == u'A' || d == u'E' || d == u'N') {
        // A markup declaration: quoted literals protect ">", each kind of
        // quote ignored inside the other.
        char16_t literal = 0;
        for (int32_t p = q + 3;; ++p) {
            const char16_t e = t[p];
            if (e == 0) {
                return {p, false};
            }
            if (literal != 0) {
                if (e == literal) {
                    literal = 0;
                }
            } else if (e == u'"' || e == u'\'') {
                literal = e;
            } else if (e == u'>') {
                return {p + 1, true};
            }
        }
    }
    return scanTag(t, q + 2, nullptr, 0);
}

// The body of a document type after "<!D": inner declarations, comments and
// tags are skipped as units; the first ">" outside them ends the node.
ScanEnd scanDoctype(TokenCursor& cursor, int32_t q, int32_t limit) {
    const char16_t* t = cursor.text;
    for (;;) {
        const char16_t c = t[q];
        if (c == u'>') {
            return {q + 1, true};
        }
        if (c == 0) {
            return {q, false};
        }
        if (c == u'<') {
            const ScanEnd inner = scanDoctypeInner(cursor, q, limit);
            if (!inner.closed) {
                return inner;
            }
            q = inner.pos;
        } else {
            ++q;
        }
    }
}

}  // namespace

int32_t nextNode(TokenCursor& cursor, NodeInfo& node) {
    return nextNode(cursor, node, 0);
}

int32_t nextNode(TokenCursor& cursor, NodeInfo& node, int32_t limit) {
    PlainTag ignored;
    return nextNode(cursor, node, limit, ignored);
}

int32_t nextNode(TokenCursor& cursor, NodeInfo& node, int32_t limit, PlainTag& plain) {
    const char16_t* t = cursor.text;
    const int32_t start = cursor.next;
    int32_t q = start;
    node.start = start;
    node.flags = 0;

    int32_t type;
    ScanEnd end;
    char16_t c = t[q];
    if (c == 0) {
        type = NODE_END_OF_DOCUMENT;
        end = {q, true};
    } else if (c != u'<') {
        // Whitespace, then text: text ends before "<" or after a ">" that is
        // not its first non-whitespace code unit.
        type = NODE_WHITESPACE;
        while (isXmlWhitespace(t[q])) {
            ++q;
        }
        if (t[q] != u'<' && t[q] != 0) {
            type = NODE_TEXT;
            ++q;
            for (;;) {
                c = t[q];
                if (c == u'<' || c == 0) {
                    break;
                }
                ++q;
                if (c == u'>') {
                    break;
                }
            }
        }
        end = {q, true};
    } else {
        c = t[q + 1];
        if (isStartTagFirst(c)) {
            type = NODE_START_TAG;
            int32_t checked = 0;
            const int32_t nameEnd = readStartTagName(cursor, q + 1, limit, checked);
            plain.count = -1;
            const int32_t plainEnd = scanPlainTag(t, checked, nameEnd, limit, plain, node.flags);
            end = plainEnd >= 0 ? ScanEnd{plainEnd, true} : scanTag(t, nameEnd, &node.flags, limit);
        } else if (c == u'/') {
            type = NODE_END_TAG;
            end = scanToClose(t, readName(cursor, q + 2));
        } else if (c == u'?') {
            type = NODE_PROCESSING_INSTRUCTION;
            end = scanToTerminator(t, readName(cursor, q + 2), u'?', 2);
        } else if (c != u'!') {
            type = NODE_SYNTAX_ERROR;
            end = scanTag(t, q + 1, nullptr, 0);
        } else {
            const char16_t d = t[q + 2];
            if (d == u'-' && t[q + 3] == u'-') {
                type = NODE_COMMENT;
                end = scanToTerminator(t, q + 4, u'-', 3);
            } else if (d == u'[' && t[q + 3] == u'C') {
                type = NODE_CDATA_SECTION;
                end = scanToTerminator(t, q + 4, u']', 3);
            } else if (d == u'D') {
                type = NODE_DOCUMENT_TYPE;
                end = scanDoctype(cursor, q + 3, limit);
            } else {
                // "<!" followed by something else, or "<!-" / "<![" cut short:
                // the code unit that broke the pattern is scanned as part of
                // the bad tag.
                type = NODE_SYNTAX_ERROR;
                end = scanTag(t, d == u'-' || d == u'[' ? q + 3 : q + 2, nullptr, 0);
            }
        }
        if (!end.closed) {
            type = NODE_SYNTAX_ERROR;
        }
    }
    cursor.next = end.pos;
    node.length = end.pos - start;
    node.type = type;
    return type;
}

}  // namespace xml
