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

}  // namespace

bool isSafeRelativePath(std::u16string_view path) {
    if (!path.empty() && isSeparator(path.front())) return false;
    if (path.find(u':') != std::u16string_view::npos) return false;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= path.size(); ++i) {
        if (i < path.size() && !isSeparator(path[i])) continue;
        if (isParentReference(path.substr(start, i - start))) return false;
        start = i + 1;
    }
    return true;
}

}  // namespace install
