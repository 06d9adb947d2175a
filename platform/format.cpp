#include "platform/format.h"

namespace platform {

std::u16string formatMessage(std::u16string_view format, std::initializer_list<FormatArg> args) {
    std::u16string out;
    out.reserve(format.size() + 64);
    auto next = args.begin();
    for (std::size_t i = 0; i < format.size(); ++i) {
        const char16_t c = format[i];
        if (c != u'%' || i + 1 == format.size()) {
            out.push_back(c);
            continue;
        }
        const char16_t d = format[i + 1];
        if (d == u'%') {
            out.push_back(u'%');
            ++i;
            continue;
        }
        if (d == u's' && next != args.end() && std::holds_alternative<std::u16string_view>(*next)) {
            out.append(std::get<std::u16string_view>(*next++));
            ++i;
            continue;
        }
        if (d == u'd' && next != args.end() && std::holds_alternative<std::int32_t>(*next)) {
            const std::int32_t v = std::get<std::int32_t>(*next++);
            std::int64_t wide = v;
            if (wide < 0) {
                out.push_back(u'-');
                wide = -wide;
            }
            char16_t digits[12];
            int n = 0;
            do {
                digits[n++] = static_cast<char16_t>(u'0' + wide % 10);
                wide /= 10;
            } while (wide != 0);
            while (n > 0) out.push_back(digits[--n]);
            ++i;
            continue;
        }
        out.push_back(c);
    }
    return out;
}

}  // namespace platform
