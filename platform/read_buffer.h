// The buffer behind an InputFile: the callers' small reads are served from
// one large read of the system, and a view hands out bytes where they lie in
// the buffer, sparing the copy.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>

namespace platform {

class ReadBuffer {
public:
    static constexpr std::size_t kBytes = 1 << 16;

    // fill(into, size) makes one read of the system of up to size bytes and
    // returns the count, 0 at the end of the file or on an error.

    // Reads at least this large skip the buffer when it is empty.
    static constexpr std::size_t kDirectBytes = 1 << 12;

    // Up to size bytes into out; fewer only at the end of the file or on an
    // error. What the buffer holds is copied; a request of kDirectBytes or
    // more that finds it empty goes straight to out.
    template <typename Fill>
    std::size_t read(void* out, std::size_t size, Fill&& fill) {
        auto* to = static_cast<unsigned char*>(out);
        std::size_t done = 0;
        while (done < size) {
            if (at_ == filled_) {
                if (size - done >= kDirectBytes) {
                    const std::size_t got = fill(to + done, size - done);
                    if (got == 0) break;
                    done += got;
                    continue;
                }
                at_ = 0;
                // The first small read after opening or a seek is often a
                // header's, followed by a seek or by large reads: it fills
                // only a little of the buffer.
                filled_ = fill(bytes_.get(), fresh_ ? kDirectBytes : kBytes);
                fresh_ = false;
                if (filled_ == 0) break;
            }
            const std::size_t take = std::min(size - done, filled_ - at_);
            std::memcpy(to + done, bytes_.get() + at_, take);
            at_ += take;
            done += take;
        }
        return done;
    }

    // The same count of bytes as read would deliver (size at most kBytes),
    // left in the buffer: data points at them until the next call.
    template <typename Fill>
    std::size_t view(const unsigned char*& data, std::size_t size, Fill&& fill) {
        if (filled_ - at_ < size) {
            // Whatever is left moves to the front, and the rest of the room fills.
            std::memmove(bytes_.get(), bytes_.get() + at_, filled_ - at_);
            filled_ -= at_;
            at_ = 0;
            fresh_ = false;
            while (filled_ < size) {
                const std::size_t got = fill(bytes_.get() + filled_, kBytes - filled_);
                if (got == 0) break;
                filled_ += got;
            }
        }
        const std::size_t take = std::min(size, filled_ - at_);
        data = bytes_.get() + at_;
        at_ += take;
        return take;
    }

    // Forgets what the buffer holds (a new file, a seek).
    void reset() {
        at_ = filled_ = 0;
        fresh_ = true;
    }

private:
    // Taken with the buffer, not at its first fill: taken later, behind other
    // allocations, the buffers of files verified side by side end at the top
    // of the heap when freed, and glibc shrinks and regrows it for each file.
    std::unique_ptr<unsigned char[]> bytes_ = std::make_unique_for_overwrite<unsigned char[]>(kBytes);
    std::size_t at_ = 0;      // the next byte to deliver
    std::size_t filled_ = 0;  // the bytes the buffer holds
    bool fresh_ = true;       // no read has filled it since the open or the last seek
};

}  // namespace platform
