#include "install/occupancy.h"

#include "platform/format.h"
#include "platform/platform.h"

namespace install {

std::uint32_t entryOccupancy(const ManifestEntry& entry, const std::u16string& selfName) {
    if (platform::findFirstFile(entry.path) != platform::FindResult::kFile) return platform::kErrorSuccess;
    const std::uint32_t code = platform::openReadWriteTest(entry.path);
    if (code == platform::kErrorSharingViolation && entry.path == selfName) return platform::kErrorSuccess;
    return code;
}

std::u16string occupancyMessage(const std::u16string& path, std::uint32_t code) {
    return platform::formatMessage(u"%s被占用,请重启电脑或关闭占用软件 （%d）",
                                   {path, static_cast<std::int32_t>(code)});
}

bool checkOccupancy(const std::vector<ManifestEntry>& entries, const std::u16string& selfName,
                    std::u16string& errorText) {
    for (const ManifestEntry& entry : entries) {
        const std::uint32_t code = entryOccupancy(entry, selfName);
        if (code == platform::kErrorSuccess) continue;
        platform::writeWideLine(platform::formatMessage(u"%s被占用%d", {entry.path, static_cast<std::int32_t>(code)}));
        errorText = occupancyMessage(entry.path, code);
        return false;
    }
    return true;
}

}  // namespace install
