#include "xml/byte_source.h"

#include <algorithm>
#include <cstring>

namespace xml {

bool ByteSource::open(const std::u16string& path) {
    close();
    return file_.open(path);
}

bool ByteSource::open(platform::InputFile& file) {
    close();
    file_.swap(file);
    return file_.isOpen();
}

void ByteSource::open(std::string_view bytes) {
    close();
    bytes_ = bytes;
    at_ = 0;
    memory_ = true;
}

std::size_t ByteSource::read(void* buffer, std::size_t size) {
    if (!memory_) return file_.read(buffer, size);
    const std::size_t take = std::min(size, bytes_.size() - at_);
    if (take > 0) std::memcpy(buffer, bytes_.data() + at_, take);
    at_ += take;
    return take;
}

bool ByteSource::seek(std::int64_t offset) {
    if (!memory_) return file_.seek(offset);
    if (offset < 0 || static_cast<std::uint64_t>(offset) > bytes_.size()) return false;
    at_ = static_cast<std::size_t>(offset);
    return true;
}

std::int64_t ByteSource::length() { return memory_ ? static_cast<std::int64_t>(bytes_.size()) : file_.length(); }

bool ByteSource::close() {
    memory_ = false;
    bytes_ = {};
    return file_.close();
}

}  // namespace xml
