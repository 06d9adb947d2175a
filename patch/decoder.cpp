#include "patch/decoder.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "patch/address_cache.h"
#include "patch/adler32.h"
#include "patch/block_cache.h"
#include "patch/code_table.h"
#include "patch/format.h"
#include "patch/section_cursor.h"

namespace patch {
namespace {

static_assert(kWindowBytes + 2 * BlockCache::kMemoryBytes + 3 * SectionCursor::kBufferBytes + (64 << 10) <=
              kDecoderMemoryBound);

constexpr std::uint64_t kMax = ~std::uint64_t(0);

// A reader with no bytes, for a patch applied without a base.
class NoBase final : public Reader {
public:
    std::uint64_t size() const override { return 0; }
    bool readAt(std::uint64_t, void*, std::size_t size) override { return size == 0; }
};

// The target as far as it was written, read back through its writer.
class WrittenTarget final : public Reader {
public:
    explicit WrittenTarget(TargetWriter& target) : target_(target) {}
    std::uint64_t size() const override { return written; }
    bool readAt(std::uint64_t offset, void* out, std::size_t size) override {
        return target_.readAt(offset, out, size);
    }
    std::uint64_t written = 0;

private:
    TargetWriter& target_;
};

class Decoder {
public:
    Decoder(PatchReader& patch, BaseReader* base, TargetWriter& target)
        : patch_(patch), target_(target), written_(target), baseCache_(base != nullptr ? *base : noBase_),
          targetCache_(written_), baseSize_(base != nullptr ? base->size() : 0), head_(patch), inst_(patch),
          addr_(patch) {}

    DecodeStatus run() {
        const std::uint64_t size = patch_.size();
        head_.start(0, size);
        if (!header()) return fault_;
        while (head_.position() < size) {
            if (!window()) return fault_;
        }
        return DecodeStatus::kOk;
    }

private:
    bool fail(DecodeStatus status) {
        fault_ = status;
        return false;
    }
    bool damaged() { return fail(DecodeStatus::kDamaged); }
    bool cursorFault(const SectionCursor& cursor) {
        return fail(cursor.readFailed() ? DecodeStatus::kPatchReadFailed : DecodeStatus::kDamaged);
    }

    bool header() {
        std::uint8_t magic[4];
        if (!head_.copyTo(magic, 4)) return cursorFault(head_);
        if (std::memcmp(magic, kMagic, 4) != 0) return damaged();
        std::uint8_t indicator;
        if (!head_.byte(indicator)) return cursorFault(head_);
        if ((indicator & ~kHeaderAppData) != 0) return damaged();
        if ((indicator & kHeaderAppData) != 0) {
            std::uint64_t length;
            if (!head_.varint(length)) return cursorFault(head_);
            if (length > head_.remaining()) return damaged();
            head_.start(head_.position() + length, patch_.size());
        }
        return true;
    }

