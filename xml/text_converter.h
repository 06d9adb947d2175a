// One conversion request into UTF-16, and the lenient UTF-8 decoder that the
// file reader's UTF-8 test uses.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace xml {

// Converts a source named by its encoding into UTF-16. It does not own the
// source. Typical use: convert(nullptr) measures, then convert(buffer)
// converts with the capacity the measuring call left.
struct TextConverter {
    TextConverter(std::u16string_view sourceName, const void* source, std::int32_t sourceLength);

    // Returns the 16-bit units produced, or needed when destination is null;
    // 0 when the conversion is impossible (unsupported code page, room too
    // small). The count is also left in destinationCapacity.
    std::int32_t convert(char16_t* destination);

    std::u16string sourceName;
    const void* source;          // bytes, or 32-bit code points for our own UTF-32
    std::int32_t sourceLength;   // in source units: bytes, or code points
    std::int32_t destinationCapacity = 0;  // in 16-bit units; 0 when measuring
};

// Decodes one UTF-8 sequence at cursor, leniently: the lead byte's bit 0x40
// is not checked, and overlong forms, surrogates and values beyond U+10FFFF
// are returned as they come. Returns -1 for a lead byte of 0xF8 or more
// (cursor past it), a sequence cut by end (cursor at end), or a continuation
// byte below 0x80 (cursor left on that byte).
std::int32_t decodeUtf8(const unsigned char*& cursor, const unsigned char* end);

}  // namespace xml
