#include "tools/updtool/manifest_writer.h"

#include "crypto/hex.h"
#include "install/manifest.h"
#include "install/path_safety.h"
#include "platform/platform.h"
#include "platform/utf.h"
#include "xml/xml_doc.h"

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

std::u16string manifestText(const std::vector<install::ManifestEntry>& entries,
                            const install::ManifestExtras& extras) {
    std::u16string text = u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<update";
    if (!extras.version.empty()) text.append(u" version=\"").append(escaped(extras.version)).append(u"\"");
    text += u">\n";
    const auto attribute = [&text](const char16_t* name, const std::u16string& value) {
        if (!value.empty()) text.append(u" ").append(name).append(u"=\"").append(escaped(value)).append(u"\"");
    };
    for (const install::ManifestEntry& entry : entries) {
        text.append(u"  <file path=\"").append(escaped(entry.path)).append(u"\" md5=\"").append(escaped(entry.md5)).append(u"\"");
        attribute(u"sha256", entry.sha256);
        attribute(u"patch", entry.patch);
        attribute(u"base-md5", entry.baseMd5);
        attribute(u"base-sha256", entry.baseSha256);
        text += u"/>\n";
    }
    for (const std::u16string& removal : extras.removals) text.append(u"  <remove path=\"").append(escaped(removal)).append(u"\"/>\n");
    return text + u"</update>\n";
}

std::u16string pathProblem(const std::u16string& path) {
    constexpr std::u16string_view kOwn[] = {u"autoTemp", u"~updater"};
    if (!install::isSafeRelativePath(path, kOwn)) {
        return u"the Updater refuses it (a rooted path, a \":\", a \"..\" component, a device name such as "
               u"CON or COM1, the Updater's own directories autoTemp and ~updater, or too long)";
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

bool fileDigests(const std::u16string& path, bool sha256, FileDigests& digests) {
    Md5Files files(1, {}, sha256);
    std::size_t tag = 0;
    return files.start(0, path) && files.next(tag, digests);
}

namespace {

bool writeWholeFile(const std::u16string& path, const std::string& bytes, std::vector<std::u16string>& problems) {
    const platform::FileHandle file = platform::createFileAlways(path);
    if (file == platform::kInvalidFile) {
        problems.push_back(path + u": cannot be created");
        return false;
    }
    const bool written = bytes.empty() || platform::writeFile(file, bytes.data(), bytes.size());
    platform::closeFile(file);
    if (!written) problems.push_back(path + u": cannot be written");
    return written;
}

}  // namespace

bool writeManifest(const std::vector<install::ManifestEntry>& entries, const install::ManifestExtras& extras,
                   const std::u16string& path, std::string& bytes, std::vector<std::u16string>& problems) {
    bytes = platform::utf16ToUtf8(manifestText(entries, extras));
    if (!writeWholeFile(path, bytes, problems)) return false;
    xml::XmlDoc doc;
    doc.loadFile(path);
    std::vector<install::ManifestEntry> back;
    std::u16string errorText;
    install::ManifestExtras backExtras;
    if (!install::readManifest(doc, back, errorText, true, &backExtras)) {
        problems.push_back(u"the written manifest does not read back: " + errorText);
        return false;
    }
    if (backExtras.version != extras.version || backExtras.removals != extras.removals) {
        problems.push_back(u"the release's version or its removals do not read back from the written manifest as written");
        return false;
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (i >= back.size() || back[i].path != entries[i].path || back[i].md5 != entries[i].md5 ||
            back[i].sha256 != entries[i].sha256 || back[i].patch != entries[i].patch ||
            back[i].baseMd5 != entries[i].baseMd5 || back[i].baseSha256 != entries[i].baseSha256) {
            problems.push_back(entries[i].path + u": does not read back from the written manifest as written");
            return false;
        }
    }
    if (back.size() != entries.size()) {
        problems.push_back(u"the written manifest reads back with more entries than were written");
        return false;
    }
    return true;
}

bool writeSignature(const std::string& bytes, const crypto::Ed25519Seed& seed, const std::u16string& path,
                    std::vector<std::u16string>& problems) {
    return writeWholeFile(path, crypto::toHex(crypto::ed25519Sign(seed, bytes.data(), bytes.size())) + "\n", problems);
}

}  // namespace updtool
