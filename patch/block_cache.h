// Reads through a few blocks kept in memory. The decoder's copies from the
// base, and from target bytes it wrote before, come in many small pieces
// close to one another: most are served without a read.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "patch/io.h"

namespace patch {

class BlockCache {
public:
    static constexpr std::size_t kBlockBytes = std::size_t(64) << 10;
    static constexpr std::size_t kBlocks = 32;
    static constexpr std::size_t kMemoryBytes = kBlockBytes * kBlocks;

    explicit BlockCache(Reader& reader) : reader_(reader) {}

    // size bytes from offset into out; the caller keeps them within
    // reader.size(). False on a read error.
    bool read(std::uint64_t offset, std::uint8_t* out, std::size_t size);

private:
    struct Block {
        std::uint64_t start = 0;
        std::size_t valid = 0;  // the bytes read: fewer at the end of the reader
        std::uint64_t lastUse = 0;
        std::unique_ptr<std::uint8_t[]> bytes;
    };

    // The block holding [offset, offset + size) within one block, read if need be.
    const Block* blockFor(std::uint64_t offset, std::size_t size);

    Reader& reader_;
    std::array<Block, kBlocks> blocks_;
    std::size_t used_ = 0;  // blocks with bytes
    std::size_t last_ = 0;  // the block of the last read
    std::uint64_t clock_ = 0;
};

}  // namespace patch
