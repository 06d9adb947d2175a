#include "install/release.h"

#include "crypto/hex.h"
#include "install/update_steps.h"
#include "platform/format.h"
#include "platform/utf.h"

namespace install {
namespace {

constexpr std::u16string_view kNewMark = u"~updater\\version.new";

std::string_view nextLine(std::string_view& text) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    return line;
}

}  // namespace

bool parseVersion(std::u16string_view text, ReleaseVersion& out) {
    out = {};
    std::size_t count = 0;
    std::uint64_t value = 0;
    std::size_t digits = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == u'.') {
            if (digits == 0 || count == out.parts.size()) return false;
            out.parts[count++] = static_cast<std::uint32_t>(value);
            value = 0;
            digits = 0;
            continue;
        }
        if (text[i] < u'0' || text[i] > u'9') return false;
        value = value * 10 + static_cast<std::uint64_t>(text[i] - u'0');
        if (++digits > 10 || value > UINT32_MAX) return false;
    }
    return true;
}

int compareVersions(const ReleaseVersion& a, const ReleaseVersion& b) {
    for (std::size_t i = 0; i < a.parts.size(); ++i) {
        if (a.parts[i] != b.parts[i]) return a.parts[i] < b.parts[i] ? -1 : 1;
    }
    return 0;
}

bool parseVersionMark(std::string_view text, VersionMark& mark) {
    mark = {};
    mark.version = platform::utf8ToUtf16(nextLine(text));
    mark.key = platform::utf8ToUtf16(nextLine(text));
    std::uint8_t key[32];
    ReleaseVersion version;
    if (!text.empty() || !parseVersion(mark.version, version) || !crypto::parseHex(mark.key, key)) {
        mark = {};
        return false;
    }
    mark.present = true;
    return true;
}

std::uint32_t readVersionMark(platform::Tree& tree, VersionMark& mark) {
    mark = {};
    std::string bytes;
    const std::uint32_t code = tree.readFile(std::u16string(kVersionMark), 256, bytes);
    if (code == platform::kErrorFileNotFound) return platform::kErrorSuccess;
    if (code != platform::kErrorSuccess || !parseVersionMark(bytes, mark)) return platform::kErrorInvalidData;
    return platform::kErrorSuccess;
}

std::uint32_t writeVersionMark(platform::Tree& tree, const std::u16string& version, const std::u16string& key) {
    const std::u16string next(kNewMark);
    tree.deleteFile(next);  // what a run cut short left
    platform::FileHandle file = platform::kInvalidFile;
    std::uint32_t code = tree.createFileNew(next, file);
    if (code != platform::kErrorSuccess) return code;
    const std::string text = platform::utf16ToUtf8(version) + "\n" + platform::utf16ToUtf8(key) + "\n";
    code = platform::writeAll(file, text.data(), text.size());
    if (code == platform::kErrorSuccess) code = platform::flushFile(file);
    platform::closeFile(file);
    if (code == platform::kErrorSuccess) code = tree.moveFile(next, std::u16string(kVersionMark), true);
    if (code == platform::kErrorSuccess) code = platform::syncDirectory(u"~updater");
    if (code != platform::kErrorSuccess) tree.deleteFile(next);
    return code;
}

bool checkRelease(const std::u16string& version, const VersionMark& mark, TrustedKeys keys, std::u16string& errorText) {
    ReleaseVersion offered;
    if (!parseVersion(version, offered)) {
        errorText = platform::formatMessage(u"%s版本号错误 （%d）",
                                            {kManifestName, std::int32_t{platform::kErrorInvalidData}});
        return false;
    }
    if (!mark.present) return true;
    bool markCounts = false;
    for (const crypto::Ed25519PublicKey& key : keys) markCounts = markCounts || crypto::toHex(key) == platform::utf16ToUtf8(mark.key);
    ReleaseVersion installed;
    if (!markCounts || !parseVersion(mark.version, installed) || compareVersions(offered, installed) >= 0) return true;
    errorText = platform::formatMessage(u"%s版本过旧 %s （已安装 %s）", {kManifestName, version, mark.version});
    return false;
}

}  // namespace install
