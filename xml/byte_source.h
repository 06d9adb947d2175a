// What a TextFile reads: a file, or bytes already in memory, read alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace xml {

class ByteSource {
public:
    // A file, as platform::InputFile opens it.
    bool open(const std::u16string& path);
    // Bytes that stay where they are while they are read.
    void open(std::string_view bytes);
    // A file opened already: this source reads it from now on.
    bool open(platform::InputFile& file);
    bool isOpen() const { return memory_ || file_.isOpen(); }
    std::size_t read(void* buffer, std::size_t size);
    bool seek(std::int64_t offset);
    std::int64_t length();
    bool close();

private:
    platform::InputFile file_;
    std::string_view bytes_;
    std::size_t at_ = 0;
    bool memory_ = false;
};

}  // namespace xml
