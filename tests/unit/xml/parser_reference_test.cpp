// The parser against a plain, step-by-step rendering of its rules: copied
// names, a linear search of the open elements, and children moved out of an
// unended element one by one (each with its whole subtree one level up).
// The real parser avoids that quadratic work; the two indexes, and the faults
// they name first, must be equal.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/utf.h"
#include "unit/xml/index_invariants.h"
#include "xml/tokenizer.h"
#include "xml/xml_doc.h"

namespace xml {
namespace {

struct Reference {
    std::vector<ElemPos> records;
    ParseFault fault;  // the markup fault that begins first, else the top level's
};

Reference referenceParse(const std::u16string& text) {
    Reference ref;
    std::vector<ElemPos>& r = ref.records;
    r.assign(1, ElemPos{});
    const auto fault = [&](FaultKind kind, int32_t offset, int32_t length, int32_t element) {
        if (ref.fault.kind == FaultKind::kNone || offset < ref.fault.offset) {
            ref.fault = {kind, offset, length, element};
        }
    };
    struct Open {
        std::u16string name;
        int32_t elem;
    };
    std::vector<Open> open;
    const auto innermost = [&]() { return open.empty() ? 0 : open.back().elem; };
    const auto shiftLevels = [&](auto& self, int32_t e) -> void {
        r[e].levelFlags -= 1;  // the level is in the low bits
        for (int32_t c = r[e].firstChild; c != 0; c = r[c].nextSibling) {
            self(self, c);
        }
    };
    const auto closeUnended = [&]() {
        const int32_t u = open.back().elem;
        open.pop_back();
        const int32_t p = innermost();
        r[0].levelFlags |= ILL_FORMED;
        r[u].levelFlags |= UNENDED;
        r[u].length = r[u].startTagLength();
        fault(FaultKind::kUnendedElement, r[u].start, r[u].length, u);
        if ((r[u].levelFlags & ERROR_INSIDE) != 0) {
            r[u].levelFlags &= ~ERROR_INSIDE;
            r[p].levelFlags |= ERROR_INSIDE;
        }
        const int32_t first = r[u].firstChild;
        if (first == 0) {
            return;
        }
        int32_t last = 0;
        for (int32_t c = first; c != 0; c = r[c].nextSibling) {
            r[c].parent = p;
            shiftLevels(shiftLevels, c);
            last = c;
        }
        r[u].nextSibling = first;
        r[first].prevSibling = u;
        r[first].levelFlags &= ~FIRST_CHILD;
        r[u].firstChild = 0;
        r[r[p].firstChild].prevSibling = last;
    };

    TokenCursor cursor = cursorAt(text.c_str(), 0);
    NodeInfo node;
    for (;;) {
        const int32_t type = nextNode(cursor, node);
        if (type == NODE_START_TAG) {
            const auto e = int32_t(r.size());
            const int32_t p = innermost();
            ElemPos rec{};
            rec.start = node.start;
            rec.length = node.length;
            rec.tagLengths = uint32_t(node.length);
            rec.levelFlags = uint32_t(open.size());
            rec.parent = p;
            if (r[p].firstChild == 0) {
                r[p].firstChild = e;
                rec.levelFlags |= FIRST_CHILD;
                rec.prevSibling = e;
            } else {
                int32_t last = r[p].firstChild;
                while (r[last].nextSibling != 0) {
                    last = r[last].nextSibling;
                }
                r[last].nextSibling = e;
                rec.prevSibling = last;
                r[r[p].firstChild].prevSibling = e;
            }
            r.push_back(rec);
            if ((node.flags & EMPTY_ELEMENT) == 0) {
                open.push_back({text.substr(cursor.tokenStart, cursor.tokenEnd - cursor.tokenStart + 1), e});
            }
        } else if (type == NODE_END_TAG) {
            const std::u16string name = text.substr(cursor.tokenStart, cursor.tokenEnd - cursor.tokenStart + 1);
            int k = int(open.size()) - 1;
            while (k >= 0 && !(open[k].name.compare(0, name.size(), name) == 0 &&
                               open[k].name.size() >= name.size() &&
                               isNameEnd(open[k].name.c_str()[name.size()]))) {
                --k;
            }
            if (k < 0) {
                r[0].levelFlags |= ILL_FORMED;
                r[innermost()].levelFlags |= ERROR_INSIDE;
                fault(FaultKind::kLoneEndTag, node.start, node.length, 0);
                continue;
            }
            ElemPos& found = r[open[k].elem];
            found.length = node.start + node.length - found.start;
            found.tagLengths |= uint32_t(node.length) << 22;
            while (int(open.size()) - 1 > k) {
                closeUnended();
            }
            open.pop_back();
        } else if (type == NODE_SYNTAX_ERROR) {
            r[0].levelFlags |= ILL_FORMED;
            r[innermost()].levelFlags |= ERROR_INSIDE;
            fault(FaultKind::kSyntaxError, node.start, node.length, 0);
        } else if (type == NODE_END_OF_DOCUMENT) {
            while (!open.empty()) {
                closeUnended();
            }
            break;
        }
    }
    r[0].length = int32_t(text.size());
    const int32_t first = r[0].firstChild;
    if (ref.fault.kind == FaultKind::kNone && first == 0) {
        ref.fault.kind = FaultKind::kNoElement;
    } else if (ref.fault.kind == FaultKind::kNone && r[first].nextSibling != 0) {
        const int32_t second = r[first].nextSibling;
        ref.fault = {FaultKind::kSecondElement, r[second].start, r[second].startTagLength(), second};
    }
    return ref;
}

// Parses text both ways; returns "" when the indexes agree record by record.
std::string compareWithReference(XmlDoc& doc, const std::u16string& text) {
    doc.setDocument(text.c_str());
    const std::string broken = checkIndex(doc);
    if (!broken.empty()) {
        return broken;
    }
    const Reference reference = referenceParse(text);
    const std::vector<ElemPos>& want = reference.records;
    if (doc.nextFree() != int32_t(want.size())) {
        std::string message = "nextFree ";
        message += std::to_string(doc.nextFree()) + ", reference " + std::to_string(want.size());
        return message;
    }
    for (int32_t i = 0; i < doc.nextFree(); ++i) {
        const ElemPos& a = doc.record(i);
        const ElemPos& b = want[std::size_t(i)];
        if (a.start != b.start || a.length != b.length || a.tagLengths != b.tagLengths ||
            a.levelFlags != b.levelFlags || a.parent != b.parent || a.firstChild != b.firstChild ||
            a.nextSibling != b.nextSibling || a.prevSibling != b.prevSibling) {
            std::string message = "record ";
            message += std::to_string(i) + " differs";
            return message;
        }
    }
    const ParseFault& got = doc.fault();
    const ParseFault& expected = reference.fault;
    if (got.kind != expected.kind || got.offset != expected.offset || got.length != expected.length ||
        got.element != expected.element) {
        return "fault differs: kind " + std::to_string(int(got.kind)) + " at " + std::to_string(got.offset) +
               ", reference " + std::to_string(int(expected.kind)) + " at " + std::to_string(expected.offset);
    }
    return {};
}

const char16_t* const kPieces[] = {
    u"<a>", u"</a>", u"<b>", u"</b>", u"<c x='1'>", u"</c>", u"<a/>", u"<a[1]>", u"<a=b>",
    u"</a[1]>", u"<1>", u"x", u" ", u"</>", u"</d>", u"<!--c-->", u"<", u">", u"<?p?>", u"'",
};

TEST(ParserReference, EveryShortSequenceOfPieces) {
    // All sequences of up to four of the first ten pieces.
    XmlDoc doc;
    const int kinds = 10;
    int checked = 0;
    for (int length = 0; length <= 4; ++length) {
        int total = 1;
        for (int i = 0; i < length; ++i) {
            total *= kinds;
        }
        for (int n = 0; n < total; ++n) {
            std::u16string text;
            for (int i = 0, m = n; i < length; ++i, m /= kinds) {
                text += kPieces[m % kinds];
            }
            ASSERT_EQ(compareWithReference(doc, text), "") << platform::utf16ToUtf8(text);
            ++checked;
        }
    }
    EXPECT_EQ(checked, 11111);
}

TEST(ParserReference, RandomDocuments) {
    std::mt19937 random(20240601);
    XmlDoc doc;
    const int kinds = int(std::size(kPieces));
    for (int round = 0; round < 20000; ++round) {
        std::u16string text;
        const int length = int(random() % 40);
        for (int i = 0; i < length; ++i) {
            text += kPieces[random() % kinds];
        }
        ASSERT_EQ(compareWithReference(doc, text), "") << platform::utf16ToUtf8(text);
    }
}

TEST(ParserReference, DeepUnendedNesting) {
    // Deep enough for several segments of moves, small enough for the
    // reference's quadratic work.
    XmlDoc doc;
    std::u16string text;
    for (int i = 0; i < 300; ++i) {
        text += i % 7 == 3 ? u"<b>" : u"<a>";
        if (i % 11 == 5) {
            text += u"<c></c></b>";
        }
    }
    text += u"</a>";
    EXPECT_EQ(compareWithReference(doc, text), "");
}

}  // namespace
}  // namespace xml
