// Arbitrary text through the tokenizer, the parser and a walk over every
// element with attribute reads. Any broken index rule, a tokenizer that does
// not advance or does not end, or a sanitizer report is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "unit/xml/index_invariants.h"
#include "xml/navigation.h"
#include "xml/tokenizer.h"
#include "xml/xml_doc.h"

namespace xml {
namespace {

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "fuzz_xmldoc: %s\n", what.c_str());
    std::abort();
}

// Bytes below 0xF0 are code units as they are (0 ends the text); the rest
// stand for code units the markup bytes cannot reach.
std::u16string toText(const uint8_t* data, std::size_t size) {
    static const char16_t kHigh[16] = {0x00E9, 0x4E2D, 0xFFFF, 0xD83D, 0xDE00, 0xFEFF, 0x0100, 0x017B,
                                       0x2028, 0x3000, 0xFFFD, 0x00A0, 0x0085, 0xDBFF, 0x7B, 0x7E};
    std::u16string text;
    text.reserve(size);
    for (std::size_t i = 0; i < size && data[i] != 0; ++i) {
        text.push_back(data[i] >= 0xF0 ? kHigh[data[i] - 0xF0] : char16_t(data[i]));
    }
    return text;
}

void checkTokenizer(const std::u16string& text) {
    TokenCursor cursor = cursorAt(text.c_str(), 0);
    NodeInfo node;
    int32_t expected = 0;
    for (std::size_t steps = 0;; ++steps) {
        if (steps > text.size() + 1) {
            fail("tokenizer does not end");
        }
        const int32_t type = nextNode(cursor, node);
        if (node.start != expected || cursor.next != node.start + node.length || node.type != type) {
            fail("node not contiguous");
        }
        if (type == NODE_END_OF_DOCUMENT) {
            if (node.length != 0 || node.start != int32_t(text.size())) {
                fail("end of document before the end of the text");
            }
            break;
        }
        if (node.length < 1) {
            fail("tokenizer did not advance");
        }
        if (node.flags != 0 && !(type == NODE_START_TAG && node.flags == EMPTY_ELEMENT)) {
            fail("stray node flags");
        }
        if ((type == NODE_START_TAG || type == NODE_END_TAG || type == NODE_PROCESSING_INSTRUCTION) &&
            (cursor.tokenStart < node.start || cursor.tokenEnd >= node.start + node.length)) {
            fail("name outside its node");
        }
        expected = cursor.next;
    }
    TokenCursor words = cursorAt(text.c_str(), 0);
    for (int32_t last = -1; nextToken(words);) {
        if (words.tokenEnd < words.tokenStart || words.next <= last || words.next > int32_t(text.size())) {
            fail("word scanner did not advance");
        }
        last = words.next;
    }
}

// What attribute gives for element e and name, scanning the tag afresh instead
// of reading the attributes the first lookup on it recorded.
std::u16string scannedAttribute(const XmlDoc& doc, int32_t e, const char16_t* name) {
    TokenCursor cursor = cursorAt(doc.text().c_str(), doc.record(e).start + 1);
    if (!findAttribute(cursor, name)) {
        return {};
    }
    return decodeEntities(doc.text().c_str() + cursor.tokenStart, cursor.tokenEnd - cursor.tokenStart + 1);
}

