// Structural checks of a parsed document's element index, shared by the unit
// tests and the fuzzer. checkIndex returns the first broken rule, or "".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "xml/xml_doc.h"

namespace xml {

inline std::string checkIndex(const XmlDoc& doc) {
    const ElementIndex& idx = doc.index();
    const int32_t n = doc.nextFree();
    const auto fail = [](const std::string& what, int32_t r) {
        return what + " (record " + std::to_string(r) + ")";
    };
    if (n < 1 || n > idx.size) {
        return fail("nextFree outside the index", n);
    }
    if (doc.parentPos() != 0 || doc.currentPos() != 0 || doc.childPos() != 0 || doc.nodeType() != 0) {
        return "position not at the start after a parse";
    }
    const int32_t textLength = int32_t(doc.text().size());
    const ElemPos& root = idx[0];
    if (root.length != textLength || root.parent != 0 || root.nextSibling != 0 ||
        (root.levelFlags & ~(ILL_FORMED | ERROR_INSIDE)) != 0) {
        return fail("bad document record", 0);
    }
    std::vector<int32_t> seen(std::size_t(n), 0);
    for (int32_t p = 0; p < n; ++p) {
        const ElemPos& pr = idx[p];
        if (p > 0) {
            if ((pr.levelFlags & ILL_FORMED) != 0) {
                return fail("ILL_FORMED on an element", p);
            }
            if (pr.start < 0 || pr.start >= textLength || doc.text()[std::size_t(pr.start)] != u'<') {
                return fail("start not at a '<'", p);
            }
            if (pr.startTagLength() > pr.length || pr.start + pr.length > textLength) {
                return fail("extent outside the text", p);
            }
            if ((pr.levelFlags & UNENDED) != 0 &&
                (pr.firstChild != 0 || pr.endTagLength() != 0 ||
                 (pr.startTagLength() < int32_t(ElemPos::START_TAG_MAX) && pr.length != pr.startTagLength()))) {
                return fail("unended element with children or an end tag", p);
            }
            if (idx[pr.parent].start > pr.start && pr.parent != 0) {
                return fail("parent after its child", p);
            }
        }
        int32_t c = pr.firstChild;
        if (c == 0) {
            continue;
        }
        if (c <= p || c >= n) {
            return fail("firstChild out of range", p);
        }
        const uint32_t wantLevel = p == 0 ? 0 : uint32_t(pr.level()) + 1;
        int32_t prev = 0;
        while (c != 0) {
            if (c <= prev || c <= p || c >= n) {
                return fail("sibling chain not in text order", c);
            }
            const ElemPos& cr = idx[c];
            if (seen[std::size_t(c)]++ != 0) {
                return fail("element in two chains", c);
            }
            if (cr.parent != p) {
                return fail("parent link does not match the chain", c);
            }
            if ((cr.levelFlags & FIRST_CHILD) != (prev == 0 ? FIRST_CHILD : 0)) {
                return fail("FIRST_CHILD not exactly on the first of the chain", c);
            }
            if (prev != 0 && cr.prevSibling != prev) {
                return fail("prevSibling does not name the previous sibling", c);
            }
            if (uint32_t(cr.level()) != (wantLevel > ElemPos::LEVEL_MAX ? ElemPos::LEVEL_MAX : wantLevel)) {
                return fail("level is not the depth", c);
            }
            if (p != 0 && (pr.levelFlags & UNENDED) == 0 && cr.start + cr.length > pr.start + pr.length) {
                return fail("child reaches past its parent's end", c);
            }
            prev = c;
            c = cr.nextSibling;
        }
        if (idx[pr.firstChild].prevSibling != prev) {
            return fail("first child's prevSibling is not the last sibling", pr.firstChild);
        }
    }
    for (int32_t r = 1; r < n; ++r) {
        if (seen[std::size_t(r)] != 1) {
            return fail("element in no chain", r);
        }
    }
    return {};
}

}  // namespace xml
