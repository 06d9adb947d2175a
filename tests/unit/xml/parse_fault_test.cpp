#include <gtest/gtest.h>

#include <string>

#include "platform/utf.h"
#include "xml/parse_fault.h"
#include "xml/xml_doc.h"

namespace xml {
namespace {

struct FaultCase {
    const char16_t* text;
    FaultKind kind;
    int32_t offset;
    int32_t length;
    int32_t element;
};

// The fault that begins first in the text, whenever the parse met it; the
// top level counts only for markup without faults.
const FaultCase kFaults[] = {
    {u"<a><b></b></a>", FaultKind::kNone, -1, 0, 0},
    {u"", FaultKind::kNoElement, -1, 0, 0},
    {u"<!-- c --> text <?pi?>", FaultKind::kNoElement, -1, 0, 0},
    {u"<a/> <b></b><c/>", FaultKind::kSecondElement, 5, 3, 2},
    {u"<a><1></a>", FaultKind::kSyntaxError, 3, 3, 0},
    {u"<a x='>", FaultKind::kSyntaxError, 0, 7, 0},
    {u"<a></b></a>", FaultKind::kLoneEndTag, 3, 4, 0},
    {u"</a><a/>", FaultKind::kLoneEndTag, 0, 4, 0},
    {u"<a><b x='1'></a>", FaultKind::kUnendedElement, 3, 9, 2},
    {u"<a>", FaultKind::kUnendedElement, 0, 3, 1},
    // An unended element is met when it is closed, after faults inside it.
    {u"<a><b><1></c></a>", FaultKind::kUnendedElement, 3, 3, 2},
    {u"<a><1><b></a>", FaultKind::kSyntaxError, 3, 3, 0},
    {u"<a></c><b></a>", FaultKind::kLoneEndTag, 3, 4, 0},
    // A fault of the markup comes before an earlier second element.
    {u"<a/><b/><1>", FaultKind::kSyntaxError, 8, 3, 0},
    {u"<a/><b/>\n<c>", FaultKind::kUnendedElement, 9, 3, 3},
};

TEST(ParseFault, FirstFaultOfTheText) {
    XmlDoc doc;
    for (const FaultCase& c : kFaults) {
        const bool wellFormed = doc.setDocument(c.text);
        const ParseFault& f = doc.fault();
        const std::string where = platform::utf16ToUtf8(c.text);
        EXPECT_EQ(f.kind, c.kind) << where;
        EXPECT_EQ(f.offset, c.offset) << where;
        EXPECT_EQ(f.length, c.length) << where;
        EXPECT_EQ(f.element, c.element) << where;
        EXPECT_EQ(wellFormed, c.kind == FaultKind::kNone) << where;
    }
    // A new parse starts afresh.
    EXPECT_TRUE(doc.setDocument(u"<r/>"));
    EXPECT_EQ(doc.fault().kind, FaultKind::kNone);
}

TEST(ParseFault, LinesAndColumns) {
    struct Case {
        const char16_t* text;
        int32_t offset;
        int32_t line;
        int32_t column;
    };
    const Case cases[] = {
        {u"<a>", 0, 1, 1},         {u"ab\ncd", 3, 2, 1},       {u"ab\ncd", 4, 2, 2},
        {u"a\r\nb", 2, 1, 3},      {u"a\r\nb", 3, 2, 1},       {u"a\rb", 2, 2, 1},
        {u"a\n\n\r\r\nb", 6, 5, 1}, {u"x\r", 2, 2, 1},          {u"\u4e2d\U0001F600<", 3, 1, 4},
    };
    for (const Case& c : cases) {
        const TextPosition p = textPosition(c.text, c.offset);
        EXPECT_EQ(p.line, c.line) << platform::utf16ToUtf8(c.text) << " at " << c.offset;
        EXPECT_EQ(p.column, c.column) << platform::utf16ToUtf8(c.text) << " at " << c.offset;
    }
}

}  // namespace
}  // namespace xml
