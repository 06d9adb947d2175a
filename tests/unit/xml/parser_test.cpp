#include <gtest/gtest.h>

#include <string>

#include "platform/utf.h"
#include "unit/xml/index_invariants.h"
#include "xml/xml_doc.h"

namespace xml {
namespace {

std::string where(const XmlDoc& doc) {
    std::string out = "in \"";
    out += platform::utf16ToUtf8(doc.text()) + "\"";
    return out;
}

// Parses text, checks the index structure, and returns the document.
void parsed(XmlDoc& doc, const char16_t* text) {
    doc.setDocument(text);
    EXPECT_EQ(checkIndex(doc), "") << where(doc);
}

uint32_t docFlags(const XmlDoc& doc) { return doc.record(0).levelFlags; }

TEST(Parser, NestedElementsAreWellFormed) {
    XmlDoc doc;
    parsed(doc, u"<a><b></b></a>");
    EXPECT_TRUE(doc.wellFormed());
    EXPECT_EQ(doc.nextFree(), 3);
    EXPECT_EQ(docFlags(doc), 0u);
    EXPECT_EQ(doc.record(0).firstChild, 1);
    EXPECT_EQ(doc.record(0).length, 14);
    const ElemPos& a = doc.record(1);
    const ElemPos& b = doc.record(2);
    EXPECT_EQ(a.start, 0);
    EXPECT_EQ(a.length, 14);
    EXPECT_EQ(a.startTagLength(), 3);
    EXPECT_EQ(a.endTagLength(), 4);
    EXPECT_EQ(a.levelFlags, FIRST_CHILD | 0u);
    EXPECT_EQ(a.firstChild, 2);
    EXPECT_EQ(a.prevSibling, 1);
    EXPECT_EQ(b.start, 3);
    EXPECT_EQ(b.length, 7);
    EXPECT_EQ(b.levelFlags, FIRST_CHILD | 1u);
    EXPECT_EQ(b.parent, 1);
    EXPECT_EQ(b.prevSibling, 2);
    EXPECT_EQ(b.nextSibling, 0);
}

TEST(Parser, EmptyElement) {
    XmlDoc doc;
    parsed(doc, u"<a x='1'/>");
    EXPECT_TRUE(doc.wellFormed());
    EXPECT_EQ(doc.record(1).length, 10);
    EXPECT_EQ(doc.record(1).startTagLength(), 10);
    EXPECT_EQ(doc.record(1).endTagLength(), 0);
    EXPECT_EQ(doc.record(1).firstChild, 0);
    // The next element is its sibling, not its child.
    parsed(doc, u"<r><a/><b/></r>");
    EXPECT_TRUE(doc.wellFormed());
    EXPECT_EQ(doc.record(2).nextSibling, 3);
    EXPECT_EQ(doc.record(3).prevSibling, 2);
    EXPECT_EQ(doc.record(2).prevSibling, 3);
    EXPECT_EQ(doc.record(3).parent, 1);
}

TEST(Parser, WellFormedNeedsExactlyOneTopLevelElement) {
    XmlDoc doc;
    parsed(doc, u"<a/><b/>");
    EXPECT_FALSE(doc.wellFormed());
    EXPECT_EQ(docFlags(doc), 0u);
    EXPECT_EQ(doc.record(1).nextSibling, 2);
    parsed(doc, u"abc");
    EXPECT_FALSE(doc.wellFormed());
    EXPECT_EQ(doc.record(0).firstChild, 0);
    EXPECT_EQ(doc.nextFree(), 1);
    parsed(doc, u"");
    EXPECT_FALSE(doc.wellFormed());
    EXPECT_EQ(doc.record(0).length, 0);
    // Whatever surrounds the one element does not matter.
    parsed(doc, u"<?xml version='1.0'?>\r\n<!DOCTYPE r><!-- c -->text<r><![CDATA[<x>]]></r> tail<?pi?>");
    EXPECT_TRUE(doc.wellFormed());
    parsed(doc, u"<r><?></r>");
    EXPECT_TRUE(doc.wellFormed());
}

TEST(Parser, OuterEndTagClosesInnerElementAsUnended) {
    XmlDoc doc;
    parsed(doc, u"<a><b></a>");
    EXPECT_FALSE(doc.wellFormed());
    EXPECT_EQ(docFlags(doc), ILL_FORMED);
    const ElemPos& a = doc.record(1);
    const ElemPos& b = doc.record(2);
    EXPECT_EQ(a.length, 10);
    EXPECT_EQ(a.endTagLength(), 4);
    EXPECT_EQ(a.levelFlags & UNENDED, 0u);
    EXPECT_EQ(b.levelFlags & UNENDED, UNENDED);
    EXPECT_EQ(b.length, 3);
    EXPECT_EQ(b.endTagLength(), 0);
    EXPECT_EQ(b.parent, 1);
}

TEST(Parser, ChildrenOfAnUnendedElementMoveOut) {
    XmlDoc doc;
    parsed(doc, u"<a><b><x/><y></y></a>");
    EXPECT_FALSE(doc.wellFormed());
    const ElemPos& b = doc.record(2);
    const ElemPos& x = doc.record(3);
    const ElemPos& y = doc.record(4);
    EXPECT_EQ(b.firstChild, 0);
    EXPECT_EQ(b.nextSibling, 3);
    EXPECT_EQ(x.parent, 1);
    EXPECT_EQ(x.prevSibling, 2);
    EXPECT_EQ(x.levelFlags & FIRST_CHILD, 0u);
    EXPECT_EQ(x.level(), 1);
    EXPECT_EQ(x.nextSibling, 4);
    EXPECT_EQ(y.parent, 1);
    EXPECT_EQ(doc.record(1).firstChild, 2);
    EXPECT_EQ(doc.record(2).levelFlags & FIRST_CHILD, FIRST_CHILD);
    EXPECT_EQ(doc.record(2).prevSibling, 4);  // the first child names the last one
}

TEST(Parser, EndOfTextClosesEverythingAsUnended) {
    XmlDoc doc;
    parsed(doc, u"<a>");
    EXPECT_FALSE(doc.wellFormed());
    EXPECT_EQ(docFlags(doc), ILL_FORMED);
    EXPECT_EQ(doc.record(1).levelFlags, FIRST_CHILD | UNENDED);
    // Each unended element hands its children to its parent, so the
    // chain ends up on the top level, in text order; an element that was
    // ended keeps its own children, and its whole subtree moves up.
    parsed(doc, u"<a><b><c><d></d></c>");
    EXPECT_EQ(doc.record(1).nextSibling, 2);
    EXPECT_EQ(doc.record(2).nextSibling, 3);
    EXPECT_EQ(doc.record(3).nextSibling, 0);
    EXPECT_EQ(doc.record(1).prevSibling, 3);
    EXPECT_EQ(doc.record(3).parent, 0);
    EXPECT_EQ(doc.record(3).level(), 0);
    EXPECT_EQ(doc.record(3).firstChild, 4);
    EXPECT_EQ(doc.record(4).parent, 3);
    EXPECT_EQ(doc.record(4).level(), 1);
    EXPECT_EQ(doc.record(2).levelFlags & UNENDED, UNENDED);
    EXPECT_EQ(doc.record(3).levelFlags & UNENDED, 0u);
}

TEST(Parser, LoneEndTag) {
    XmlDoc doc;
    parsed(doc, u"<a></b></a>");
    EXPECT_FALSE(doc.wellFormed());
    EXPECT_EQ(docFlags(doc), ILL_FORMED);
    EXPECT_EQ(doc.record(1).levelFlags, FIRST_CHILD | ERROR_INSIDE);
    EXPECT_EQ(doc.record(1).length, 11);
    // With no element open the document record takes the mark.
    parsed(doc, u"</b><a/>");
    EXPECT_EQ(docFlags(doc), ILL_FORMED | ERROR_INSIDE);
    EXPECT_FALSE(doc.wellFormed());
}

TEST(Parser, SyntaxErrorMarksTheInnermostElement) {
    XmlDoc doc;
    parsed(doc, u"<a><1></a>");
    EXPECT_FALSE(doc.wellFormed());
    EXPECT_EQ(docFlags(doc), ILL_FORMED);
    EXPECT_EQ(doc.record(1).levelFlags & ERROR_INSIDE, ERROR_INSIDE);
    EXPECT_EQ(doc.record(1).endTagLength(), 4);
    parsed(doc, u"<a/><");
    EXPECT_EQ(docFlags(doc), ILL_FORMED | ERROR_INSIDE);
}

TEST(Parser, ErrorInsideMovesOutOfAnUnendedElement) {
    XmlDoc doc;
    parsed(doc, u"<a><b><1></a>");
    EXPECT_EQ(doc.record(2).levelFlags & ERROR_INSIDE, 0u);
    EXPECT_EQ(doc.record(1).levelFlags & ERROR_INSIDE, ERROR_INSIDE);
    parsed(doc, u"<b><1>");
    EXPECT_EQ(docFlags(doc), ILL_FORMED | ERROR_INSIDE);
}

TEST(Parser, EndTagMatchesTheInnermostOpenElementOfThatName) {
    XmlDoc doc;
    parsed(doc, u"<a><a><b></a></a>");
    EXPECT_TRUE(doc.wellFormed() == false);
    EXPECT_EQ(doc.record(2).endTagLength(), 4);  // the inner a
    EXPECT_EQ(doc.record(3).levelFlags & UNENDED, UNENDED);
    EXPECT_EQ(doc.record(1).endTagLength(), 4);
    // Names compare exactly, case sensitive.
    parsed(doc, u"<A></a></A>");
    EXPECT_EQ(doc.record(1).levelFlags & ERROR_INSIDE, ERROR_INSIDE);
    // An end tag name closes a start tag name that goes on with "=", "[" or "]".
    parsed(doc, u"<a[1]></a>");
    EXPECT_TRUE(doc.wellFormed());
    parsed(doc, u"<a=b></a>");
    EXPECT_TRUE(doc.wellFormed());
    parsed(doc, u"<ab></a>");
    EXPECT_FALSE(doc.wellFormed());
    parsed(doc, u"<a></ab>");
    EXPECT_FALSE(doc.wellFormed());
    parsed(doc, u"<a></></a>");
    EXPECT_FALSE(doc.wellFormed());
    EXPECT_EQ(doc.record(1).levelFlags & ERROR_INSIDE, ERROR_INSIDE);
}

TEST(Parser, ReparseReusesTheDocument) {
    XmlDoc doc(u"<a><b/><c/></a>");
    EXPECT_TRUE(doc.wellFormed());
    EXPECT_TRUE(doc.findElement(u"a"));
    EXPECT_FALSE(doc.setDocument(u"<x>"));
    EXPECT_EQ(doc.currentPos(), 0);
    EXPECT_EQ(doc.nextFree(), 2);
    EXPECT_EQ(checkIndex(doc), "");
    EXPECT_TRUE(doc.parse() == false);
    EXPECT_TRUE(doc.setDocument(u"<y/>"));
    EXPECT_EQ(doc.record(1).levelFlags, FIRST_CHILD | 0u);
    // No text frees the index; the parse then starts a fresh one.
    EXPECT_FALSE(doc.setDocument(nullptr));
    EXPECT_TRUE(doc.text().empty());
    EXPECT_EQ(doc.index().size, 8);
    EXPECT_EQ(checkIndex(doc), "");
}

TEST(Parser, NewDocumentIsParsedOnce) {
    XmlDoc empty;
    EXPECT_FALSE(empty.wellFormed());
    EXPECT_EQ(empty.nextFree(), 1);
    EXPECT_EQ(empty.index().size, 8);
    EXPECT_EQ(empty.flags(), 0u);
    EXPECT_EQ(checkIndex(empty), "");
    XmlDoc given(u"<r/>");
    EXPECT_TRUE(given.wellFormed());
}

// setDocument copies the text while parsing it: long texts, nodes that cross
// the copy's pieces and a text ending in the middle of a tag must come out
// whole, with the same index as a parse of the text in place.
TEST(Parser, SetDocumentCopiesLongTextsWhole) {
    std::u16string text = u"<?xml version=\"1.0\"?>\r\n<update>\r\n";
    for (int i = 0; i < 3000; ++i) {
        text += u"  <file path=\"bin\\m" + std::u16string(std::size_t(i % 50), u'x') + u".dll\" md5=\"0a\"/>\r\n";
        if (i % 700 == 0) {
            text += u"<!--" + std::u16string(5000, u'-') + u"-->";
        }
    }
    for (const std::u16string& variant : {text + u"</update>\r\n", text + u"<file path='cut"}) {
        XmlDoc copied;
        const bool wellFormed = copied.setDocument(variant.c_str());
        EXPECT_EQ(copied.text(), variant);
        EXPECT_EQ(checkIndex(copied), "");
        XmlDoc inPlace(variant.c_str());
        EXPECT_EQ(inPlace.parse(), wellFormed);  // now of its own text, in place
        ASSERT_EQ(copied.nextFree(), inPlace.nextFree());
        for (int32_t r = 0; r < copied.nextFree(); ++r) {
            const ElemPos& a = copied.record(r);
            const ElemPos& b = inPlace.record(r);
            EXPECT_TRUE(a.start == b.start && a.length == b.length && a.tagLengths == b.tagLengths &&
                        a.levelFlags == b.levelFlags && a.parent == b.parent && a.firstChild == b.firstChild &&
                        a.nextSibling == b.nextSibling && a.prevSibling == b.prevSibling)
                << "record " << r;
        }
    }
}

// A text taken from the document's own text is read before it is replaced.
TEST(Parser, SetDocumentFromItsOwnText) {
    XmlDoc doc(u"<a/><b x='1'/>");
    EXPECT_TRUE(doc.setDocument(doc.text().c_str() + 4));
    EXPECT_EQ(doc.text(), u"<b x='1'/>");
    EXPECT_TRUE(doc.findElement(u"b"));
    EXPECT_EQ(doc.attribute(u"x"), u"1");
    EXPECT_TRUE(doc.setDocument(doc.text().c_str()));
    EXPECT_EQ(doc.text(), u"<b x='1'/>");
}

}  // namespace
}  // namespace xml
