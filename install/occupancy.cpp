#include "install/occupancy.h"

#include "platform/format.h"
#include "platform/platform.h"

namespace install {
namespace {

// 0 when the target may be replaced, otherwise the error code of the open.
std::uint32_t entryOccupancy(platform::Tree& tree, const ManifestEntry& entry, const std::u16string& selfName) {
    if (tree.find(entry.path) != platform::ItemKind::kFile) return platform::kErrorSuccess;
    const std::uint32_t code = tree.openReadWriteTest(entry.path);
    if (code == platform::kErrorSharingViolation && entry.path == selfName) return platform::kErrorSuccess;
    return code;
}

}  // namespace

std::u16string occupancyMessage(const std::u16string& path, std::uint32_t code) {
    return platform::formatMessage(u"%s被占用,请重启电脑或关闭占用软件 （%d）",
                                   {path, static_cast<std::int32_t>(code)});
}

bool checkOccupancy(platform::Tree& tree, const std::vector<ManifestEntry>& entries, const std::u16string& selfName,
                    std::u16string& errorText, StepSink& sink, Examine examine) {
    bool passed = true;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::uint32_t code = entryOccupancy(tree, entries[i], selfName);
        sink.entryOccupancy(i, code);
        if (code == platform::kErrorSuccess || !passed) continue;
        sink.targetInUse(entries[i].path, code);
        errorText = occupancyMessage(entries[i].path, code);
        passed = false;
        if (examine == Examine::kUntilFailure) break;
    }
    return passed;
}

}  // namespace install
