#include "install/private_directory.h"

#include <vector>

#include "platform/format.h"

namespace install {
namespace {

constexpr std::u16string_view kCopies = u"~updater\\staged";
// Enough fresh names for every directory an impostor could leave.
constexpr std::int32_t kMaxSetAside = 1000;

std::u16string withoutSeparator(std::u16string_view dir) { return std::u16string(dir.substr(0, dir.size() - 1)); }

}  // namespace

std::u16string copyPath(std::size_t index) {
    return platform::formatMessage(u"%s\\%d", {kCopies, static_cast<std::int32_t>(index)});
}

std::uint32_t preparePrivateDirectory(platform::Tree& tree, std::u16string& setAside) {
    setAside.clear();
    const std::u16string dir = withoutSeparator(kPrivateDir);
    std::uint32_t code = tree.checkPrivateDirectory(dir);
    if (code != platform::kErrorSuccess && code != platform::kErrorFileNotFound &&
        code != platform::kErrorPathNotFound) {
        for (std::int32_t n = 1; n <= kMaxSetAside && setAside.empty(); ++n) {
            const std::u16string name = platform::formatMessage(u"%s.untrusted%d", {dir, n});
            const std::uint32_t renamed = tree.renameDirectory(dir, name);
            if (renamed == platform::kErrorSuccess) setAside = name;
            if (renamed != platform::kErrorAlreadyExists && renamed != platform::kErrorFileExists &&
                renamed != platform::kErrorSuccess) {
                return renamed;
            }
        }
        if (setAside.empty()) return platform::kErrorAlreadyExists;
        code = platform::kErrorFileNotFound;
    }
    if (code != platform::kErrorSuccess) code = tree.createPrivateDirectory(dir);
    if (code == platform::kErrorSuccess) removeCopies(tree);
    return code;
}

void makeCopiesDirectory(platform::Tree& tree) { tree.createDirectory(std::u16string(kCopies)); }

void removeCopies(platform::Tree& tree) {
    const std::u16string copies(kCopies);
    std::vector<platform::DirEntry> items;
    if (tree.listDirectory(copies, items) != platform::kErrorSuccess) return;
    for (const platform::DirEntry& item : items) tree.deleteFile(copies + u"\\" + item.name);
    tree.removeDirectory(copies);
}

}  // namespace install
