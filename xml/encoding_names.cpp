#include "xml/encoding_names.h"

namespace xml {

namespace {

// Names are lowered into a fixed buffer: no allocation per look-up.
constexpr std::size_t kMaxName = 100;

constexpr std::int32_t digit(char16_t c) { return static_cast<std::int32_t>(c - u'0'); }

}  // namespace

std::int32_t codePageFromName(std::u16string_view name) {
    const std::size_t n = name.size();
    if (n == 0) {
        return kCodePageAnsi;
    }
    // Only the capital spelling selects our own UTF-32; "utf-32" is the
    // Windows code page 12000 from the table.
    if (name.starts_with(u"UTF-32")) {
        return kCodePageUtf32;
    }
    if (n >= kMaxName) {
        return kCodePageUnknown;
    }
    char16_t lowered[kMaxName];
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < n; ++i) {
        char16_t c = name[i];
        if (c >= u'A' && c <= u'Z') {
            c = static_cast<char16_t>(c + (u'a' - u'A'));
        }
        lowered[i] = c;
        sum += c;
    }
    const std::u16string_view key(lowered, n);
    const char16_t* entry = EncodingNameTable[sum % kEncodingNameBuckets];
    while (*entry != 0) {
        const auto length = static_cast<std::size_t>(digit(entry[0]) * 10 + digit(entry[1]));
        if (length == n && key == std::u16string_view(entry + 7, length)) {
            std::int32_t codePage = 0;
            for (int i = 2; i < 7; ++i) {
                codePage = codePage * 10 + digit(entry[i]);
            }
            return codePage;
        }
        entry += 7 + length;
    }
    return kCodePageUnknown;
}

}  // namespace xml
