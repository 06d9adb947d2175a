// Encoding names -> Windows code page numbers, through a packed hash table
// that is constant data (see xml/encoding_name_table.cpp).
#pragma once

#include <cstdint>
#include <string_view>

namespace xml {

// Code page values with a meaning of their own in this subsystem.
enum : std::int32_t {
    kCodePageUnknown = -1,  // not in the table: read as the ANSI code page
    kCodePageAnsi = 0,       // the empty name
    kCodePageUtf8 = 65001,
    kCodePageUtf32 = 65005,  // our own array of 32-bit code points, no Windows code page
};

inline constexpr int kEncodingNameBuckets = 155;

// Bucket i holds the entries of every name whose code units sum to i modulo
// the bucket count, back to back: two length digits, five code-page digits,
// the lower-case name.
extern const char16_t* const EncodingNameTable[kEncodingNameBuckets];

// The code page of an encoding name, compared ignoring ASCII case; 65005 for
// a name that begins with "UTF-32" in capitals, 0 for the empty name, -1 for
// a name that is not in the table or is 100 units long or longer.
std::int32_t codePageFromName(std::u16string_view name);

}  // namespace xml
