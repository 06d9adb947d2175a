// Reads a range of the patch front to back through a buffer of its own, so
// that a section of any length costs the same memory. Each of a window's
// three sections gets a cursor; the first also reads the headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "patch/io.h"

namespace patch {

class SectionCursor {
public:
    static constexpr std::size_t kBufferBytes = std::size_t(64) << 10;

    explicit SectionCursor(PatchReader& patch) : patch_(patch) {}

    // Reads [begin, end) from now on. Bytes the buffer holds already are kept.
    void start(std::uint64_t begin, std::uint64_t end);
    std::uint64_t position() const { return bufferAt_ + std::uint64_t(next_ - buffer_.get()); }
    std::uint64_t remaining() const { return end_ - position(); }
    bool atEnd() const { return next_ == limit_ && position() == end_; }

    // Each is false when the range ends first, or when the read failed
    // (readFailed() then says so); a base-128 integer beyond 64 bits is false too.
    bool byte(std::uint8_t& out) {
        if (next_ == limit_ && !refill()) return false;
        out = *next_++;
        return true;
    }
    bool varint(std::uint64_t& out);
    bool copyTo(std::uint8_t* out, std::size_t size);
    bool readFailed() const { return readFailed_; }

private:
    bool refill();

    PatchReader& patch_;
    std::unique_ptr<std::uint8_t[]> buffer_;
    std::size_t capacity_ = 0;
    std::uint64_t bufferAt_ = 0;  // the patch offset of buffer_[0]
    std::size_t filled_ = 0;      // the bytes of the patch in buffer_
    const std::uint8_t* next_ = nullptr;
    const std::uint8_t* limit_ = nullptr;  // the end of the range or of the buffered bytes
    std::uint64_t end_ = 0;
    bool readFailed_ = false;
};

}  // namespace patch
