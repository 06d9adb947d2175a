#include "patch/block_cache.h"

#include <algorithm>
#include <cstring>

namespace patch {

const BlockCache::Block* BlockCache::blockFor(std::uint64_t offset, std::size_t size) {
    const std::uint64_t start = offset - offset % kBlockBytes;
    const std::uint64_t end = offset + size;
    ++clock_;
    if (used_ > 0 && blocks_[last_].start == start && blocks_[last_].start + blocks_[last_].valid >= end) {
        blocks_[last_].lastUse = clock_;
        return &blocks_[last_];
    }
    // The block of that start, or else a free one, or else the least recently used.
    std::size_t pick = used_;
    for (std::size_t i = 0; i < used_; ++i) {
        if (blocks_[i].start == start) {
            pick = i;
            break;
        }
    }
    if (pick == used_ && used_ == kBlocks) {
        pick = 0;
        for (std::size_t i = 1; i < kBlocks; ++i) {
            if (blocks_[i].lastUse < blocks_[pick].lastUse) pick = i;
        }
    }
    Block& block = blocks_[pick];
    if (pick == used_) {
        block.bytes = std::make_unique_for_overwrite<std::uint8_t[]>(kBlockBytes);
        ++used_;
    }
    block.lastUse = clock_;
    last_ = pick;
    if (block.start == start && block.valid > 0 && block.start + block.valid >= end) return &block;
    // A block read near the end of a target written since is read again.
    const auto valid = std::size_t(std::min<std::uint64_t>(kBlockBytes, reader_.size() - start));
    block.start = start;
    block.valid = 0;
    if (!reader_.readAt(start, block.bytes.get(), valid)) return nullptr;
    block.valid = valid;
    return &block;
}

bool BlockCache::read(std::uint64_t offset, std::uint8_t* out, std::size_t size) {
    if (size >= kBlockBytes) return reader_.readAt(offset, out, size);
    while (size > 0) {
        const auto within = std::size_t(offset % kBlockBytes);
        const std::size_t n = std::min(size, kBlockBytes - within);
        const Block* block = blockFor(offset, n);
        if (block == nullptr) return false;
        std::memcpy(out, block->bytes.get() + within, n);
        offset += n;
        out += n;
        size -= n;
    }
    return true;
}

}  // namespace patch
