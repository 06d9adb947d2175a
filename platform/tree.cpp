#include "platform/tree.h"

namespace platform {

std::uint32_t Tree::readFile(const std::u16string& path, std::size_t limit, std::string& bytes) {
    bytes.clear();
    InputFile file;
    std::uint32_t code = openForReading(path, file);
    if (code != kErrorSuccess) return code;
    // The length first, so that nothing of an oversized file is read; the
    // reading checks again, for a file that grows meanwhile.
    const std::int64_t length = file.length();
    if (length > 0 && static_cast<std::uint64_t>(length) > limit) return kErrorInvalidData;
    char block[65536];
    for (std::size_t got; (got = file.read(block, sizeof block)) > 0;) {
        if (bytes.size() + got > limit) {
            code = kErrorInvalidData;
            break;
        }
        bytes.append(block, got);
    }
    if (!file.close() && code == kErrorSuccess) code = kErrorInvalidFunction;
    if (code != kErrorSuccess) bytes.clear();
    return code;
}

}  // namespace platform
