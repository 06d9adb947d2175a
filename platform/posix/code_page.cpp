// MultiByteToWideChar / WideCharToMultiByte with flags 0 on POSIX: UTF-8 (the
// ANSI and OEM code page here) by our own code, every other code page through
// iconv. Invalid input becomes U+FFFD, characters a code page lacks become
// '?', as Windows does.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <iconv.h>

#include "platform/platform.h"
#include "platform/posix/code_page_names.h"
#include "platform/utf.h"

namespace platform {

namespace {

constexpr int kMacCodePage = 2;        // CP_MACCP
constexpr int kThreadAnsiCodePage = 3;  // CP_THREAD_ACP
constexpr int kJohabCodePage = 1361;
constexpr char16_t kWonSign = 0x20A9;  // what glibc's JOHAB makes of 0x5C

bool isUtf8(int codePage) {
    return codePage == kAnsiCodePage || codePage == kOemCodePage || codePage == kThreadAnsiCodePage ||
           codePage == kUtf8CodePage;
}

const char* converterName(int codePage) {
    return posix::iconvName(codePage == kMacCodePage ? 10000 : codePage);
}

class Converter {
public:
    Converter(const char* to, const char* from) : cd_(::iconv_open(to, from)) {}
    ~Converter() {
        if (ok()) ::iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Converts all of in, appending to out. onInvalid is called with the
    // rest of the input at a sequence that cannot be converted (or that is
    // cut off at the end, then with last = true) and returns how many input
    // bytes to skip; it may append to out itself.
    template <typename OnInvalid>
    void run(const char* in, std::size_t size, std::string& out, OnInvalid onInvalid) {
        char chunk[4096];
        auto* input = const_cast<char*>(in);
        std::size_t left = size;
        for (;;) {
            char* put = chunk;
            std::size_t room = sizeof chunk;
            const std::size_t r = left > 0 ? ::iconv(cd_, &input, &left, &put, &room)
                                           : ::iconv(cd_, nullptr, nullptr, &put, &room);
            const int err = r == static_cast<std::size_t>(-1) ? errno : 0;
            out.append(chunk, static_cast<std::size_t>(put - chunk));
            if (err == E2BIG) continue;
            if (err == EILSEQ || err == EINVAL) {
                resetState(out);
                const std::size_t skip = std::min(left, onInvalid(input, left, err == EINVAL, out));
                input += skip;
                left -= skip;
                continue;
            }
            if (left == 0 && err == 0) break;
        }
    }

private:
    void resetState(std::string& out) {
        char chunk[64];
        char* put = chunk;
        std::size_t room = sizeof chunk;
        ::iconv(cd_, nullptr, nullptr, &put, &room);
        out.append(chunk, static_cast<std::size_t>(put - chunk));
    }

    iconv_t cd_;
};

void appendUnit(std::string& utf16le, char16_t unit) {
    utf16le.push_back(static_cast<char>(unit & 0xFF));
    utf16le.push_back(static_cast<char>(unit >> 8));
}

// Code pages other than UTF-8, through iconv.
bool decode(int codePage, std::string_view bytes, std::u16string& out) {
    const char* name = converterName(codePage);
    if (name == nullptr) return false;
    Converter converter("UTF-16LE", name);
    if (!converter.ok()) return false;
    std::string utf16le;
    converter.run(bytes.data(), bytes.size(), utf16le, [](const char*, std::size_t left, bool last, std::string& o) {
        appendUnit(o, 0xFFFD);
        return last ? left : std::size_t{1};
    });
    out.resize(utf16le.size() / 2);
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i] = static_cast<char16_t>(static_cast<unsigned char>(utf16le[2 * i]) |
                                       static_cast<unsigned char>(utf16le[2 * i + 1]) << 8);
        if (codePage == kJohabCodePage && out[i] == kWonSign) out[i] = u'\\';
    }
    return true;
}

bool encode(int codePage, std::u16string_view units, std::string& out) {
    if (isUtf8(codePage)) {
        out = utf16ToUtf8(units);
        return true;
    }
    const char* name = converterName(codePage);
    if (name == nullptr) return false;
    Converter converter(name, "UTF-16LE");
    if (!converter.ok()) return false;
    std::string utf16le;
    utf16le.reserve(units.size() * 2);
    for (const char16_t unit : units) appendUnit(utf16le, codePage == kJohabCodePage && unit == u'\\' ? kWonSign : unit);
    out.clear();
    converter.run(utf16le.data(), utf16le.size(), out, [](const char* rest, std::size_t left, bool, std::string& o) {
        o.push_back('?');
        // A whole surrogate pair is one character.
        const auto unitAt = [rest](std::size_t i) {
            return static_cast<char16_t>(static_cast<unsigned char>(rest[i]) | static_cast<unsigned char>(rest[i + 1]) << 8);
        };
        if (left >= 4 && unitAt(0) >= 0xD800 && unitAt(0) <= 0xDBFF && unitAt(2) >= 0xDC00 && unitAt(2) <= 0xDFFF) {
            return std::size_t{4};
        }
        return std::size_t{2};
    });
    return true;
}

template <typename Unit, typename Text>
int deliver(const Text& text, Unit* dst, int dstCap) {
    if (text.size() > static_cast<std::size_t>(INT_MAX)) return 0;
    const int count = static_cast<int>(text.size());
    if (dstCap == 0) return count;
    if (count > dstCap || dst == nullptr) return 0;
    std::memcpy(dst, text.data(), text.size() * sizeof(Unit));
    return count;
}

}  // namespace

int ansiCodePage() { return kUtf8CodePage; }
int oemCodePage() { return kUtf8CodePage; }

int multiByteToWide(int codePage, const char* src, int srcLen, char16_t* dst, int dstCap) {
    if (src == nullptr || srcLen == 0 || srcLen < -1 || dstCap < 0) return 0;
    const std::size_t size = srcLen == -1 ? std::strlen(src) + 1 : static_cast<std::size_t>(srcLen);
    if (isUtf8(codePage)) {
        // Whole documents come this way: decode straight into the caller's
        // buffer, or only count, without a string in between.
        if (dstCap > 0 && dst == nullptr) return 0;
        const std::size_t count =
            utf8ToUtf16(src, size, dstCap == 0 ? nullptr : dst, static_cast<std::size_t>(dstCap));
        return count > static_cast<std::size_t>(INT_MAX) ? 0 : static_cast<int>(count);
    }
    std::u16string text;
    if (!decode(codePage, std::string_view(src, size), text)) return 0;
    return deliver(text, dst, dstCap);
}

int wideToMultiByte(int codePage, const char16_t* src, int srcLen, char* dst, int dstCap) {
    if (src == nullptr || srcLen == 0 || srcLen < -1 || dstCap < 0) return 0;
    const std::size_t size = srcLen == -1 ? std::char_traits<char16_t>::length(src) + 1 : static_cast<std::size_t>(srcLen);
    std::string text;
    if (!encode(codePage, std::u16string_view(src, size), text)) return 0;
    return deliver(text, dst, dstCap);
}

}  // namespace platform
