#include <cstring>

#include "patch/io.h"

namespace patch {

bool MemoryReader::readAt(std::uint64_t offset, void* out, std::size_t size) {
    if (offset > bytes_.size() || size > bytes_.size() - offset) return false;
    if (size > 0) std::memcpy(out, bytes_.data() + offset, size);
    return true;
}

bool MemoryWriter::write(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    bytes_.insert(bytes_.end(), bytes, bytes + size);
    return true;
}

bool MemoryWriter::readAt(std::uint64_t offset, void* out, std::size_t size) {
    if (offset > bytes_.size() || size > bytes_.size() - offset) return false;
    if (size > 0) std::memcpy(out, bytes_.data() + offset, size);
    return true;
}

}  // namespace patch
