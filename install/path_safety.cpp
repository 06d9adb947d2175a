#include "install/path_safety.h"

namespace install {
namespace {

bool isSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

bool isParentReference(std::u16string_view component) {
    int dots = 0;
    for (const char16_t c : component) {
        if (c == u'.') {
            ++dots;
        } else if (c != u' ') {
            return false;
        }
    }
    return dots >= 2;
}

char16_t upper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c; }

bool equalsIgnoringCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (upper(a[i]) != upper(b[i])) return false;
    }
    return true;
}

std::u16string_view trimmedEnd(std::u16string_view name, std::u16string_view what) {
    while (!name.empty() && what.find(name.back()) != std::u16string_view::npos) name.remove_suffix(1);
    return name;
}

constexpr std::u16string_view kDevices[] = {u"CON", u"PRN", u"AUX", u"NUL", u"CONIN$", u"CONOUT$"};

bool isDeviceDigit(char16_t c) { return (c >= u'0' && c <= u'9') || c == u'\u00B9' || c == u'\u00B2' || c == u'\u00B3'; }

}  // namespace

bool isDeviceName(std::u16string_view component) {
    const std::u16string_view base = trimmedEnd(component.substr(0, component.find(u'.')), u" ");
    for (const std::u16string_view device : kDevices) {
        if (equalsIgnoringCase(base, device)) return true;
    }
    if (base.size() != 4 || !isDeviceDigit(base[3])) return false;
    const std::u16string_view stem = base.substr(0, 3);
    return equalsIgnoringCase(stem, u"COM") || equalsIgnoringCase(stem, u"LPT");
}

bool sameDirectoryName(std::u16string_view component, std::u16string_view name) {
    return equalsIgnoringCase(trimmedEnd(component, u". "), trimmedEnd(name, u". "));
}

bool isSafeRelativePath(std::u16string_view path, std::span<const std::u16string_view> reservedTop) {
    if (path.size() > kMaxPathUnits) return false;
    if (!path.empty() && isSeparator(path.front())) return false;
    if (path.find(u':') != std::u16string_view::npos) return false;
    std::size_t start = 0;
    std::size_t levels = 0;
    bool first = true;
    for (std::size_t i = 0; i <= path.size(); ++i) {
        if (i < path.size() && !isSeparator(path[i])) continue;
        const std::u16string_view component = path.substr(start, i - start);
        start = i + 1;
        if (component.empty() || component == u".") continue;
        if (isParentReference(component) || isDeviceName(component) || ++levels > kMaxPathLevels) return false;
        if (first) {
            for (const std::u16string_view reserved : reservedTop) {
                if (sameDirectoryName(component, reserved)) return false;
            }
            first = false;
        }
    }
    return true;
}

}  // namespace install
