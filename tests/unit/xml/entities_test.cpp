#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

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

std::u16string lower(std::u16string s) {
    for (char16_t& c : s) {
        if (c >= u'A' && c <= u'Z') {
            c = char16_t(c + 32);
        }
    }
    return s;
}

std::u16string decode(const std::u16string& s) {
    return decodeEntities(s.c_str(), int32_t(s.size()));
}

struct Packed {
    std::u16string name;
    int32_t codePoint;
};

std::vector<Packed> unpack(const char16_t* bucket) {
    std::vector<Packed> out;
    for (const char16_t* e = bucket; *e != 0;) {
        const int32_t length = *e - u'0';
        int32_t cp = 0;
        for (int i = 1; i <= 4; ++i) {
            cp = cp * 10 + (e[i] - u'0');
        }
        out.push_back({std::u16string(e + 5, std::size_t(length)), cp});
        e += 5 + length;
    }
    return out;
}

TEST(EntityTable, PackedAsDescribed) {
    int entries = 0;
    int empty = 0;
    std::map<std::u16string, int> names;
    for (int32_t b = 0; b < ENTITY_BUCKETS; ++b) {
        const std::vector<Packed> bucket = unpack(EntityTable[b]);
        empty += bucket.empty() ? 1 : 0;
        for (const Packed& p : bucket) {
            ++entries;
            ++names[p.name];
            EXPECT_EQ(p.name, lower(p.name));
            EXPECT_GE(p.name.size(), 2u);
            EXPECT_LE(p.name.size(), 8u);
            int32_t sum = 0;
            for (char16_t c : p.name) {
                sum += c;
            }
            EXPECT_EQ(sum % ENTITY_BUCKETS, b);
        }
    }
    EXPECT_EQ(entries, 253);
    EXPECT_EQ(empty, 37);
    int twice = 0;
    for (const auto& [name, count] : names) {
        EXPECT_LE(count, 2);
        twice += count == 2 ? 1 : 0;
    }
    EXPECT_EQ(twice, 64);
    EXPECT_EQ(std::u16string(EntityTable[0]), u"60216oslash60217ugrave60248oslash60249ugrave");
}

TEST(EntityTable, MatchesThePlainList) {
    EXPECT_EQ(std::size(kEntities), 253u);
    int32_t highest = 0;
    for (const Entity& e : kEntities) {
        highest = std::max(highest, e.codePoint);
        const std::u16string name = e.name;
        // Every spelling of the standard resolves to its own code point...
        EXPECT_EQ(lookupEntity(name.c_str(), int32_t(name.size())), e.codePoint);
        // ...and is in its bucket, with the capital form first.
        std::u16string key = lower(name);
        int32_t sum = 0;
        for (char16_t c : key) {
            sum += c;
        }
        const std::vector<Packed> bucket = unpack(EntityTable[sum % ENTITY_BUCKETS]);
        std::vector<int32_t> found;
        for (const Packed& p : bucket) {
            if (p.name == key) {
                found.push_back(p.codePoint);
            }
        }
        ASSERT_FALSE(found.empty());
        if (found.size() == 2) {
            EXPECT_EQ(found[name != key ? 0 : 1], e.codePoint);
        } else {
            EXPECT_EQ(found[0], e.codePoint);
        }
    }
    EXPECT_EQ(highest, 9830);
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
