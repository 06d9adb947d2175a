// The buffering shared by the hash contexts: whole blocks go straight to the
// compression function, the rest waits in the context's buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace crypto {

// Feeds size bytes to a hash that has taken length bytes so far and holds
// the last length % Block of them in buffer; compress(blocks, count) takes
// whole blocks.
template <std::size_t Block, typename Compress>
void feedBlocks(std::uint8_t (&buffer)[Block], std::uint64_t& length, const void* data, std::size_t size,
                Compress compress) {
    if (size == 0) return;  // data may then be null, which memcpy must not see
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::size_t held = static_cast<std::size_t>(length % Block);
    length += size;
    if (held > 0) {
        const std::size_t take = size < Block - held ? size : Block - held;
        std::memcpy(buffer + held, bytes, take);
        bytes += take;
        size -= take;
        held += take;
        if (held < Block) return;
        compress(buffer, 1);
    }
    if (size >= Block) {
        compress(bytes, size / Block);
        bytes += size - size % Block;
        size %= Block;
    }
    if (size > 0) std::memcpy(buffer, bytes, size);
}

}  // namespace crypto
