#include "patch/section_cursor.h"

#include <algorithm>
#include <cstring>

#include "patch/format.h"

namespace patch {

void SectionCursor::start(std::uint64_t begin, std::uint64_t end) {
    end_ = end;
    if (buffer_ != nullptr && begin >= bufferAt_ && begin - bufferAt_ <= filled_) {
        next_ = buffer_.get() + (begin - bufferAt_);
        limit_ = buffer_.get() + std::min<std::uint64_t>(filled_, std::max(end, begin) - bufferAt_);
        return;
    }
    if (buffer_ == nullptr) {
        capacity_ = std::size_t(std::min<std::uint64_t>(kBufferBytes, std::max<std::uint64_t>(patch_.size(), 1)));
        buffer_ = std::make_unique_for_overwrite<std::uint8_t[]>(capacity_);
    }
    bufferAt_ = begin;
    filled_ = 0;
    next_ = limit_ = buffer_.get();
}

bool SectionCursor::refill() {
    const std::uint64_t at = position();
    if (at >= end_) return false;
    const auto size = std::size_t(std::min<std::uint64_t>(capacity_, end_ - at));
    if (!patch_.readAt(at, buffer_.get(), size)) {
        readFailed_ = true;
        return false;
    }
    bufferAt_ = at;
    filled_ = size;
    next_ = buffer_.get();
    limit_ = next_ + size;
    return true;
}

bool SectionCursor::varint(std::uint64_t& out) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < kMaxVarintBytes; ++i) {
        std::uint8_t b;
        if (!byte(b)) return false;
        if (value > (~std::uint64_t(0) >> 7)) return false;
        value = (value << 7) | (b & 0x7F);
        if ((b & 0x80) == 0) {
            out = value;
            return true;
        }
    }
    return false;
}

bool SectionCursor::copyTo(std::uint8_t* out, std::size_t size) {
    if (size > remaining()) return false;
    const auto buffered = std::size_t(std::min<std::ptrdiff_t>(limit_ - next_, std::ptrdiff_t(size)));
    if (buffered > 0) std::memcpy(out, next_, buffered);
    next_ += buffered;
    out += buffered;
    size -= buffered;
    if (size >= capacity_) {
        // Large data goes straight where it belongs; the buffer restarts after it.
        const std::uint64_t at = position();
        if (!patch_.readAt(at, out, size)) {
            readFailed_ = true;
            return false;
        }
        bufferAt_ = at + size;
        filled_ = 0;
        next_ = limit_ = buffer_.get();
        return true;
    }
    while (size > 0) {
        if (!refill()) return false;
        const std::size_t n = std::min(size, filled_);
        std::memcpy(out, next_, n);
        next_ += n;
        out += n;
        size -= n;
    }
    return true;
}

}  // namespace patch
