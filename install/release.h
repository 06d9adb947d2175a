// The release a signed update installs, and the mark of the last one
// installed, so that a signed update older than what is installed is never
// installed again.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "install/signature.h"
#include "platform/tree.h"

namespace install {

// One to four dot-separated decimal numbers ("1.5", "1.5.0", "2.0.0.17"),
// compared numerically; missing numbers count as 0, so 1.5 equals 1.5.0.
struct ReleaseVersion {
    std::array<std::uint32_t, 4> parts{};
};
bool parseVersion(std::u16string_view text, ReleaseVersion& out);
// Negative, 0 or positive as a is older than, the same as or newer than b.
int compareVersions(const ReleaseVersion& a, const ReleaseVersion& b);

// "~updater\version": the version last installed and the key (64 hex
// digits) that signed it, one per line.
inline constexpr std::u16string_view kVersionMark = u"~updater\\version";

struct VersionMark {
    bool present = false;
    std::u16string version;
    std::u16string key;
};

// Reads the mark; 0 with present false when there is none, 13 when it is damaged.
std::uint32_t readVersionMark(platform::Tree& tree, VersionMark& mark);
// The mark from the bytes of its file; false when they are not one.
bool parseVersionMark(std::string_view bytes, VersionMark& mark);
// Replaces the mark durably and at once: a new file, flushed, renamed over
// the old one. Returns 0 or the error code.
std::uint32_t writeVersionMark(platform::Tree& tree, const std::u16string& version, const std::u16string& key);

// Whether a signed manifest of release version may be installed where mark
// is: it must name a version, and not one older than the mark's. A mark
// that a key no longer among keys wrote does not count: that is how a team
// that lost a key gets past a version that key signed. On false errorText
// holds "move.xml版本号错误 （13）" (no version, or not one) or
// "move.xml版本过旧 <version> （已安装 <mark>）".
bool checkRelease(const std::u16string& version, const VersionMark& mark, TrustedKeys keys, std::u16string& errorText);

}  // namespace install
