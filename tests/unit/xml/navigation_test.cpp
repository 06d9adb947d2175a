#include <gtest/gtest.h>

#include <string>

#include "platform/utf.h"
#include "unit/xml/index_invariants.h"
#include "xml/navigation.h"
#include "xml/xml_doc.h"

namespace xml {
namespace {

// A document whose index is checked right after its parse.
struct CheckedDoc : XmlDoc {
    explicit CheckedDoc(const char16_t* source) : XmlDoc(source) { EXPECT_EQ(checkIndex(*this), ""); }
};

const char16_t* const kManifest =
    u"<update><file path='a' md5='b'/><file path='c' md5='d'/></update>";

TEST(Navigation, ManifestWalk) {
    CheckedDoc doc(kManifest);
    ASSERT_TRUE(doc.wellFormed());
    ASSERT_TRUE(doc.findElement(u"update"));
    EXPECT_EQ(doc.currentPos(), 1);
    EXPECT_EQ(doc.nodeType(), NODE_START_TAG);
    doc.enterElement();
    EXPECT_EQ(doc.parentPos(), 1);
    EXPECT_EQ(doc.currentPos(), 0);
    EXPECT_EQ(doc.nodeType(), 0);
    ASSERT_TRUE(doc.findElement(u"file"));
    EXPECT_EQ(doc.attribute(u"path"), u"a");
    EXPECT_EQ(doc.attribute(u"md5"), u"b");
    ASSERT_TRUE(doc.findElement(u"file"));
    EXPECT_EQ(doc.attribute(u"path"), u"c");
    EXPECT_EQ(doc.attribute(u"md5"), u"d");
    const int32_t last = doc.currentPos();
    EXPECT_FALSE(doc.findElement(u"file"));
    EXPECT_EQ(doc.currentPos(), last);
    EXPECT_EQ(doc.parentPos(), 1);
}

TEST(Navigation, MissingElementLeavesThePosition) {
    CheckedDoc doc(u"<x/>");
    EXPECT_FALSE(doc.findElement(u"update"));
    EXPECT_EQ(doc.currentPos(), 0);
    EXPECT_EQ(doc.parentPos(), 0);
    EXPECT_EQ(doc.nodeType(), 0);
    XmlDoc empty;
    EXPECT_FALSE(empty.findElement(nullptr));
    EXPECT_FALSE(empty.findElement(u"x"));
}

TEST(Navigation, SiblingSearchSkipsOtherNames) {
    CheckedDoc doc(u"<r><a/><b n='1'/><a/><b n='2'><b n='inner'/></b><c/></r>");
    EXPECT_EQ(doc.childCount(0), 1);
    EXPECT_EQ(doc.childCount(1), 5);
    EXPECT_EQ(doc.childCount(5), 1);
    EXPECT_EQ(doc.childCount(6), 0);
    EXPECT_EQ(doc.childCount(8), 0);  // no such element
    ASSERT_TRUE(doc.findElement(u"r"));
    doc.enterElement();
    ASSERT_TRUE(doc.findElement(u"b"));
    EXPECT_EQ(doc.attribute(u"n"), u"1");
    ASSERT_TRUE(doc.findElement(u"b"));
    EXPECT_EQ(doc.attribute(u"n"), u"2");
    EXPECT_FALSE(doc.findElement(u"b"));  // the inner b is a level down
    ASSERT_TRUE(doc.findElement(u"c"));
    // Null and empty names take the next element, whatever its name.
    CheckedDoc any(u"<r><a/><b/></r>");
    ASSERT_TRUE(any.findElement(nullptr));
    any.enterElement();
    ASSERT_TRUE(any.findElement(u""));
    EXPECT_EQ(any.tagName(any.currentPos()), u"a");
    ASSERT_TRUE(any.findElement(nullptr));
    EXPECT_EQ(any.tagName(any.currentPos()), u"b");
    EXPECT_FALSE(any.findElement(nullptr));
}

TEST(Navigation, NamesCompareExactly) {
    CheckedDoc doc(u"<r><File/><files/><fil/><file/></r>");
    ASSERT_TRUE(doc.findElement(u"r"));
    doc.enterElement();
    ASSERT_TRUE(doc.findElement(u"file"));
    EXPECT_EQ(doc.currentPos(), 5);
    // A tag name runs to the first delimiter; a name holding one matches none.
    const struct {
        const char16_t* name;
        int32_t found;  // 0: none
    } cases[] = {{u"a", 2}, {u"ab", 3}, {u"a!b", 0}, {u"a?", 0}, {u"k", 7}, {u"ab\u00e9", 8}, {u"ab\u00e9x", 0}};
    for (const auto& c : cases) {
        CheckedDoc tags(u"<r><a!b/><ab/><a?x/><a;/><a\tk='1'/><k>t</k><ab\u00e9 x='1'/></r>");
        ASSERT_TRUE(tags.findElement(u"r"));
        tags.enterElement();
        EXPECT_EQ(tags.findElement(c.name), c.found != 0) << platform::utf16ToUtf8(c.name);
        EXPECT_EQ(tags.currentPos(), c.found) << platform::utf16ToUtf8(c.name);
    }
}

TEST(Navigation, PathsFindOnlyByTheFirstRelativeStep) {
    CheckedDoc doc(u"<update><file/></update>");
    for (const char16_t* bad : {u"/update", u"//update", u"update/", u"update x", u"/", u"//",
                                u"update[", u"update[1x]", u"update[@]", u"update//file",
                                u"update[1][2]", u"[1]", u"update[@a='x]", u"update/@"}) {
        EXPECT_FALSE(doc.findElement(bad)) << std::u16string(bad).size();
        EXPECT_EQ(doc.currentPos(), 0);
    }
    for (const char16_t* good : {u"update", u"update[1]", u"update/file", u"update[@a]", u"update[@a='x]']",
                                 u"update[@a=x]", u"update[@a=\"x\"]/file[12]", u"update[b]/@c",
                                 u"update/file/@md5"}) {
        CheckedDoc fresh(u"<update><file/></update>");
        EXPECT_TRUE(fresh.findElement(good)) << std::u16string(good).size();
        EXPECT_EQ(fresh.currentPos(), 1);
    }
}

TEST(Navigation, ElementPathKinds) {
    EXPECT_EQ(parseElementPath(nullptr).kind, ElementPath::NO_NAME);
    EXPECT_EQ(parseElementPath(u"").kind, ElementPath::NO_NAME);
    EXPECT_EQ(parseElementPath(u"a").kind, ElementPath::RELATIVE);
    EXPECT_EQ(parseElementPath(u"a").firstName, 0);
    EXPECT_EQ(parseElementPath(u"/a/b").kind, ElementPath::ROOTED);
    EXPECT_EQ(parseElementPath(u"/a/b").firstName, 1);
    EXPECT_EQ(parseElementPath(u"//a").kind, ElementPath::ANYWHERE);
    EXPECT_EQ(parseElementPath(u"//a").firstName, 2);
    EXPECT_EQ(parseElementPath(u"//a/b").kind, ElementPath::INVALID);
    EXPECT_EQ(parseElementPath(u"/").kind, ElementPath::INVALID);
    EXPECT_EQ(parseElementPath(u"a/").kind, ElementPath::INVALID);
    EXPECT_EQ(parseElementPath(u"a]").kind, ElementPath::INVALID);
    EXPECT_EQ(parseElementPath(u"a=b").kind, ElementPath::INVALID);
}

TEST(Navigation, EnterElement) {
    CheckedDoc doc(u"<r><a><x/></a><b/></r>");
    doc.enterElement();  // nothing current: no change
    EXPECT_EQ(doc.parentPos(), 0);
    ASSERT_TRUE(doc.findElement(u"r"));
    doc.enterElement();
    ASSERT_TRUE(doc.findElement(u"b"));
    doc.enterElement();  // b has no children
    EXPECT_EQ(doc.parentPos(), 4);
    EXPECT_EQ(doc.currentPos(), 0);
    EXPECT_EQ(doc.nodeType(), 0);
    EXPECT_FALSE(doc.findElement(nullptr));
    doc.enterElement();  // no element current now
    EXPECT_EQ(doc.parentPos(), 4);
    EXPECT_EQ(doc.attribute(u"x"), u"");
}

TEST(Navigation, TagName) {
    CheckedDoc doc(u"<a:b x='1'><c/><d\\e/></a:b>");
    EXPECT_EQ(doc.tagName(0), u"");
    EXPECT_EQ(doc.tagName(1), u"a:b");
    EXPECT_EQ(doc.tagName(2), u"c");
    EXPECT_EQ(doc.tagName(3), u"d");
    EXPECT_EQ(doc.tagName(4), u"");
    EXPECT_EQ(doc.tagName(-1), u"");
}

TEST(Attributes, DecodedValues) {
    CheckedDoc doc(u"<file path = \"a&amp;b&#x41;&#66;&lt;\">");
    ASSERT_TRUE(doc.findElement(u"file"));
    EXPECT_EQ(doc.attribute(u"path"), u"a&bAB<");
    EXPECT_EQ(doc.attribute(nullptr), u"");
    CheckedDoc none(u"<file/>");
    EXPECT_EQ(none.attribute(u"path"), u"");  // no element current
}

TEST(Attributes, ValueForms) {
    CheckedDoc doc(u"<file flag path=x/ q='it''s' e= end=\"\" u=a/b s=\"x\ty\" />");
    ASSERT_TRUE(doc.findElement(u"file"));
    EXPECT_EQ(doc.attribute(u"flag"), u"flag");
    EXPECT_EQ(doc.attribute(u"path"), u"x/");
    EXPECT_EQ(doc.attribute(u"q"), u"it");
    EXPECT_EQ(doc.attribute(u"e"), u"end=\"\"");
    EXPECT_EQ(doc.attribute(u"u"), u"a/b");
    EXPECT_EQ(doc.attribute(u"s"), u"x\ty");
    EXPECT_EQ(doc.attribute(u"file"), u"");  // the tag name is not an attribute
    CheckedDoc pathx(u"<file pathx=\"1\">");
    ASSERT_TRUE(pathx.findElement(u"file"));
    EXPECT_EQ(pathx.attribute(u"path"), u"");
    CheckedDoc last(u"<file a b>");
    ASSERT_TRUE(last.findElement(nullptr));
    EXPECT_EQ(last.attribute(u"b"), u"b");
    EXPECT_EQ(last.attribute(u"a"), u"a");
}

// The attributes recorded by the first lookup on an element serve only that
// element of that parse.
TEST(Attributes, RecordedPerElementAndParse) {
    CheckedDoc doc(u"<r><f a='1' b='2'/><f a='3'/></r>");
    ASSERT_TRUE(doc.findElement(u"r"));
    doc.enterElement();
    ASSERT_TRUE(doc.findElement(u"f"));
    EXPECT_EQ(doc.attribute(u"b"), u"2");
    EXPECT_EQ(doc.attribute(u"a"), u"1");
    ASSERT_TRUE(doc.findElement(u"f"));
    EXPECT_EQ(doc.attribute(u"a"), u"3");
    EXPECT_EQ(doc.attribute(u"b"), u"");
    doc.setDocument(u"<r><f b='4'/><f a='5'/></r>");
    ASSERT_TRUE(doc.findElement(u"r"));
    doc.enterElement();
    ASSERT_TRUE(doc.findElement(u"f"));
    ASSERT_TRUE(doc.findElement(u"f"));
    EXPECT_EQ(doc.attribute(u"a"), u"5");
    doc.rewind();
    ASSERT_TRUE(doc.findElement(u"r"));
    EXPECT_EQ(doc.attribute(u"a"), u"");
}

TEST(Attributes, FindAttributeCursor) {
    const char16_t* text = u"<file  md5 = 'x' path=\"p\" bare other>";
    TokenCursor cursor = cursorAt(text, 1);
    ASSERT_TRUE(findAttribute(cursor, u"md5"));
    EXPECT_EQ(cursor.tokenStart, 14);
    EXPECT_EQ(cursor.tokenEnd, 14);
    EXPECT_EQ(cursor.attrStart, 5);
    EXPECT_EQ(cursor.attrLead, 2);
    EXPECT_EQ(cursor.flags & CURSOR_QUOTED, CURSOR_QUOTED);

    TokenCursor bare = cursorAt(text, 1, CURSOR_QUOTED);
    ASSERT_TRUE(findAttribute(bare, u"bare"));
    EXPECT_EQ(std::u16string(text + bare.tokenStart, text + bare.tokenEnd + 1), u"bare");
    EXPECT_EQ(bare.flags & CURSOR_QUOTED, 0u);
    EXPECT_EQ(bare.attrStart, 25);
    EXPECT_EQ(bare.attrLead, 1);

    // At the end of the tag the cursor goes back to the pass's start.
    TokenCursor other = cursorAt(text, 1);
    ASSERT_TRUE(findAttribute(other, u"other"));
    EXPECT_EQ(other.next, 36);
    TokenCursor missing = cursorAt(text, 1);
    EXPECT_FALSE(findAttribute(missing, u"size"));
    EXPECT_EQ(missing.next, 36);
}

TEST(Attributes, ProcessingInstructionAndEndOfText) {
    const char16_t* decl = u"<?xml version=\"1.0\" encoding='GB2312'?>";
    TokenCursor cursor = cursorAt(decl, 2);
    ASSERT_TRUE(findAttribute(cursor, u"encoding"));
    EXPECT_EQ(std::u16string(decl + cursor.tokenStart, decl + cursor.tokenEnd + 1), u"GB2312");
    // The text ends inside the tag.
    const char16_t* cut = u"<a x=";
    TokenCursor afterEquals = cursorAt(cut, 1);
    ASSERT_TRUE(findAttribute(afterEquals, u"x"));
    EXPECT_EQ(afterEquals.tokenEnd, afterEquals.tokenStart - 1);
    const char16_t* cutName = u"<a x";
    TokenCursor afterName = cursorAt(cutName, 1);
    ASSERT_TRUE(findAttribute(afterName, u"x"));
    EXPECT_EQ(afterName.tokenStart, 3);
    EXPECT_EQ(afterName.tokenEnd, 3);
    const char16_t* cutQuote = u"<a x='abc";
    TokenCursor open = cursorAt(cutQuote, 1);
    ASSERT_TRUE(findAttribute(open, u"x"));
    EXPECT_EQ(std::u16string(cutQuote + open.tokenStart, cutQuote + open.tokenEnd + 1), u"abc");
}

}  // namespace
}  // namespace xml
