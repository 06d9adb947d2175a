#include "crypto/hex.h"

namespace crypto {
namespace {

// The value of a lowercase hex digit, or -1.
int digitValue(char32_t c) {
    if (c >= U'0' && c <= U'9') return static_cast<int>(c - U'0');
    if (c >= U'a' && c <= U'f') return static_cast<int>(c - U'a') + 10;
    return -1;
}

template <typename Char>
bool parse(std::basic_string_view<Char> text, std::span<std::uint8_t> out) {
    if (text.size() != 2 * out.size()) return false;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const int high = digitValue(text[2 * i]);
        const int low = digitValue(text[2 * i + 1]);
        if (high < 0 || low < 0) return false;
        out[i] = static_cast<std::uint8_t>(high * 16 + low);
    }
    return true;
}

}  // namespace

bool parseHex(std::string_view text, std::span<std::uint8_t> out) { return parse(text, out); }

bool parseHex(std::u16string_view text, std::span<std::uint8_t> out) { return parse(text, out); }

std::string toHex(std::span<const std::uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(2 * bytes.size());
    for (std::uint8_t b : bytes) {
        text.push_back(kDigits[b >> 4]);
        text.push_back(kDigits[b & 15]);
    }
    return text;
}

}  // namespace crypto
