#include "xml/navigation.h"

#include "xml/xml_doc.h"

namespace {

// A name in a path runs to the first name-end code unit; it must not be empty.
int32_t skipPathName(const char16_t* path, int32_t i) {
    while (!isNameEnd(path[i])) {
        ++i;
    }
    return i;
}

// One step at i: a name and at most one predicate. Returns the offset behind
// it, or -1 when the step is malformed.
int32_t skipPathStep(const char16_t* path, int32_t i) {
    const int32_t nameEnd = skipPathName(path, i);
    if (nameEnd == i) {
        return -1;
    }
    i = nameEnd;
    if (path[i] != u'[') {
        return i;
    }
    ++i;
    if (path[i] >= u'1' && path[i] <= u'9') {
        while (path[i] >= u'0' && path[i] <= u'9') {
            ++i;
        }
    } else if (path[i] == u'@') {
        const int32_t attrEnd = skipPathName(path, i + 1);
        if (attrEnd == i + 1) {
            return -1;
        }
        i = attrEnd;
        if (path[i] == u'=') {
            ++i;
            const char16_t quote = path[i];
            if (quote == u'\'' || quote == u'"') {
                ++i;
                while (path[i] != 0 && path[i] != quote) {
                    ++i;
                }
                if (path[i] == 0) {
                    return -1;
                }
                ++i;
            } else {
                while (path[i] != 0 && path[i] != u']') {
                    ++i;
                }
            }
        }
    } else {
        const int32_t end = skipPathName(path, i);
        if (end == i) {
            return -1;
        }
        i = end;
    }
    return path[i] == u']' ? i + 1 : -1;
}

}  // namespace

ElementPath parseElementPath(const char16_t* path) {
    ElementPath result;
    if (path == nullptr || path[0] == 0) {
        return result;
    }
    int32_t i = 0;
    result.kind = ElementPath::RELATIVE;
    if (path[0] == u'/') {
        i = path[1] == u'/' ? 2 : 1;
        result.kind = i == 2 ? ElementPath::ANYWHERE : ElementPath::ROOTED;
    }
    result.firstName = i;
    const int32_t kind = result.kind;
    result.kind = ElementPath::INVALID;
    for (;;) {
        i = skipPathStep(path, i);
        if (i < 0) {
            return result;
        }
        if (path[i] == 0) {
            break;
        }
        if (path[i] != u'/' || kind == ElementPath::ANYWHERE) {
            return result;
        }
        ++i;
        if (path[i] == u'@') {
            const int32_t end = skipPathName(path, i + 1);
            if (end > i + 1 && path[end] == 0) {
                break;
            }
            return result;
        }
    }
    result.kind = kind;
    return result;
}

