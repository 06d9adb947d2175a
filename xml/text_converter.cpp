#include "xml/text_converter.h"

#include "platform/platform.h"
#include "xml/encoding_names.h"

#include <cstring>

namespace xml {

namespace {

std::int32_t utf32ToUtf16(const void* source, std::int32_t count, char16_t* destination,
                          std::int32_t capacity) {
    // The source is a byte buffer of the file reader: no alignment to rely on.
    const auto* bytes = static_cast<const unsigned char*>(source);
    auto codePointAt = [bytes](std::int32_t i) {
        std::uint32_t c;
        std::memcpy(&c, bytes + 4 * static_cast<std::size_t>(i), sizeof c);
        return c;
    };
    std::int32_t needed = 0;
    for (std::int32_t i = 0; i < count; ++i) {
        needed += (codePointAt(i) >> 16) != 0 ? 2 : 1;
    }
    if (destination == nullptr) {
        return needed;
    }
    // Fail like the platform converter rather than write past the room given.
    if (needed > capacity) {
        return 0;
    }
    for (std::int32_t i = 0; i < count; ++i) {
        const std::uint32_t c = codePointAt(i);
        if ((c >> 16) == 0) {
            *destination++ = static_cast<char16_t>(c);
        } else {
            *destination++ = static_cast<char16_t>(0xD800 | (((c - 0x10000) >> 10) & 0x3FF));
            *destination++ = static_cast<char16_t>(0xDC00 | (c & 0x3FF));
        }
    }
    return needed;
}

}  // namespace

TextConverter::TextConverter(std::u16string_view name, const void* data, std::int32_t length)
    : sourceName(name), source(data), sourceLength(length) {}

std::int32_t TextConverter::convert(char16_t* destination) {
    std::int32_t codePage = codePageFromName(sourceName);
    if (codePage == kCodePageUnknown) {
        codePage = kCodePageAnsi;
    }
    std::int32_t count;
    if (codePage == kCodePageUtf32) {
        count = utf32ToUtf16(source, sourceLength, destination, destinationCapacity);
    } else {
        // A null destination always measures, whatever capacity is left over.
        count = platform::multiByteToWide(codePage, static_cast<const char*>(source), sourceLength,
                                          destination, destination != nullptr ? destinationCapacity : 0);
    }
    destinationCapacity = count;
    return count;
}

std::int32_t decodeUtf8(const unsigned char*& cursor, const unsigned char* end) {
    const unsigned char lead = *cursor++;
    if (lead < 0x80) {
        return lead;
    }
    int continuations;
    std::int32_t value;
    if ((lead & 0x20) == 0) {
        continuations = 1;
        value = lead & 0x1F;
    } else if ((lead & 0x10) == 0) {
        continuations = 2;
        value = lead & 0x0F;
    } else if ((lead & 0x08) == 0) {
        continuations = 3;
        value = lead & 0x07;
    } else {
        return -1;
    }
    for (; continuations > 0; --continuations) {
        if (cursor == end || *cursor < 0x80) {
            return -1;
        }
        value = (value << 6) | (*cursor++ & 0x3F);
    }
    return value;
}

}  // namespace xml
