#include "xml/encoding_detect.h"

#include "xml/navigation.h"
#include "xml/tokenizer.h"

#include <optional>

namespace xml {

namespace {

// Names in declarations are compared ignoring ASCII case.
TokenCursor declarationCursor(const char16_t* text, int32_t offset) {
    return cursorAt(text, offset, CURSOR_IGNORE_CASE);
}

std::u16string tokenText(const TokenCursor& cursor, int32_t end) {
    const int32_t stop = cursor.tokenEnd + 1 < end ? cursor.tokenEnd + 1 : end;
    return std::u16string(cursor.text + cursor.tokenStart, static_cast<std::size_t>(stop - cursor.tokenStart));
}

// For <meta http-equiv="Content-Type" content="...; charset=X">: X, or empty
// when the content names no charset. Nothing for any other meta element,
// which the search passes over. afterOpen is the offset just behind the "<".
std::optional<std::u16string> metaCharset(const char16_t* text, int32_t afterOpen) {
    TokenCursor equiv = declarationCursor(text, afterOpen);
    if (!findAttribute(equiv, u"http-equiv") || !tokenIs(equiv, u"Content-Type")) {
        return std::nullopt;
    }
    TokenCursor content = declarationCursor(text, afterOpen);
    if (!findAttribute(content, u"content")) {
        return std::u16string();
    }
    // Scan the words of the value, never past its end.
    const int32_t end = content.tokenEnd + 1;
    TokenCursor scan = declarationCursor(text, content.tokenStart);
    bool afterCharset = false;
    bool afterEquals = false;
    while (scan.next < end && nextToken(scan) && scan.tokenStart < end) {
        if (afterEquals) {
            return tokenText(scan, end);
        }
        if (afterCharset && tokenIs(scan, u"=")) {
            afterEquals = true;
            continue;
        }
        afterCharset = tokenIs(scan, u"charset");
    }
    return std::u16string();
}

}  // namespace

std::u16string detectEncoding(const char16_t* text) {
    TokenCursor cursor = declarationCursor(text, 0);
    NodeInfo node;
    bool htmlSeen = false;
    for (;;) {
        switch (nextNode(cursor, node)) {
        case NODE_PROCESSING_INSTRUCTION:
            // Only a declaration at the very start counts.
            if (node.start == 0) {
                TokenCursor pi = declarationCursor(text, 2);
                if (nextToken(pi) && tokenIs(pi, u"xml")) {
                    TokenCursor attr = declarationCursor(text, 2);
                    return findAttribute(attr, u"encoding") ? tokenText(attr, attr.tokenEnd + 1) : std::u16string();
                }
            }
            break;
        case NODE_END_TAG: {
            TokenCursor name = declarationCursor(text, node.start + 2);
            if (nextToken(name) && tokenIs(name, u"head")) {
                return {};
            }
            break;
        }
        case NODE_START_TAG: {
            TokenCursor name = declarationCursor(text, node.start + 1);
            nextToken(name);
            if (!htmlSeen) {
                // A document whose first element is not html declares nothing here.
                if (!tokenIs(name, u"html")) {
                    return {};
                }
                htmlSeen = true;
            } else if (tokenIs(name, u"meta")) {
                if (auto charset = metaCharset(text, node.start + 1)) {
                    return *charset;
                }
            }
            break;
        }
        case NODE_SYNTAX_ERROR:
        case NODE_END_OF_DOCUMENT:
            return {};
        default:
            break;
        }
    }
}

}  // namespace xml