// Visits every element level by level with findElement, reaching each level
// from the top through its ancestors, compares with the chains of the index,
// and reads some attributes on the way.
void walk(XmlDoc& doc) {
    std::vector<int32_t> pending{0};
    std::vector<int32_t> ancestors;
    int32_t visited = 0;
    while (!pending.empty()) {
        const int32_t parent = pending.back();
        pending.pop_back();
        ancestors.clear();
        for (int32_t a = parent; a != 0; a = doc.record(a).parent) {
            ancestors.push_back(a);
        }
        doc.rewind();
        for (auto a = ancestors.rbegin(); a != ancestors.rend(); ++a) {
            while (doc.currentPos() != *a) {
                if (!doc.findElement(nullptr)) {
                    fail("an element is not on the level of its parent's children");
                }
            }
            doc.enterElement();
        }
        int32_t want = doc.record(parent).firstChild;
        while (doc.findElement(nullptr)) {
            const int32_t e = doc.currentPos();
            if (e != want || doc.parentPos() != parent) {
                fail("findElement left the sibling chain");
            }
            ++visited;
            const std::u16string name = doc.tagName(e);
            for (const char16_t* attribute : {u"md5", u"path", name.c_str()}) {
                const std::u16string value = doc.attribute(attribute);
                if (value.size() > doc.text().size()) {
                    fail("attribute longer than the text");
                }
                if (value != scannedAttribute(doc, e, attribute)) {
                    fail("a recorded attribute differs from a scan of its tag");
                }
            }
            if (doc.record(e).firstChild != 0) {
                pending.push_back(e);
            }
            want = doc.record(e).nextSibling;
        }
        if (want != 0) {
            fail("findElement stopped early");
        }
    }
    if (visited != doc.nextFree() - 1) {
        fail("walk missed elements");
    }
    // Named search from the start of the top level finds the first element of
    // that name.
    const int32_t first = doc.record(0).firstChild;
    if (first != 0) {
        doc.rewind();
        const std::u16string name = doc.tagName(first);
        if (parseElementPath(name.c_str()).kind == ElementPath::RELATIVE &&
            (!doc.findElement(name.c_str()) || doc.currentPos() != first)) {
            fail("first element not found by its name");
        }
        doc.enterElement();
    }
}

// The fault names a place of the text where markup begins, and the element
// there; it is absent exactly when the document is well formed.
void checkFault(const XmlDoc& doc, bool wellFormed) {
    const ParseFault& fault = doc.fault();
    if ((fault.kind == FaultKind::kNone) != wellFormed) {
        fail("the fault disagrees with wellFormed");
    }
    const bool placed = fault.kind != FaultKind::kNone && fault.kind != FaultKind::kNoElement &&
                        fault.kind != FaultKind::kTextTooLong;
    if (!placed) {
        if (fault.offset != -1 || fault.element != 0) {
            fail("a fault without a place has one");
        }
        return;
    }
    const auto textLength = int32_t(doc.text().size());
    if (fault.offset < 0 || fault.length < 1 || fault.offset + fault.length > textLength ||
        doc.text()[std::size_t(fault.offset)] != u'<') {
        fail("the fault is not at markup of the text");
    }
    if (fault.element < 0 || fault.element >= doc.nextFree() ||
        (fault.element != 0 && doc.record(fault.element).start != fault.offset)) {
        fail("the fault's element is not where the fault is");
    }
}

int run(const uint8_t* data, std::size_t size) {
    const std::u16string text = toText(data, size);
    checkTokenizer(text);

    XmlDoc doc;
    const bool wellFormed = doc.setDocument(text.c_str());
    const std::string broken = checkIndex(doc);
    if (!broken.empty()) {
        fail(broken);
    }
    const ElemPos& root = doc.record(0);
    if (wellFormed != ((root.levelFlags & ILL_FORMED) == 0 && root.firstChild != 0 &&
                       doc.record(root.firstChild).nextSibling == 0)) {
        fail("wellFormed disagrees with the index");
    }
    checkFault(doc, wellFormed);
    walk(doc);
    const std::u16string decoded = decodeEntities(text.c_str(), int32_t(text.size()));
    if (decoded.size() > text.size()) {
        fail("decoding made the text longer");
    }
    // A second parse of the same document gives the same verdict.
    if (doc.parse() != wellFormed || !checkIndex(doc).empty()) {
        fail("reparse differs");
    }
    return 0;
}

}  // namespace
}  // namespace xml

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    return xml::run(data, size);
}
