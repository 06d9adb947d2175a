#include "tools/updtool/manifest_writer.h"

#include "install/path_safety.h"

namespace updtool {
namespace {

std::u16string escaped(const std::u16string& value) {
    std::u16string out;
    for (const char16_t c : value) {
        switch (c) {
        case u'&': out += u"&amp;"; break;
        case u'<': out += u"&lt;"; break;
        case u'>': out += u"&gt;"; break;
        case u'"': out += u"&quot;"; break;
        case u'\'': out += u"&apos;"; break;
        default: out += c;
        }
    }
    return out;
}

}  // namespace

std::u16string manifestText(const std::vector<install::ManifestEntry>& entries) {
    std::u16string text = u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<update>\n";
    for (const install::ManifestEntry& entry : entries) {
        text += u"  <file path=\"" + escaped(entry.path) + u"\" md5=\"" + escaped(entry.md5) + u"\"/>\n";
    }
    return text + u"</update>\n";
}

std::u16string pathProblem(const std::u16string& path) {
    if (!install::isSafeRelativePath(path)) {
        return u"the Updater refuses it (a rooted path, a \":\" or a \"..\" component)";
    }
    for (std::size_t i = 0; i < path.size(); ++i) {
        const char16_t c = path[i];
        if (c < 0x20 || c == 0x7F) return u"it holds a control character, which the manifest cannot carry";
        const bool high = c >= 0xD800 && c <= 0xDBFF;
        const bool low = c >= 0xDC00 && c <= 0xDFFF;
        if (high && i + 1 < path.size() && path[i + 1] >= 0xDC00 && path[i + 1] <= 0xDFFF) {
            ++i;
        } else if (high || low) {
            return u"it is not valid UTF-16, so it cannot be written in UTF-8";
        }
    }
    return {};
}

}  // namespace updtool
