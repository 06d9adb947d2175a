#include "install/occupancy.h"

#include <cstdint>

#include "platform/format.h"
#include "platform/platform.h"

namespace install {

bool checkOccupancy(const std::vector<ManifestEntry>& entries, const std::u16string& selfName,
                    std::u16string& errorText) {
    for (const ManifestEntry& entry : entries) {
        if (platform::findFirstFile(entry.path) != platform::FindResult::kFile) continue;
        const std::uint32_t code = platform::openReadWriteTest(entry.path);
        if (code == platform::kErrorSuccess) continue;
        if (code == platform::kErrorSharingViolation && entry.path == selfName) continue;
        const auto signedCode = static_cast<std::int32_t>(code);
        platform::writeWideLine(platform::formatMessage(u"%s被占用%d", {entry.path, signedCode}));
        errorText = platform::formatMessage(u"%s被占用,请重启电脑或关闭占用软件 （%d）",
                                            {entry.path, signedCode});
        return false;
    }
    return true;
}

}  // namespace install
