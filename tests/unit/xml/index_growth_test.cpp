// Index storage: growth across segment boundaries, the record limits, and
// inputs that would take quadratic time if handled naively.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <string_view>

#include "unit/xml/index_invariants.h"
#include "xml/xml_doc.h"

namespace xml {
namespace {

std::u16string join(std::initializer_list<std::u16string_view> parts) {
    std::u16string out;
    for (const std::u16string_view part : parts) {
        out += part;
    }
    return out;
}

std::u16string repeat(const char16_t* piece, int count) {
    std::u16string out;
    for (int i = 0; i < count; ++i) {
        out += piece;
    }
    return out;
}

TEST(IndexGrowth, ElementsDenserThanTheFirstEstimate) {
    // Far more elements than the text's length suggests: the index grows
    // several times while parsing, and every record made before stays.
    for (const int children : {1, 16, 17, 100, 5000}) {
        const std::u16string text = join({u"<r>", repeat(u"<a/>", children), u"</r>"});
        XmlDoc doc(text.c_str());
        EXPECT_TRUE(doc.wellFormed());
        ASSERT_EQ(doc.nextFree(), children + 2);
        EXPECT_GE(doc.index().size, doc.nextFree());
        EXPECT_EQ(checkIndex(doc), "");
        for (int32_t r = 2; r < doc.nextFree(); ++r) {
            ASSERT_EQ(doc.record(r).start, 3 + 4 * (r - 2));
            ASSERT_EQ(doc.record(r).parent, 1);
        }
    }
}

TEST(IndexGrowth, OneSegmentPerCallAndFullSegmentsStay) {
    ElementIndex idx;
    idx.grow(8, 0);
    EXPECT_EQ(idx.size, 8);
    for (int32_t i = 0; i < 8; ++i) {
        idx[i] = ElemPos{i, 0, 0, 0, 0, 0, 0, 0};
    }
    // Into the second segment: the first becomes full, its records kept.
    idx.grow(70000, 8);
    EXPECT_EQ(idx.size, 70000);
    const ElemPos* first = idx.segments[0].get();
    for (int32_t i = 0; i < 8; ++i) {
        EXPECT_EQ(idx[i].start, i);
    }
    idx[65535].start = 65535;
    idx[65536].start = 65536;
    idx[69999].start = 69999;
    // A wish far ahead stops at the end of the next segment.
    idx.grow(1000000, 70000);
    EXPECT_EQ(idx.size, 3 * 65536);
    EXPECT_EQ(idx.segments[0].get(), first);
    EXPECT_EQ(idx[65535].start, 65535);
    EXPECT_EQ(idx[65536].start, 65536);
    EXPECT_EQ(idx[69999].start, 69999);
    const ElemPos* second = idx.segments[1].get();
    // Growing inside the last segment moves only that one.
    idx.grow(3 * 65536 + 10, 3 * 65536);
    EXPECT_EQ(idx.size, 3 * 65536 + 10);
    idx.grow(3 * 65536 + 20, 3 * 65536 + 5);
    EXPECT_EQ(idx.segments[0].get(), first);
    EXPECT_EQ(idx.segments[1].get(), second);
    EXPECT_EQ(idx[65536].start, 65536);
    // More segments than the segment array held: the segments themselves stay.
    idx.grow(5 * 65536, 0);
    EXPECT_EQ(idx.size, 5 * 65536);
    EXPECT_EQ(idx.segments[0].get(), first);
    EXPECT_EQ(idx.segments[1].get(), second);
    EXPECT_EQ(idx[65535].start, 65535);
    idx.clear();
    EXPECT_EQ(idx.size, 0);
    EXPECT_EQ(idx.segmentSlots, 0);
}

TEST(IndexGrowth, DocumentsOverTwoAndThreeSegments) {
    for (const int children : {70000, 140000}) {
        const std::u16string text =
            join({u"<update>\r\n", repeat(u"<file path='p' md5='m'/>\r\n", children), u"</update>"});
        XmlDoc doc(text.c_str());
        EXPECT_TRUE(doc.wellFormed());
        EXPECT_EQ(doc.nextFree(), children + 2);
        EXPECT_GE(doc.index().size, doc.nextFree());
        EXPECT_EQ(checkIndex(doc), "");
        ASSERT_TRUE(doc.findElement(u"update"));
        doc.enterElement();
        int found = 0;
        while (doc.findElement(u"file")) {
            ++found;
            if (found == 65535 || found == 65536 || found == 131072) {
                EXPECT_EQ(doc.attribute(u"md5"), u"m");
            }
        }
        EXPECT_EQ(found, children);
        EXPECT_EQ(doc.record(children + 1).prevSibling, children);
    }
}

TEST(RecordLimits, StartTagLength) {
    const int32_t max = int32_t(ElemPos::START_TAG_MAX);
    const auto startTagOf = [](int32_t length) {
        return join({u"<a", std::u16string(std::size_t(length - 3), u' '), u"></a>"});
    };
    XmlDoc fits(startTagOf(max).c_str());
    EXPECT_TRUE(fits.wellFormed());
    EXPECT_EQ(fits.record(1).startTagLength(), max);
    EXPECT_EQ(fits.record(1).endTagLength(), 4);
    XmlDoc over(startTagOf(max + 1).c_str());
    EXPECT_FALSE(over.wellFormed());
    EXPECT_EQ(over.record(0).levelFlags, ILL_FORMED);
    const ElemPos& a = over.record(1);
    EXPECT_EQ(a.startTagLength(), max);
    EXPECT_EQ(a.endTagLength(), 4);  // not overwritten by the long start tag
    EXPECT_EQ(a.length, max + 1 + 4);
    EXPECT_EQ(a.levelFlags, FIRST_CHILD | 0u);
    EXPECT_EQ(checkIndex(over), "");
    EXPECT_EQ(over.fault().kind, FaultKind::kStartTagTooLong);
    EXPECT_EQ(over.fault().element, 1);
    // Never closed, the element is at fault as a whole, before its start tag.
    XmlDoc unended(startTagOf(max + 1).substr(0, std::size_t(max) + 1).c_str());
    EXPECT_EQ(unended.fault().kind, FaultKind::kUnendedElement);
    EXPECT_EQ(unended.fault().element, 1);
}

TEST(RecordLimits, EndTagLength) {
    const std::u16string fits = join({u"<a b='1'></a", std::u16string(1019, u' '), u">"});
    XmlDoc ok(fits.c_str());
    EXPECT_TRUE(ok.wellFormed());
    EXPECT_EQ(ok.record(1).endTagLength(), 1023);
    EXPECT_EQ(ok.record(1).startTagLength(), 9);
    const std::u16string longer = join({u"<a b='1'></a", std::u16string(1020, u' '), u">"});
    XmlDoc over(longer.c_str());
    EXPECT_FALSE(over.wellFormed());
    EXPECT_EQ(over.record(0).levelFlags, ILL_FORMED);
    EXPECT_EQ(over.record(1).endTagLength(), 1023);
    EXPECT_EQ(over.record(1).startTagLength(), 9);
    EXPECT_EQ(over.record(1).length, int32_t(longer.size()));
    EXPECT_EQ(checkIndex(over), "");
    EXPECT_EQ(over.fault().kind, FaultKind::kEndTagTooLong);
    EXPECT_EQ(over.fault().offset, 9);
    EXPECT_EQ(over.fault().length, 1024);
}

TEST(RecordLimits, NestingLevel) {
    // Levels 0 to 65535 fit.
    const int deepest = 65536;
    std::u16string text = join({repeat(u"<a>", deepest), repeat(u"</a>", deepest)});
    XmlDoc fits(text.c_str());
    EXPECT_TRUE(fits.wellFormed());
    EXPECT_EQ(fits.record(deepest).level(), 65535);
    EXPECT_EQ(checkIndex(fits), "");
    // The deepest level that fits is no fault, even beside one.
    fits.setDocument(join({text, u"<1>"}).c_str());
    EXPECT_EQ(fits.fault().kind, FaultKind::kSyntaxError);
    text = join({repeat(u"<a>", deepest + 1), u"<b/>", repeat(u"</a>", deepest + 1)});
    XmlDoc over(text.c_str());
    EXPECT_FALSE(over.wellFormed());
    EXPECT_EQ(over.record(0).levelFlags, ILL_FORMED);
    // The level stays in its bits: no flag is touched.
    EXPECT_EQ(over.record(deepest + 1).levelFlags, FIRST_CHILD | ElemPos::LEVEL_MAX);
    EXPECT_EQ(over.record(deepest + 2).levelFlags, FIRST_CHILD | ElemPos::LEVEL_MAX);
    EXPECT_EQ(over.record(deepest + 2).parent, deepest + 1);
    EXPECT_EQ(over.record(1).levelFlags & UNENDED, 0u);
    EXPECT_EQ(checkIndex(over), "");
    EXPECT_EQ(over.fault().kind, FaultKind::kTooDeep);
    EXPECT_EQ(over.fault().offset, 3 * deepest);
    EXPECT_EQ(over.fault().element, deepest + 1);
}

// These inputs take well under a second in linear time. Handled naively they
// take quadratic time, 10^11 steps and more, far beyond the time limit ctest
// gives the unit tests: such a regression fails by running out of time.
TEST(LinearTime, UnclosedStartTags) {
    // Three megabytes of "<a>": each closing at the end hands on all the
    // children gathered so far. Everything ends up on the top level.
    const int count = 1000000;
    const std::u16string text = repeat(u"<a>", count);
    XmlDoc doc(text.c_str());
    EXPECT_FALSE(doc.wellFormed());
    EXPECT_EQ(checkIndex(doc), "");
    EXPECT_EQ(doc.record(1).prevSibling, count);
    EXPECT_EQ(doc.record(count).parent, 0);
    EXPECT_EQ(doc.record(count).level(), 0);
    EXPECT_EQ(doc.record(count - 1).nextSibling, count);
}

TEST(LinearTime, StrayEndTagsUnderDeepNesting) {
    // Each stray end tag would be compared with every open element.
    const int count = 1000000;
    std::u16string text = join({u"<x>", repeat(u"<a>", count), repeat(u"</b>", count), u"</x>"});
    XmlDoc doc(text.c_str());
    EXPECT_FALSE(doc.wellFormed());
    EXPECT_EQ(checkIndex(doc), "");
    EXPECT_EQ(doc.record(count + 1).levelFlags & ERROR_INSIDE, 0u);  // moved up to x
    EXPECT_EQ(doc.record(1).levelFlags & ERROR_INSIDE, ERROR_INSIDE);
    EXPECT_EQ(doc.record(1).endTagLength(), 4);
    // Names that share a long prefix, mixed with ones that do match.
    const std::u16string prefix(20, u'a');
    text = join({u"<x>", repeat(join({u"<", prefix, u"b c='1'>"}).c_str(), 200000),
                 repeat(join({u"</", prefix, u"c></", prefix, u"b>"}).c_str(), 100000), u"</x>"});
    doc.setDocument(text.c_str());
    EXPECT_EQ(checkIndex(doc), "");
    EXPECT_EQ(doc.record(200001).endTagLength(), 24);
    EXPECT_EQ(doc.record(100001).levelFlags & UNENDED, UNENDED);
    EXPECT_EQ(doc.record(100002).endTagLength(), 24);
}

}  // namespace
}  // namespace xml