    bool window() {
        std::uint8_t indicator;
        if (!head_.byte(indicator)) return cursorFault(head_);
        if ((indicator & ~(kWindowSource | kWindowTarget | kWindowChecksum)) != 0) return damaged();
        const bool fromBase = (indicator & kWindowSource) != 0;
        const bool fromTarget = (indicator & kWindowTarget) != 0;
        if (fromBase && fromTarget) return damaged();
        segmentLength_ = segmentAt_ = 0;
        segment_ = nullptr;
        if (fromBase || fromTarget) {
            if (!head_.varint(segmentLength_) || !head_.varint(segmentAt_)) return cursorFault(head_);
            const std::uint64_t limit = fromBase ? baseSize_ : written_.written;
            if (segmentAt_ > limit || segmentLength_ > limit - segmentAt_) return damaged();
            segment_ = fromBase ? &baseCache_ : &targetCache_;
        }
        std::uint64_t deltaLength, dataLength, instLength, addrLength;
        if (!head_.varint(deltaLength)) return cursorFault(head_);
        if (deltaLength > head_.remaining()) return damaged();
        const std::uint64_t end = head_.position() + deltaLength;
        std::uint8_t deltaIndicator;
        if (!head_.varint(targetLength_) || !head_.byte(deltaIndicator) || !head_.varint(dataLength) ||
            !head_.varint(instLength) || !head_.varint(addrLength)) {
            return cursorFault(head_);
        }
        if (deltaIndicator != 0) return damaged();
        checked_ = (indicator & kWindowChecksum) != 0;
        std::uint32_t expected = 0;
        if (checked_) {
            std::uint8_t sum[4];
            if (!head_.copyTo(sum, 4)) return cursorFault(head_);
            expected = std::uint32_t(sum[0]) << 24 | std::uint32_t(sum[1]) << 16 | std::uint32_t(sum[2]) << 8 | sum[3];
        }
        const std::uint64_t data = head_.position();
        if (data > end || dataLength > end - data || instLength > end - data - dataLength ||
            addrLength != end - data - dataLength - instLength) {
            return damaged();
        }
        if (targetLength_ > kMax - written_.written || targetLength_ > kMax - segmentLength_) return damaged();
        head_.start(data, data + dataLength);
        inst_.start(data + dataLength, data + dataLength + instLength);
        addr_.start(data + dataLength + instLength, end);

        beginTarget();
        while (!inst_.atEnd()) {
            std::uint8_t code;
            if (!inst_.byte(code)) return cursorFault(inst_);
            const CodeEntry& entry = kDefaultCodeTable[code];
            if (!instruction(entry.first) || !instruction(entry.second)) return false;
        }
        if (produced_ != targetLength_ || !head_.atEnd() || !addr_.atEnd()) return damaged();
        if (!finishTarget(expected)) return false;
        head_.start(end, patch_.size());
        return true;
    }

    bool instruction(Instruction in) {
        if (in.type == kNoop) return true;
        std::uint64_t size = in.size;
        if (size == 0 && !inst_.varint(size)) return cursorFault(inst_);
        if (size > targetLength_ - produced_) return damaged();
        if (in.type == kAdd) return add(size);
        if (in.type == kRun) return run(size);
        return copy(size, in.mode);
    }

    bool add(std::uint64_t size) {
        while (size > 0) {
            if (!makeRoom()) return false;
            const std::size_t n = pieceOf(size);
            if (!head_.copyTo(buffer_.get() + held_, n)) return cursorFault(head_);
            advance(n);
            size -= n;
        }
        return true;
    }

    bool run(std::uint64_t size) {
        std::uint8_t value;
        if (!head_.byte(value)) return cursorFault(head_);
        while (size > 0) {
            if (!makeRoom()) return false;
            const std::size_t n = pieceOf(size);
            std::memset(buffer_.get() + held_, value, n);
            advance(n);
            size -= n;
        }
        return true;
    }

    bool copy(std::uint64_t size, std::uint8_t mode) {
        const std::uint64_t here = segmentLength_ + produced_;
        std::uint64_t address;
        if (mode < 2 + kNearSlots) {
            std::uint64_t value;
            if (!addr_.varint(value)) return cursorFault(addr_);
            if (mode == 0) {
                address = value;
            } else if (mode == 1) {
                if (value > here) return damaged();
                address = here - value;
            } else {
                const std::uint64_t base = cache_.near[mode - 2];
                if (value > kMax - base) return damaged();
                address = base + value;
            }
        } else {
            std::uint8_t value;
            if (!addr_.byte(value)) return cursorFault(addr_);
            address = cache_.same[std::size_t(mode - 2 - kNearSlots) * 256 + value];
        }
        cache_.update(address);
        if (address >= here) return damaged();
        if (address < segmentLength_) {
            if (size > segmentLength_ - address) return damaged();
            return copySegment(segmentAt_ + address, size);
        }
        return copyTarget(address - segmentLength_, size);
    }

    bool copySegment(std::uint64_t from, std::uint64_t size) {
        while (size > 0) {
            if (!makeRoom()) return false;
            const std::size_t n = pieceOf(size);
            if (!segment_->read(from, buffer_.get() + held_, n)) {
                return fail(segment_ == &baseCache_ ? DecodeStatus::kBaseReadFailed : DecodeStatus::kWriteFailed);
            }
            advance(n);
            from += n;
            size -= n;
        }
        return true;
    }

