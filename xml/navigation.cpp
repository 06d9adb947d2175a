#include "xml/navigation.h"

#include "xml/char_class.h"
#include "xml/scan.h"
#include "xml/xml_doc.h"

namespace xml {

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
    return findAttribute(cursor, name, 0);
}

bool findAttribute(TokenCursor& cursor, const char16_t* name, int32_t limit) {
    // The scan runs on locals; the cursor is written once, at the end.
    const char16_t* t = cursor.text;
    int32_t next = cursor.next;
    int32_t tokenStart = cursor.tokenStart;
    int32_t tokenEnd = cursor.tokenEnd;
    bool quoted = false;
    bool found = false;
    bool afterEquals = false;
    bool tagNameSkipped = false;
    int32_t foundStart = 0;
    int32_t foundEnd = -1;
    const auto finish = [&](bool result) {
        cursor.next = next;
        cursor.tokenStart = tokenStart;
        cursor.tokenEnd = tokenEnd;
        cursor.flags = quoted ? cursor.flags | CURSOR_QUOTED : cursor.flags & ~CURSOR_QUOTED;
        return result;
    };
    // Success with the found name itself as the value: an attribute without "=".
    const auto nameAsValue = [&]() {
        tokenStart = foundStart;
        tokenEnd = foundEnd;
        quoted = false;
        return finish(true);
    };
    for (;;) {
        const int32_t passStart = next;
        int32_t q = passStart;
        while (charclass::is(t[q], charclass::WHITESPACE)) {
            ++q;
        }
        const char16_t first = t[q];
        if (first == 0) {
            next = q;
            tokenStart = q;
            tokenEnd = q - 1;
            if (!found) {
                return finish(false);
            }
            if (afterEquals) {
                quoted = false;
                return finish(true);  // the empty token at the end
            }
            return nameAsValue();
        }
        if (first == u'"' || first == u'\'') {
            // A quoted token runs to the same quote, which it consumes.
            tokenStart = q + 1;
            q = scan::toUnitOrEnd(t, q + 1, limit, first);
            tokenEnd = q - 1;
            next = t[q] != 0 ? q + 1 : q;
            quoted = true;
            if (afterEquals) {
                if (found) {
                    return finish(true);
                }
                afterEquals = false;
            } else if (found) {
                return nameAsValue();
            }
            continue;
        }
        quoted = false;
        tokenStart = q;
        if (afterEquals) {
            // An unquoted value: "/" belongs to it.
            while (!charclass::is(t[q], charclass::STOP_ATTR_VALUE)) {
                ++q;
            }
            q += q == tokenStart ? 1 : 0;
            next = q;
            tokenEnd = q - 1;
            if (found) {
                return finish(true);
            }
            afterEquals = false;
            continue;
        }
        while (!charclass::is(t[q], charclass::STOP_ATTR_NAME)) {
            ++q;
        }
        if (q == tokenStart) {
            // A one-code-unit token: "=" announces a value; ">", "/" and "?"
            // end the tag.
            next = q + 1;
            tokenEnd = q;
            if (first == u'=') {
                afterEquals = true;
                continue;
            }
            if (first == u'>' || first == u'/' || first == u'?') {
                next = passStart;
                return found ? nameAsValue() : finish(false);
            }
        } else {
            next = q;
            tokenEnd = q - 1;
        }
        if (!tagNameSkipped) {
            tagNameSkipped = true;
            continue;
        }
        if (found) {
            return nameAsValue();
        }
        cursor.tokenStart = tokenStart;
        cursor.tokenEnd = tokenEnd;
        const bool match = tokenIs(cursor, name);
        if (match) {
            found = true;
            foundStart = tokenStart;
            foundEnd = tokenEnd;
            cursor.attrStart = passStart;
            cursor.attrLead = tokenStart - passStart;
        }
        // The usual name="value" (or 'value') in one step: the same two
        // passes as above, for the "=" and for the quoted value.
        const char16_t quote = t[next] == u'=' ? t[next + 1] : char16_t(0);
        if (quote == u'"' || quote == u'\'') {
            tokenStart = next + 2;
            q = scan::toUnitOrEnd(t, next + 2, limit, quote);
            tokenEnd = q - 1;
            next = t[q] != 0 ? q + 1 : q;
            quoted = true;
            if (match) {
                return finish(true);
            }
        }
    }
}

bool XmlDoc::findElement(const char16_t* name) {
    if (index_->size == 0) {
        return false;
    }
    const ElementPath path = parseElementPath(name);
    if (path.kind != ElementPath::NO_NAME && path.kind != ElementPath::RELATIVE) {
        return false;
    }
    int32_t pos = currentPos_ != 0 ? record(currentPos_).nextSibling : record(parentPos_).firstChild;
    if (path.kind == ElementPath::RELATIVE) {
        const char16_t* wanted = name + path.firstName;
        for (; pos != 0; pos = record(pos).nextSibling) {
            TokenCursor cursor = cursorAt(text_.c_str(), record(pos).start + 1);
            if (nextToken(cursor) && tokenIs(cursor, wanted)) {
                break;
            }
        }
    }
    if (pos == 0) {
        return false;
    }
    currentPos_ = pos;
    parentPos_ = record(pos).parent;
    childPos_ = 0;
    nodeType_ = NODE_START_TAG;
    return true;
}

void XmlDoc::enterElement() {
    if (currentPos_ == 0 || nodeType_ != NODE_START_TAG) {
        return;
    }
    parentPos_ = currentPos_;
    currentPos_ = childPos_;
    childPos_ = 0;
    nodeType_ = currentPos_ != 0 ? NODE_START_TAG : 0;
}

std::u16string XmlDoc::attribute(const char16_t* name) const {
    if (currentPos_ == 0 || name == nullptr) {
        return {};
    }
    TokenCursor cursor = cursorAt(text_.c_str(), record(currentPos_).start + 1);
    if (!findAttribute(cursor, name, int32_t(text_.size()) + 1)) {
        return {};
    }
    return decodeEntities(text_.c_str() + cursor.tokenStart, cursor.tokenEnd - cursor.tokenStart + 1);
}

std::u16string XmlDoc::tagName(int32_t pos) const {
    if (pos <= 0 || pos >= nextFree_) {
        return {};
    }
    TokenCursor cursor = cursorAt(text_.c_str(), record(pos).start + 1);
    if (!nextToken(cursor)) {
        return {};
    }
    return text_.substr(std::size_t(cursor.tokenStart), std::size_t(cursor.tokenEnd - cursor.tokenStart + 1));
}

}  // namespace xml
