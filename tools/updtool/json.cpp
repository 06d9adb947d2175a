#include "tools/updtool/json.h"

namespace updtool {
namespace {

bool isHigh(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool isLow(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

std::u16string unicodeEscape(char16_t c) {
    static constexpr char16_t kDigits[] = u"0123456789abcdef";
    std::u16string out = u"\\u";
    for (int shift = 12; shift >= 0; shift -= 4) out += kDigits[(c >> shift) & 15];
    return out;
}

}  // namespace

std::u16string jsonString(std::u16string_view text) {
    std::u16string out = u"\"";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c == u'"' || c == u'\\') {
            out += u'\\';
            out += c;
        } else if (c == u'\n') {
            out += u"\\n";
        } else if (c == u'\r') {
            out += u"\\r";
        } else if (c == u'\t') {
            out += u"\\t";
        } else if (c < 0x20) {
            out += unicodeEscape(c);
        } else if (isHigh(c) && i + 1 < text.size() && isLow(text[i + 1])) {
            out += c;
            out += text[++i];
        } else if (isHigh(c) || isLow(c)) {
            out += unicodeEscape(c);
        } else {
            out += c;
        }
    }
    return out + u"\"";
}

}  // namespace updtool
