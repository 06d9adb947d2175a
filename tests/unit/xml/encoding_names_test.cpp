#include "xml/encoding_names.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace xml {
namespace {

struct NameRow {
    std::int32_t codePage;
    std::vector<std::string_view> names;
};

const std::vector<NameRow> kRows = {
#define ROW(codePage, ...) {codePage, {__VA_ARGS__}},
#include "encoding_names.def"
#undef ROW
};

std::u16string wide(std::string_view ascii) { return {ascii.begin(), ascii.end()}; }

std::u16string upper(std::u16string s) {
    for (auto& c : s) {
        if (c >= u'a' && c <= u'z') {
            c = static_cast<char16_t>(c - (u'a' - u'A'));
        }
    }
    return s;
}

TEST(EncodingNames, EveryListedNameResolvesInAnyLetterCase) {
    std::size_t names = 0;
    for (const auto& row : kRows) {
        for (auto name : row.names) {
            ++names;
            const std::u16string w = wide(name);
            EXPECT_EQ(codePageFromName(w), row.codePage) << name;
            // Capital "UTF-32..." is our own UTF-32, not a table name.
            if (!upper(w).starts_with(u"UTF-32")) {
                EXPECT_EQ(codePageFromName(upper(w)), row.codePage) << name;
            }
        }
    }
    EXPECT_EQ(kRows.size(), 110u);
    EXPECT_EQ(names, 365u);
}

TEST(EncodingNames, PackedTableHoldsExactlyTheListedEntries) {
    std::set<std::u16string> expected;
    for (const auto& row : kRows) {
        for (auto name : row.names) {
            char digits[8];
            std::snprintf(digits, sizeof digits, "%02zu%05d", name.size(), static_cast<int>(row.codePage));
            expected.insert(wide(digits) + wide(name));
        }
    }
    std::set<std::u16string> packed;
    int empty = 0;
    for (int bucket = 0; bucket < kEncodingNameBuckets; ++bucket) {
        std::u16string_view rest = EncodingNameTable[bucket];
        empty += rest.empty() ? 1 : 0;
        while (!rest.empty()) {
            ASSERT_GE(rest.size(), 7u);
            const std::size_t length = static_cast<std::size_t>((rest[0] - u'0') * 10 + (rest[1] - u'0'));
            ASSERT_GE(rest.size(), 7 + length);
            const std::u16string_view name = rest.substr(7, length);
            unsigned sum = 0;
            for (char16_t c : name) {
                sum += c;
            }
            EXPECT_EQ(sum % kEncodingNameBuckets, static_cast<unsigned>(bucket));
            packed.emplace(rest.substr(0, 7 + length));
            rest.remove_prefix(7 + length);
        }
    }
    EXPECT_EQ(empty, 17);
    EXPECT_EQ(packed, expected);
}

TEST(EncodingNames, Utf32CapitalsMeanOwnCodePoints) {
    EXPECT_EQ(codePageFromName(u"UTF-32"), 65005);
    EXPECT_EQ(codePageFromName(u"UTF-32BE"), 65005);
    EXPECT_EQ(codePageFromName(u"UTF-32LE"), 65005);
    EXPECT_EQ(codePageFromName(u"utf-32"), 12000);
    EXPECT_EQ(codePageFromName(u"Utf-32"), 12000);
    EXPECT_EQ(codePageFromName(u"utf-32be"), 12001);
    EXPECT_EQ(codePageFromName(u"UTF-3"), -1);
    // The prefix test comes before the length limit.
    EXPECT_EQ(codePageFromName(u"UTF-32" + std::u16string(200, u'x')), 65005);
}

TEST(EncodingNames, CommonNamesInMixedCase) {
    EXPECT_EQ(codePageFromName(u"UTF-8"), 65001);
    EXPECT_EQ(codePageFromName(u"Utf8"), 65001);
    EXPECT_EQ(codePageFromName(u"GB2312"), 936);
    EXPECT_EQ(codePageFromName(u"gBk"), 936);
    EXPECT_EQ(codePageFromName(u"GB18030"), 54936);
    EXPECT_EQ(codePageFromName(u"SHIFT_JIS"), 932);
    EXPECT_EQ(codePageFromName(u"ISO-8859-1"), 28591);
    EXPECT_EQ(codePageFromName(u"Windows-1252"), 1252);
    EXPECT_EQ(codePageFromName(u"UTF-16"), 1200);
    EXPECT_EQ(codePageFromName(u"UTF-16LE"), 1200);
    EXPECT_EQ(codePageFromName(u"UTF-16BE"), 1201);
}

TEST(EncodingNames, ExactMatchOnlyAfterLowering) {
    EXPECT_EQ(codePageFromName(u""), 0);
    EXPECT_EQ(codePageFromName(u"ANSI"), -1);
    EXPECT_EQ(codePageFromName(u" utf-8"), -1);
    EXPECT_EQ(codePageFromName(u"utf-8 "), -1);
    EXPECT_EQ(codePageFromName(u"utf-"), -1);
    EXPECT_EQ(codePageFromName(u"cp1256"), 1256);
    EXPECT_EQ(codePageFromName(u"cp1256 "), 1256);
    EXPECT_EQ(codePageFromName(u"CP1256 "), 1256);
    // Only A to Z are lowered: a fullwidth capital does not become "k".
    EXPECT_EQ(codePageFromName(u"gb\uFF2B"), -1);
    // A name summing to the same bucket as "gbk" but not in it.
    EXPECT_EQ(codePageFromName(u"gkb"), -1);
}

TEST(EncodingNames, LengthLimit) {
    const std::u16string longest = u"extended_unix_code_packed_format_for_japanese";
    EXPECT_EQ(codePageFromName(longest), 20932);
    EXPECT_EQ(codePageFromName(std::u16string(99, u'a')), -1);
    EXPECT_EQ(codePageFromName(std::u16string(100, u'a')), -1);
    EXPECT_EQ(codePageFromName(std::u16string(5000, u'A')), -1);
}

}  // namespace
}  // namespace xml
