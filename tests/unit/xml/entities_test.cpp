#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>

#include "xml/entities.h"

namespace xml {
namespace {

struct Entity {
    const char16_t* name;
    int32_t codePoint;
};

// The plain list the packed table is generated from.
const Entity kEntities[] = {
#include "tools/html_entities.inc"
};

std::u16string decode(const std::u16string& s) {
    return decodeEntities(s.c_str(), int32_t(s.size()));
}

// Every spelling of the list resolves to its own code point, in a text and
// by itself, and nothing resolves that is not in the list: neither a name cut
// short nor one with a letter more.
TEST(EntityTable, ResolvesExactlyTheNamesOfTheList) {
    EXPECT_EQ(std::size(kEntities), 253u);
    std::map<std::u16string, int32_t> known;
    for (const Entity& e : kEntities) {
        known[e.name] = e.codePoint;
    }
    for (const Entity& e : kEntities) {
        const std::u16string name = e.name;
        EXPECT_EQ(lookupEntity(name.c_str(), int32_t(name.size())), e.codePoint);
        const std::u16string inText = std::u16string(u"a&").append(name).append(u";b");
        EXPECT_EQ(decode(inText), std::u16string(u"a").append(1, char16_t(e.codePoint)).append(u"b"));
        for (const std::u16string& near : {name.substr(0, name.size() - 1), name + u"x", name + u"s"}) {
            const auto listed = known.find(near);
            EXPECT_EQ(lookupEntity(near.c_str(), int32_t(near.size())), listed != known.end() ? listed->second : 0)
                << std::string(near.begin(), near.end());
        }
    }
}

TEST(EntityTable, LetterCaseOfReferences) {
    EXPECT_EQ(lookupEntity(u"AMP", 3), 38);
    EXPECT_EQ(lookupEntity(u"Amp", 3), 38);
    // Names held twice: the spelling with capitals takes the capital form.
    EXPECT_EQ(lookupEntity(u"Eacute", 6), 201);
    EXPECT_EQ(lookupEntity(u"eacute", 6), 233);
    EXPECT_EQ(lookupEntity(u"EACUTE", 6), 201);
    EXPECT_EQ(lookupEntity(u"yuml", 4), 255);
    EXPECT_EQ(lookupEntity(u"Yuml", 4), 376);
    EXPECT_EQ(lookupEntity(u"rarr", 4), 8594);
    EXPECT_EQ(lookupEntity(u"rArr", 4), 8658);
    EXPECT_EQ(lookupEntity(u"nosuch", 6), 0);
    EXPECT_EQ(lookupEntity(u"", 0), 0);
    EXPECT_EQ(lookupEntity(u"thetasymx", 9), 0);
}

TEST(DecodeEntities, NamedAndNumericReferences) {
    EXPECT_EQ(decode(u"a&amp;b&#x41;&#66;&lt;"), u"a&bAB<");
    EXPECT_EQ(decode(u"&AMP;&quot;&apos;&gt;"), u"&\"'>");
    EXPECT_EQ(decode(u"&#X4a;&#x4A;&#0074;"), u"JJJ");
    EXPECT_EQ(decode(u"&euro;&diams;&thetasym;"), u"\u20ac\u2666\u03d1");
    EXPECT_EQ(decode(u"&#128512;"), u"\U0001F600");
    EXPECT_EQ(decode(u"&#x10FFFF;"), u"\U0010FFFF");
    EXPECT_EQ(decode(u"&#65536;"), u"\U00010000");
    EXPECT_EQ(decode(u"&#65535;"), std::u16string(1, char16_t(0xFFFF)));
    // Whitespace and a sign before the digits, anything after them.
    EXPECT_EQ(decode(u"&# 65;&#+66;&#67z;&#x44g;"), u"ABCD");
}

TEST(DecodeEntities, BadReferencesAreCopied) {
    EXPECT_EQ(decode(u"&nosuch;"), u"&nosuch;");
    EXPECT_EQ(decode(u"&#0;"), u"&#0;");
    EXPECT_EQ(decode(u"&#;&#x;&#z;"), u"&#;&#x;&#z;");
    EXPECT_EQ(decode(u"&"), u"&");
    EXPECT_EQ(decode(u"a&"), u"a&");
    EXPECT_EQ(decode(u"&amp"), u"&amp");
    EXPECT_EQ(decode(u"&;"), u"&;");
    // No ";" within nine code units.
    EXPECT_EQ(decode(u"&thetasymx;"), u"&thetasymx;");
    EXPECT_EQ(decode(u"&#0000065;"), u"A");
    EXPECT_EQ(decode(u"&#00000065;"), u"&#00000065;");
    // A code unit from 128 up before the ";".
    EXPECT_EQ(decode(u"&am\u00e9;"), u"&am\u00e9;");
    // After a copied "&" the rest is read again: "&&amp;" is "&&".
    EXPECT_EQ(decode(u"&&amp;"), u"&&");
    // Out of the code point range: copied like an unknown name.
    EXPECT_EQ(decode(u"&#x110000;"), u"&#x110000;");
    EXPECT_EQ(decode(u"&#1114112;"), u"&#1114112;");
    EXPECT_EQ(decode(u"&#-65;"), u"&#-65;");
    EXPECT_EQ(decode(u"&#x-41;"), u"&#x-41;");
    EXPECT_EQ(decode(u"&#99999999;"), u"&#99999999;");
}

TEST(DecodeEntities, OnlyTheGivenLength) {
    const char16_t* text = u"a&amp;b";
    EXPECT_EQ(decodeEntities(text, 5), u"a&amp");
    EXPECT_EQ(decodeEntities(text, 0), u"");
    // Code units that are not references stay as they are, whitespace too.
    const std::u16string raw = u" \t\r\n\u4e2d\\x\0y";
    EXPECT_EQ(decodeEntities(raw.c_str(), int32_t(raw.size())), raw);
}

// The search for the first reference works on blocks of code units: a
// reference must be found at every offset of values of every length, and a
// "&" just past the given length must not count.
TEST(DecodeEntities, ReferenceAtEveryOffset) {
    for (int32_t length = 0; length <= 40; ++length) {
        const std::u16string plain(std::size_t(length), u'v');
        const std::u16string beyond = plain + u"&amp;";
        EXPECT_EQ(decodeEntities(beyond.c_str(), length), plain) << length;
        for (int32_t at = 0; at + 5 <= length; ++at) {
            const std::u16string before(std::size_t(at), u'v');
            const std::u16string after(std::size_t(length - at - 5), u'w');
            EXPECT_EQ(decode(before + u"&amp;" + after), before + u"&" + after) << length << " " << at;
        }
    }
}

}  // namespace
}  // namespace xml
