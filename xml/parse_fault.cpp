#include "xml/parse_fault.h"

#include <algorithm>

namespace xml {

TextPosition textPosition(std::u16string_view text, int32_t offset) {
    int32_t line = 1;
    std::size_t lineStart = 0;
    const std::size_t end = std::min(static_cast<std::size_t>(offset), text.size());
    for (std::size_t i = 0; i < end; ++i) {
        const bool lineEnd = text[i] == u'\n' || (text[i] == u'\r' && (i + 1 >= text.size() || text[i + 1] != u'\n'));
        if (lineEnd) {
            ++line;
            lineStart = i + 1;
        }
    }
    return {line, static_cast<int32_t>(static_cast<std::size_t>(offset) - lineStart) + 1};
}

}  // namespace xml
