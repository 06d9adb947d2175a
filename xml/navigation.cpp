#include "xml/navigation.h"

#include "xml/attribute_word.h"
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

// A name without any path syntax, the usual argument, as parseElementPath
// would take it: a relative path of one step.
ElementPath plainNameOrParse(const char16_t* name) {
    if (name != nullptr) {
        const int32_t i = skipPathName(name, 0);
        if (i > 0 && name[i] == 0) {
            return {ElementPath::RELATIVE, 0};
        }
    }
    return parseElementPath(name);
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
        const AttrWord word = readAttrWord(t, next, limit, afterEquals);
        tokenStart = word.start;
        tokenEnd = word.end;
        next = word.next;
        if (word.kind == AttrWord::END) {
            if (!found) {
                return finish(false);
            }
            if (afterEquals) {
                quoted = false;
                return finish(true);  // the empty word at the end
            }
            return nameAsValue();
        }
        quoted = word.kind == AttrWord::QUOTED;
        if (afterEquals) {
            if (found) {
                return finish(true);
            }
            afterEquals = false;
            continue;
        }
        switch (word.kind) {
        case AttrWord::QUOTED:
            if (found) {
                return nameAsValue();
            }
            continue;
        case AttrWord::EQUALS:
            afterEquals = true;
            continue;
        case AttrWord::TAG_END:
            next = passStart;
            return found ? nameAsValue() : finish(false);
        default:
            break;
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
        if (tokenIs(cursor, name)) {
            found = true;
            foundStart = tokenStart;
            foundEnd = tokenEnd;
            cursor.attrStart = passStart;
            cursor.attrLead = tokenStart - passStart;
        }
    }
}

bool XmlDoc::findElement(const char16_t* name) {
    const ElementIndex& idx = *index_;
    if (idx.size == 0) {
        return false;
    }
    const ElementPath path = plainNameOrParse(name);
    if (path.kind != ElementPath::NO_NAME && path.kind != ElementPath::RELATIVE) {
        return false;
    }
    int32_t pos = currentPos_ != 0 ? idx[currentPos_].nextSibling : idx[parentPos_].firstChild;
    if (path.kind == ElementPath::RELATIVE) {
        const char16_t* wanted = name + path.firstName;
        for (; pos != 0 && !tagNameIs(idx[pos].start, wanted); pos = idx[pos].nextSibling) {
        }
    }
    if (pos == 0) {
        return false;
    }
    currentPos_ = pos;
    parentPos_ = idx[pos].parent;
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
    ValueSpan value;
    if (const uint32_t plain = plainOf_[std::size_t(currentPos_ - 1)]; plain != NOT_PLAIN) {
        const AttributeSpan* first = plainAttributes_.data() + (plain >> 4);
        if (!findSpan(first, first + (plain & 0xF), text_.c_str(), name, value)) {
            return {};
        }
    } else {
        if (attributesOf_ != currentPos_) {
            attributes_.scan(text_.c_str(), record(currentPos_).start + 1, int32_t(text_.size()) + 1);
            attributesOf_ = currentPos_;
        }
        if (!attributes_.find(text_.c_str(), name, value)) {
            return {};
        }
    }
    const char16_t* start = text_.c_str() + value.first;
    const int32_t length = value.last - value.first + 1;
    return value.plain ? std::u16string(start, std::size_t(length)) : decodeEntities(start, length);
}

bool XmlDoc::tagNameIs(int32_t start, const char16_t* name) const {
    // Every record is a start tag, whose name begins right behind its "<"
    // with a code unit that is no delimiter: its token runs to the first
    // delimiter, and is compared as it is read.
    const char16_t* t = text_.c_str() + start + 1;
    int32_t i = 0;
    while (t[i] == name[i] && !charclass::is(t[i], charclass::STOP_WORD)) {
        ++i;
    }
    return charclass::is(t[i], charclass::STOP_WORD) && isNameEnd(name[i]);
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

int32_t XmlDoc::childCount(int32_t pos) const {
    if (pos < 0 || pos >= nextFree_) {
        return 0;
    }
    int32_t count = 0;
    for (int32_t c = record(pos).firstChild; c != 0; c = record(c).nextSibling) {
        ++count;
    }
    return count;
}

}  // namespace xml