    // from is a position in this window before produced_; the copy may run
    // into the bytes it makes, which then repeat.
    bool copyTarget(std::uint64_t from, std::uint64_t size) {
        while (size > 0) {
            if (!makeRoom()) return false;
            std::size_t n = pieceOf(size);
            std::uint8_t* to = buffer_.get() + held_;
            if (from >= heldFrom_) {
                const std::uint8_t* source = buffer_.get() + (from - heldFrom_);
                for (std::size_t left = n; left > 0;) {
                    const std::size_t step = std::min<std::size_t>(left, std::size_t(to - source));
                    std::memcpy(to, source, step);
                    to += step;
                    left -= step;
                }
            } else {
                n = std::size_t(std::min<std::uint64_t>(n, heldFrom_ - from));
                if (!targetCache_.read(windowAt_ + from, to, n)) return fail(DecodeStatus::kWriteFailed);
            }
            advance(n);
            from += n;
            size -= n;
        }
        return true;
    }

    void beginTarget() {
        cache_.clear();
        windowAt_ = written_.written;
        produced_ = heldFrom_ = 0;
        held_ = 0;
        adler_ = 1;
        const auto capacity = std::size_t(std::min<std::uint64_t>(targetLength_, kWindowBytes));
        // Grown only to the largest window so far, and never cleared: every
        // byte of it is written before it is read.
        if (bufferSize_ < capacity) {
            buffer_.reset();
            buffer_ = std::make_unique_for_overwrite<std::uint8_t[]>(capacity);
            bufferSize_ = capacity;
        }
        capacity_ = capacity;
    }

    // The bytes of size that fit the room left in the buffer.
    std::size_t pieceOf(std::uint64_t size) const {
        return std::size_t(std::min<std::uint64_t>(size, capacity_ - held_));
    }
    void advance(std::size_t n) {
        held_ += n;
        produced_ += n;
    }

    // A full buffer (only a window larger than it fills it) writes its first
    // half and keeps the later half, which nearby copies read.
    bool makeRoom() {
        if (held_ < capacity_) return true;
        const std::size_t half = capacity_ / 2;
        if (!emit(half)) return false;
        std::memmove(buffer_.get(), buffer_.get() + half, held_ - half);
        held_ -= half;
        heldFrom_ += half;
        return true;
    }

    bool emit(std::size_t size) {
        if (checked_) adler_ = adler32(adler_, buffer_.get(), size);
        if (size > 0 && !target_.write(buffer_.get(), size)) return fail(DecodeStatus::kWriteFailed);
        written_.written += size;
        return true;
    }

    bool finishTarget(std::uint32_t expected) {
        if (checked_ && adler32(adler_, buffer_.get(), held_) != expected) return damaged();
        return emit(held_);
    }

    PatchReader& patch_;
    TargetWriter& target_;
    NoBase noBase_;
    WrittenTarget written_;
    BlockCache baseCache_;
    BlockCache targetCache_;
    std::uint64_t baseSize_;
    SectionCursor head_;  // the headers, then each window's data section
    SectionCursor inst_;
    SectionCursor addr_;
    AddressCache cache_;
    DecodeStatus fault_ = DecodeStatus::kDamaged;

    // The window being decoded.
    std::uint64_t segmentLength_ = 0;
    std::uint64_t segmentAt_ = 0;
    BlockCache* segment_ = nullptr;
    std::uint64_t targetLength_ = 0;
    std::uint64_t windowAt_ = 0;  // the target offset of its first byte
    std::uint64_t produced_ = 0;  // its bytes made so far
    std::uint64_t heldFrom_ = 0;  // its position that buffer_[0] holds
    std::size_t held_ = 0;        // its bytes in buffer_
    std::size_t capacity_ = 0;    // what buffer_ may hold of it
    bool checked_ = false;        // it carries a checksum
    std::uint32_t adler_ = 1;     // of its bytes written so far
    std::unique_ptr<std::uint8_t[]> buffer_;
    std::size_t bufferSize_ = 0;
};

}  // namespace

DecodeStatus decode(PatchReader& patch, BaseReader* base, TargetWriter& target) {
    try {
        Decoder decoder(patch, base, target);
        return decoder.run();
    } catch (const std::bad_alloc&) {
        return DecodeStatus::kOutOfMemory;
    }
}

}  // namespace patch