bool findAttribute(TokenCursor& cursor, const char16_t* name) {
    const char16_t* t = cursor.text;
    bool found = false;
    bool afterEquals = false;
    bool tagNameSkipped = false;
    int32_t foundStart = 0;
    int32_t foundEnd = -1;
    // Success with the found name itself as the value: an attribute without "=".
    const auto nameAsValue = [&]() {
        cursor.tokenStart = foundStart;
        cursor.tokenEnd = foundEnd;
        cursor.flags &= ~CURSOR_QUOTED;
        return true;
    };
    for (;;) {
        const int32_t passStart = cursor.next;
        if (!skipWhitespace(cursor)) {
            if (!found) {
                return false;
            }
            if (afterEquals) {
                cursor.flags &= ~CURSOR_QUOTED;
                return true;  // the empty token at the end
            }
            return nameAsValue();
        }
        int32_t q = cursor.next;
        const char16_t first = t[q];
        const bool quoted = first == u'"' || first == u'\'';
        if (quoted) {
            ++q;
            cursor.tokenStart = q;
            while (t[q] != 0 && t[q] != first) {
                ++q;
            }
            cursor.tokenEnd = q - 1;
            cursor.next = t[q] != 0 ? q + 1 : q;
            cursor.flags |= CURSOR_QUOTED;
        } else {
            if (afterEquals) {
                // An unquoted value: "/" belongs to it.
                while (t[q] != 0 && !isXmlWhitespace(t[q]) && t[q] != u'>') {
                    ++q;
                }
            } else {
                while (t[q] != 0 && !isXmlWhitespace(t[q]) && t[q] != u'/' && t[q] != u'=' &&
                       t[q] != u'>' && t[q] != u'?') {
                    ++q;
                }
            }
            if (q == cursor.next) {
                ++q;
            }
            cursor.next = q;
            cursor.tokenEnd = q - 1;
            cursor.flags &= ~CURSOR_QUOTED;
        }
        if (afterEquals) {
            if (found) {
                return true;
            }
            afterEquals = false;
            continue;
        }
        if (quoted) {
            if (found) {
                return nameAsValue();
            }
            continue;
        }
        if (cursor.tokenEnd == cursor.tokenStart) {
            const char16_t c = t[cursor.tokenStart];
            if (c == u'=') {
                afterEquals = true;
                continue;
            }
            if (c == u'>' || c == u'/' || c == u'?') {
                cursor.next = passStart;
                return found ? nameAsValue() : false;
            }
        }
        if (!tagNameSkipped) {
            tagNameSkipped = true;
            continue;
        }
        if (found) {
            return nameAsValue();
        }
        if (tokenIs(cursor, name)) {
            found = true;
            foundStart = cursor.tokenStart;
            foundEnd = cursor.tokenEnd;
            cursor.attrStart = passStart;
            cursor.attrLead = cursor.tokenStart - passStart;
        }
    }
}

bool XmlDoc::findElement(const char16_t* name) {
    if (index->size == 0) {
        return false;
    }
    const ElementPath path = parseElementPath(name);
    if (path.kind != ElementPath::NO_NAME && path.kind != ElementPath::RELATIVE) {
        return false;
    }
    int32_t pos = currentPos != 0 ? record(currentPos).nextSibling : record(parentPos).firstChild;
    if (path.kind == ElementPath::RELATIVE) {
        const char16_t* wanted = name + path.firstName;
        TokenCursor cursor{0, -1, 0, text.c_str(), 0, 0, 0};
        for (; pos != 0; pos = record(pos).nextSibling) {
            cursor.next = record(pos).start + 1;
            if (nextToken(cursor) && tokenIs(cursor, wanted)) {
                break;
            }
        }
    }
    if (pos == 0) {
        return false;
    }
    currentPos = pos;
    parentPos = record(pos).parent;
    childPos = 0;
    nodeOffset = 0;
    nodeLength = 0;
    nodeType = NODE_START_TAG;
    return true;
}

void XmlDoc::enterElement() {
    if (currentPos == 0 || nodeType != NODE_START_TAG) {
        return;
    }
    parentPos = currentPos;
    currentPos = childPos;
    childPos = 0;
    nodeOffset = 0;
    nodeLength = 0;
    nodeType = currentPos != 0 ? NODE_START_TAG : 0;
}

std::u16string XmlDoc::attribute(const char16_t* name) const {
    if (currentPos == 0 || name == nullptr) {
        return {};
    }
    TokenCursor cursor{0, -1, record(currentPos).start + 1, text.c_str(),
                       flags & ~(CURSOR_IGNORE_CASE | CURSOR_QUOTED), 0, 0};
    if (!findAttribute(cursor, name)) {
        return {};
    }
    return decodeEntities(text.c_str() + cursor.tokenStart, cursor.tokenEnd - cursor.tokenStart + 1);
}

std::u16string XmlDoc::tagName(int32_t pos) const {
    if (pos <= 0 || pos >= nextFree) {
        return {};
    }
    TokenCursor cursor{0, -1, record(pos).start + 1, text.c_str(), 0, 0, 0};
    if (!nextToken(cursor)) {
        return {};
    }
    return text.substr(std::size_t(cursor.tokenStart), std::size_t(cursor.tokenEnd - cursor.tokenStart + 1));
}
