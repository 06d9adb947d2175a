#include "patch/encoder.h"

#include <algorithm>
#include <memory>
#include <new>

#include "patch/adler32.h"
#include "patch/format.h"
#include "patch/hash_chains.h"
#include "patch/matcher.h"
#include "patch/window_encoder.h"

namespace patch {
namespace {

// The base index's entries at most: 128 MiB of chains and heads.
constexpr std::uint64_t kMaxBaseEntries = std::uint64_t(1) << 24;
// Reads of the base and the target are made in pieces of this size.
constexpr std::size_t kReadBytes = std::size_t(16) << 20;

std::uint32_t strideFor(std::uint64_t baseSize) {
    return std::uint32_t(std::max<std::uint64_t>(1, (baseSize + kMaxBaseEntries - 1) / kMaxBaseEntries));
}

// At most kMaxBaseEntries + 1: the stride makes it so.
std::size_t entriesFor(std::uint64_t baseSize) {
    return baseSize < HashChains::kKeyBytes ? 0
                                           : std::size_t((baseSize - HashChains::kKeyBytes) / strideFor(baseSize) + 1);
}

bool readAll(Reader& reader, std::uint64_t offset, std::uint8_t* out, std::size_t size) {
    for (std::size_t done = 0; done < size;) {
        const std::size_t n = std::min(kReadBytes, size - done);
        if (!reader.readAt(offset + done, out + done, n)) return false;
        done += n;
    }
    return true;
}

class Encoder {
public:
    Encoder(Reader& target, Writer& patch, const EncodeOptions& options)
        : target_(target), patch_(patch), options_(options) {}

    EncodeStatus run(BaseReader* base) {
        const std::uint64_t baseSize = base != nullptr ? base->size() : 0;
        if (baseSize > std::uint64_t(~std::size_t(0)) / 2) return EncodeStatus::kOutOfMemory;
        base_ = std::make_unique_for_overwrite<std::uint8_t[]>(std::size_t(baseSize));
        if (baseSize > 0 && !readAll(*base, 0, base_.get(), std::size_t(baseSize))) return EncodeStatus::kBaseReadFailed;
        const std::size_t entries = entriesFor(baseSize);
        if (entries > 0) {
            index_ = std::make_unique<HashChains>(entries, strideFor(baseSize), HashChains::kKeyBytes);
            for (std::size_t slot = 0; slot < entries; ++slot) {
                index_->add(slot, index_->key(base_.get() + slot * index_->stride()));
            }
        }
        Matcher matcher(base_.get(), baseSize, index_.get());

        std::uint8_t header[5];
        std::copy(std::begin(kMagic), std::end(kMagic), header);
        header[4] = 0;
        if (!patch_.write(header, sizeof header)) return EncodeStatus::kWriteFailed;

        const std::uint64_t targetSize = target_.size();
        const auto windowBytes = std::size_t(std::min<std::uint64_t>(targetSize, kWindowBytes));
        auto window = std::make_unique_for_overwrite<std::uint8_t[]>(std::max<std::size_t>(windowBytes, 1));
        std::uint64_t at = 0;
        do {
            const auto size = std::size_t(std::min<std::uint64_t>(targetSize - at, kWindowBytes));
            if (!readAll(target_, at, window.get(), size)) return EncodeStatus::kTargetReadFailed;
            matcher.encodeWindow(window.get(), size, at, out_);
            if (!writeWindow(window.get(), size, baseSize)) return EncodeStatus::kWriteFailed;
            at += size;
        } while (at < targetSize);
        return EncodeStatus::kOk;
    }

private:
    bool writeWindow(const std::uint8_t* window, std::size_t size, std::uint64_t baseSize) {
        std::uint8_t head[1 + 2 * kMaxVarintBytes];
        std::size_t n = 0;
        head[n++] = std::uint8_t((baseSize > 0 ? kWindowSource : 0) | (options_.checksum ? kWindowChecksum : 0));
        if (baseSize > 0) {
            n += putVarint(head + n, baseSize);
            n += putVarint(head + n, 0);
        }
        const std::uint32_t checksum = adler32(1, window, size);
        return patch_.write(head, n) && out_.write(patch_, size, options_.checksum ? &checksum : nullptr);
    }

    Reader& target_;
    Writer& patch_;
    const EncodeOptions& options_;
    std::unique_ptr<std::uint8_t[]> base_;
    std::unique_ptr<HashChains> index_;
    WindowEncoder out_;
};

}  // namespace

std::uint64_t encoderMemoryBound(std::uint64_t baseSize) {
    // The window, its index, and its sections: every byte may be added
    // (data), and a code, a size and an address per 4 bytes copied.
    const std::uint64_t window = kWindowBytes + Matcher::memoryFor(kWindowBytes) + 2 * kWindowBytes + (1 << 20);
    const std::size_t entries = entriesFor(baseSize);
    return baseSize + (entries > 0 ? HashChains::memoryFor(entries) : 0) + window;
}

EncodeStatus encode(BaseReader* base, Reader& target, Writer& patch, const EncodeOptions& options) {
    try {
        Encoder encoder(target, patch, options);
        return encoder.run(base);
    } catch (const std::bad_alloc&) {
        return EncodeStatus::kOutOfMemory;
    }
}

}  // namespace patch
