// Named character references: the 252 of HTML 4.01 and "apos".
#pragma once

#include <cstdint>
#include <string>

namespace xml {

inline constexpr int32_t ENTITY_BUCKETS = 130;

// Bucket b holds the entries whose lower-case name's code units sum to b
// modulo ENTITY_BUCKETS, packed back to back: "0" + name length, the code point
// in four decimal digits, the lower-case name. Where a name exists in two
// cases (a capital and a small letter), the capital form's entry comes first.
extern const char16_t* const EntityTable[ENTITY_BUCKETS];

// Code point of the named reference name (length code units, as written in
// the text), or 0 when there is none. Names are matched ignoring ASCII case;
// of a name held twice, a spelling without capitals gives the small form.
int32_t lookupEntity(const char16_t* name, int32_t length);

// Copies length code units of text, replacing character and entity
// references by what they stand for. A reference that does not resolve is
// copied unchanged.
std::u16string decodeEntities(const char16_t* text, int32_t length);

}  // namespace xml
