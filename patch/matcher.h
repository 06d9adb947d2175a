// Chooses the instructions of one target window: at every position the
// match that saves the most bytes among those of the base index, of the
// window's own earlier bytes, at the base offsets of the latest copies, and
// runs of one byte; taken greedily, with one position of look-ahead, and
// extended backwards over the bytes before it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "patch/hash_chains.h"
#include "patch/window_encoder.h"

namespace patch {

class Matcher {
public:
    // base: baseSize bytes indexed by baseIndex (null for no base).
    Matcher(const std::uint8_t* base, std::uint64_t baseSize, const HashChains* baseIndex);

    // Encodes the window of size bytes at target offset windowAt into out,
    // whose addresses start with the whole base as the segment.
    void encodeWindow(const std::uint8_t* window, std::size_t size, std::uint64_t windowAt, WindowEncoder& out);

    static std::size_t memoryFor(std::size_t windowBytes) { return HashChains::memoryFor(windowBytes); }

private:
    struct Match {
        std::size_t start = 0;    // in the window
        std::size_t length = 0;
        std::uint64_t address = 0;  // of the copy; for a run, its byte
        bool run = false;
        long gain = 0;            // bytes saved against adding them
    };

    Match best(std::size_t at, std::size_t from) const;
    void consider(Match& best, std::size_t at, std::size_t from, std::uint64_t address, const std::uint8_t* source,
                  std::size_t sourceBefore, std::size_t limit) const;
    void addSelf(std::size_t upTo);
    void noteCopy(const Match& m);

    const std::uint8_t* base_;
    std::uint64_t baseSize_;
    const HashChains* baseIndex_;
    std::unique_ptr<HashChains> self_;
    const std::uint8_t* window_ = nullptr;
    std::size_t size_ = 0;
    std::uint64_t windowAt_ = 0;
    std::size_t added_ = 0;  // window positions in self_
    WindowEncoder* out_ = nullptr;
    // Base offset minus target offset of the latest copies from the base.
    std::array<std::int64_t, 4> displacements_{};
};

}  // namespace patch
