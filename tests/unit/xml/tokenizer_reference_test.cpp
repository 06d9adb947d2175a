// The tokenizer and the attribute scan against plain renderings of their
// rules, one code unit per step, on many random texts. The real ones skip
// ordinary code units in bulk and take shortcuts; the results must be equal.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "platform/utf.h"
#include "xml/attribute_record.h"
#include "xml/navigation.h"
#include "xml/tokenizer.h"

namespace xml {
namespace {

struct RefNode {
    int32_t type;
    int32_t length;
    uint32_t flags;
    int32_t nameStart;
    int32_t nameEnd;
};

bool isQuote(char16_t c) { return c == u'"' || c == u'\''; }

// One node from offset start, step by step.
RefNode referenceNode(const char16_t* t, int32_t start) {
    enum Term { NONE, ONE, PI, COMMENT, CDATA };
    enum Open { NO, AFTER_OPEN, AFTER_BANG, AFTER_DASH, AFTER_BRACKET };
    int32_t type = -1;       // the node (or, in a document type, the inner node)
    Term term = NONE;
    Open open = NO;
    bool doctype = false;    // document-type mode
    bool reading = false;    // a name is being read
    int32_t nameFrom = 0;
    bool afterEquals = false, dq = false, sq = false, unquoted = false;
    char16_t literal = 0;
    char16_t prev = 0, prev2 = 0;
    RefNode r{0, 0, 0, 0, -1};
    const auto closeInner = [&]() {
        type = -1;
        term = NONE;
        afterEquals = dq = sq = unquoted = false;
        literal = 0;
    };
    for (int32_t q = start;;) {
        const char16_t c = t[q];
        if (c == 0) {
            r.length = q - start;
            if (q == start) {
                r.type = NODE_END_OF_DOCUMENT;
            } else if (!doctype && (type == NODE_TEXT || type == NODE_WHITESPACE) && open == NO) {
                r.type = type;
            } else {
                r.type = NODE_SYNTAX_ERROR;
            }
            return r;
        }
        if (reading) {
            if (!isTagNameEnd(c)) {
                ++q;
                continue;
            }
            reading = false;
            r.nameStart = nameFrom;
            r.nameEnd = q - 1;
            prev = prev2 = 0;
        }
        if (open == AFTER_OPEN) {
            open = NO;
            if (c == u'/') {
                type = NODE_END_TAG, term = ONE, reading = true, nameFrom = q + 1;
            } else if (c == u'!') {
                open = AFTER_BANG;
            } else if (c == u'?') {
                type = NODE_PROCESSING_INSTRUCTION, term = PI, reading = true, nameFrom = q + 1;
            } else if (isStartTagFirst(c)) {
                type = NODE_START_TAG, term = ONE, reading = true, nameFrom = q;
                continue;  // the name starts here
            } else {
                type = NODE_SYNTAX_ERROR, term = ONE;
                continue;  // the bad code unit belongs to the bad tag
            }
            ++q;
            continue;
        }
        if (open == AFTER_BANG) {
            open = NO;
            if (c == u'-') {
                open = AFTER_DASH;
            } else if (!doctype && c == u'[') {
                open = AFTER_BRACKET;
            } else if (!doctype && c == u'D') {
                doctype = true;
            } else if (doctype && (c == u'A' || c == u'E' || c == u'N')) {
                type = NODE_DOCUMENT_TYPE, term = ONE;
            } else {
                type = NODE_SYNTAX_ERROR, term = ONE;
                continue;
            }
            ++q;
            continue;
        }
        if (open == AFTER_DASH || open == AFTER_BRACKET) {
            const bool ok = open == AFTER_DASH ? c == u'-' : c == u'C';
            open = NO;
            if (!ok) {
                type = NODE_SYNTAX_ERROR, term = ONE;
                continue;
            }
            type = c == u'-' ? NODE_COMMENT : NODE_CDATA_SECTION;
            term = c == u'-' ? COMMENT : CDATA;
            ++q;
            continue;
        }
        if (term == NONE) {
            if (doctype) {
                if (c == u'>') {
                    r.type = NODE_DOCUMENT_TYPE;
                    r.length = q + 1 - start;
                    return r;
                }
                if (c == u'<') {
                    open = AFTER_OPEN;
                }
                ++q;
                continue;
            }
            if (type == -1) {
                if (c == u'<') {
                    open = AFTER_OPEN;
                } else if (isXmlWhitespace(c)) {
                    type = NODE_WHITESPACE;
                } else {
                    type = NODE_TEXT, term = ONE;
                }
                ++q;
                continue;
            }
            // A whitespace run.
            if (c == u'<') {
                r.type = NODE_WHITESPACE;
                r.length = q - start;
                return r;
            }
            if (!isXmlWhitespace(c)) {
                type = NODE_TEXT, term = ONE;
            }
            ++q;
            continue;
        }
        const bool tagLike = type == NODE_START_TAG || type == NODE_SYNTAX_ERROR;
        const bool declaration = doctype && type == NODE_DOCUMENT_TYPE;
        if (c == u'>' && !dq && !sq && literal == 0) {
            bool done = term == ONE;
            if (!done) {
                const int32_t termLength = term == PI ? 2 : 3;
                const char16_t lead = term == PI ? u'?' : term == COMMENT ? u'-' : u']';
                done = q > termLength && t[q - 1] == lead && (termLength == 2 || t[q - 2] == lead);
            }
            if (done) {
                if (doctype) {
                    closeInner();
                    ++q;
                    continue;
                }
                if (type == NODE_START_TAG && prev == u'/' &&
                    (prev2 == 0 || isXmlWhitespace(prev2) || isQuote(prev2) || !unquoted)) {
                    r.flags = EMPTY_ELEMENT;
                }
                r.type = type;
                r.length = q + 1 - start;
                return r;
            }
            ++q;
            continue;
        }
        if (c == u'<' && (type == NODE_TEXT || type == NODE_SYNTAX_ERROR)) {
            if (doctype) {
                closeInner();
                continue;
            }
            r.type = type;
            r.length = q - start;
            return r;
        }
        if (tagLike) {
            if (dq) {
                dq = c != u'"';
            } else if (sq) {
                sq = c != u'\'';
            } else if (c == u'=' && prev != u'=') {
                afterEquals = true;
            } else if (afterEquals) {
                if (isQuote(c)) {
                    (c == u'"' ? dq : sq) = true;
                    afterEquals = unquoted = false;
                } else if (!isXmlWhitespace(c)) {
                    unquoted = true;
                    afterEquals = false;
                }
            } else if (unquoted && isXmlWhitespace(c)) {
                unquoted = false;
            }
            prev2 = prev;
            prev = c;
        } else if (declaration) {
            if (literal != 0) {
                literal = c == literal ? char16_t(0) : literal;
            } else if (isQuote(c)) {
                literal = c;
            }
        }
        ++q;
    }
}

const char16_t* const kMarkup[] = {
    u"<", u">", u"/", u"=", u"'", u"\"", u" ", u"a", u"!", u"-", u"[", u"C", u"D", u"?", u"]",
    u"E", u"\t", u"1", u"\u00e9", u"<a", u"</", u"<!--", u"-->", u"<?", u"?>", u"<![CDATA[",
    u"]]>", u"<!DOCTYPE", u"<!ELEMENT", u"x=1", u"/>", u"==",
};

TEST(TokenizerReference, RandomTexts) {
    std::mt19937 random(7);
    const auto kinds = std::size(kMarkup);
    for (int round = 0; round < 60000; ++round) {
        std::u16string text;
        const int pieces = int(random() % 24);
        for (int i = 0; i < pieces; ++i) {
            text += kMarkup[random() % kinds];
        }
        TokenCursor cursor = cursorAt(text.c_str(), 0);
        TokenCursor bulk = cursorAt(text.c_str(), 0);
        NodeInfo node;
        NodeInfo bulkNode;
        for (int n = 0; n <= int(text.size()); ++n) {
            const RefNode want = referenceNode(text.c_str(), cursor.next);
            const int32_t type = nextNode(cursor, node);
            const int32_t bulkType = nextNode(bulk, bulkNode, int32_t(text.size()) + 1);
            ASSERT_EQ(type, want.type) << platform::utf16ToUtf8(text) << " at " << node.start;
            ASSERT_EQ(node.length, want.length) << platform::utf16ToUtf8(text) << " at " << node.start;
            ASSERT_EQ(node.flags, want.flags) << platform::utf16ToUtf8(text) << " at " << node.start;
            if (type == NODE_START_TAG || type == NODE_END_TAG || type == NODE_PROCESSING_INSTRUCTION) {
                ASSERT_EQ(cursor.tokenStart, want.nameStart) << platform::utf16ToUtf8(text);
                ASSERT_EQ(cursor.tokenEnd, want.nameEnd) << platform::utf16ToUtf8(text);
            }
            ASSERT_EQ(bulkType, type);
            ASSERT_EQ(bulkNode.length, node.length);
            ASSERT_EQ(bulkNode.flags, node.flags);
            if (type == NODE_END_OF_DOCUMENT) {
                break;
            }
        }
    }
}

struct RefAttribute {
    bool found;
    int32_t tokenStart, tokenEnd, next;
    bool quoted;
    int32_t attrStart, attrLead;
};

// The attribute scan pass by pass, over the word scanner.
RefAttribute referenceAttribute(const char16_t* t, int32_t from, const char16_t* name) {
    TokenCursor c = cursorAt(t, from);
    bool found = false, afterEquals = false, skipped = false, quoted = false;
    int32_t foundStart = 0, foundEnd = -1;
    RefAttribute r{};
    const auto result = [&](bool ok, int32_t start, int32_t end, bool q) {
        r.found = ok, r.tokenStart = start, r.tokenEnd = end, r.next = c.next, r.quoted = q;
        return r;
    };
    for (;;) {
        const int32_t passStart = c.next;
        if (!skipWhitespace(c)) {
            if (!found) {
                return result(false, c.tokenStart, c.tokenEnd, false);
            }
            return afterEquals ? result(true, c.next, c.next - 1, false) : result(true, foundStart, foundEnd, false);
        }
        int32_t q = c.next;
        const char16_t first = t[q];
        if (isQuote(first)) {
            ++q;
            while (t[q] != 0 && t[q] != first) {
                ++q;
            }
            c.tokenStart = c.next + 1;
            c.tokenEnd = q - 1;
            c.next = t[q] != 0 ? q + 1 : q;
            quoted = true;
        } else {
            while (t[q] != 0 && !isXmlWhitespace(t[q]) && t[q] != u'>' &&
                   (afterEquals || (t[q] != u'/' && t[q] != u'=' && t[q] != u'?'))) {
                ++q;
            }
            c.next = q == c.next ? q + 1 : q;
            c.tokenEnd = c.next - 1;
            quoted = false;
        }
        if (afterEquals) {
            if (found) {
                return result(true, c.tokenStart, c.tokenEnd, quoted);
            }
            afterEquals = false;
            continue;
        }
        if (quoted) {
            if (found) {
                return result(true, foundStart, foundEnd, false);
            }
            continue;
        }
        if (c.tokenEnd == c.tokenStart && first == u'=') {
            afterEquals = true;
            continue;
        }
        if (c.tokenEnd == c.tokenStart && (first == u'>' || first == u'/' || first == u'?')) {
            c.next = passStart;
            return found ? result(true, foundStart, foundEnd, false) : result(false, c.tokenStart, c.tokenEnd, false);
        }
        if (!skipped) {
            skipped = true;
            continue;
        }
        if (found) {
            return result(true, foundStart, foundEnd, false);
        }
        if (tokenIs(c, name)) {
            found = true;
            foundStart = c.tokenStart;
            foundEnd = c.tokenEnd;
            r.attrStart = passStart;
            r.attrLead = c.tokenStart - passStart;
        }
    }
}

const char16_t* const kTag[] = {
    u" ", u"a", u"b", u"ab", u"=", u"'", u"\"", u"x", u"/", u">", u"?", u"\t", u"a='v'", u"b=\"w\"",
    u"a=", u"=b", u"'q'", u" = ", u"a=v/", u"<", u"&", u"a='&amp;'",
};

// Mostly the usual attributes, so that many tags come out plain; the rest
// break the plain form in one place.
const char16_t* const kPlainTag[] = {
    u" a='v'", u" b=\"w\"", u"\t ab=\"&amp;x\"", u" x='>/'", u" a=\"\"", u"\r\nb='q\"'", u" \u00e9=\"\u4e2d\"",
    u" a='bin\\plugins\\group12\\module1234.dll'", u" b=\"0123456789abcdef0123&amp;\"",
    u" ", u">", u"/>", u" />", u"/", u" =", u"'", u" a = 'v'", u" a 'v'", u"b='w'", u" a=v", u"?", u"<",
};

// findAttribute, the record of a tag's attributes that serves repeated
// lookups, and the attributes the tokenizer reads off a plain tag, against
// the reference.
TEST(FindAttributeReference, RandomTags) {
    std::mt19937 random(11);
    const char16_t* const names[] = {u"a", u"b", u"ab", u"x", u"file", u"a[1]", u"\u00e9"};
    int plainTags = 0;
    for (int round = 0; round < 60000; ++round) {
        // Now and then the tag name is missing, so that any word may come first.
        std::u16string text = round % 4 == 0 ? u"<" : u"<file";
        const bool mostlyPlain = round % 2 == 1;
        const auto kinds = mostlyPlain ? std::size(kPlainTag) : std::size(kTag);
        const int pieces = int(random() % 12);
        for (int i = 0; i < pieces; ++i) {
            const std::size_t k = random() % kinds;
            text += mostlyPlain ? kPlainTag[k < 10 || random() % 4 != 0 ? k % 9 : k] : kTag[k];
        }
        if (mostlyPlain) {
            text += random() % 2 == 0 ? u">" : u"/>";
        }
        AttributeRecord records[2];
        records[0].scan(text.c_str(), 1, 0);
        records[1].scan(text.c_str(), 1, int32_t(text.size()) + 1);
        PlainTag plain;
        TokenCursor cursor = cursorAt(text.c_str(), 0);
        NodeInfo node;
        const bool isPlain = nextNode(cursor, node, int32_t(text.size()) + 1, plain) == NODE_START_TAG &&
                             plain.count >= 0;
        plainTags += isPlain ? 1 : 0;
        for (const char16_t* name : names) {
            const RefAttribute want = referenceAttribute(text.c_str(), 1, name);
            const std::string where = platform::utf16ToUtf8(text) + " / " + platform::utf16ToUtf8(name);
            if (isPlain) {
                ValueSpan value, recorded;
                ASSERT_EQ(findSpan(plain.attributes, plain.attributes + plain.count, text.c_str(), name, value),
                          records[1].find(text.c_str(), name, recorded))
                    << where;
                ASSERT_TRUE(value.first == recorded.first && value.last == recorded.last &&
                            value.plain == recorded.plain)
                    << where;
            }
            for (const AttributeRecord& record : records) {
                ValueSpan value;
                ASSERT_EQ(record.find(text.c_str(), name, value), want.found) << where;
                if (want.found) {
                    ASSERT_EQ(value.first, want.tokenStart) << where;
                    ASSERT_EQ(value.last, want.tokenEnd) << where;
                    const auto begin = text.begin() + value.first;
                    ASSERT_TRUE(!value.plain || std::find(begin, begin + (value.last - value.first + 1), u'&') ==
                                                    begin + (value.last - value.first + 1))
                        << where;
                }
            }
            for (const int32_t limit : {0, int32_t(text.size()) + 1}) {
                TokenCursor c = cursorAt(text.c_str(), 1);
                const bool found = findAttribute(c, name, limit);
                ASSERT_EQ(found, want.found) << where;
                ASSERT_EQ(c.next, want.next) << where;
                if (found) {
                    ASSERT_EQ(c.tokenStart, want.tokenStart) << where;
                    ASSERT_EQ(c.tokenEnd, want.tokenEnd) << where;
                    ASSERT_EQ((c.flags & CURSOR_QUOTED) != 0, want.quoted) << where;
                    ASSERT_EQ(c.attrStart, want.attrStart) << where;
                    ASSERT_EQ(c.attrLead, want.attrLead) << where;
                }
            }
        }
    }
    EXPECT_GT(plainTags, 10000);
}

}  // namespace
}  // namespace xml
