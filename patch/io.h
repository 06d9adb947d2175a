// What the codec reads and writes through. It reaches no file itself: the
// caller puts files with positioned reads behind these, or memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace patch {

// Bytes read at any offset: the base, the patch, the encoder's new file.
class Reader {
public:
    virtual ~Reader() = default;
    virtual std::uint64_t size() const = 0;
    // Exactly size bytes from offset into out; false on a read error. The
    // codec asks for nothing beyond size().
    virtual bool readAt(std::uint64_t offset, void* out, std::size_t size) = 0;
};

using BaseReader = Reader;
using PatchReader = Reader;

// Bytes appended in order: the encoder's patch.
class Writer {
public:
    virtual ~Writer() = default;
    virtual bool write(const void* data, std::size_t size) = 0;  // false on a write error
};

// The decoder's target, which it reads back where a window refers to bytes
// it wrote before and no longer holds.
class TargetWriter : public Writer {
public:
    // Exactly size bytes of what was written, from offset; false on a read
    // error. The decoder asks only for bytes written already.
    virtual bool readAt(std::uint64_t offset, void* out, std::size_t size) = 0;
};

// Bytes in memory, which the reader does not own.
class MemoryReader final : public Reader {
public:
    explicit MemoryReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    std::uint64_t size() const override { return bytes_.size(); }
    bool readAt(std::uint64_t offset, void* out, std::size_t size) override;

private:
    std::span<const std::uint8_t> bytes_;
};

// Collects what is written in memory.
class MemoryWriter final : public TargetWriter {
public:
    bool write(const void* data, std::size_t size) override;
    bool readAt(std::uint64_t offset, void* out, std::size_t size) override;
    std::vector<std::uint8_t>& bytes() { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
};

}  // namespace patch
