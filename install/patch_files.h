// Files behind the patch codec's readers and writers, through the platform
// layer: a positioned read is a seek and a read of the file's stream.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "patch/io.h"
#include "platform/platform.h"

namespace install {

class FileReader final : public patch::Reader {
public:
    // Takes over what file has open; false when its size cannot be had.
    bool adopt(platform::InputFile& file);
    // Opens path as InputFile::open does.
    bool open(const std::u16string& path);
    std::uint64_t size() const override { return size_; }
    bool readAt(std::uint64_t offset, void* out, std::size_t size) override;

private:
    platform::InputFile file_;
    std::uint64_t size_ = 0;
};

// A new file written at its end and read back through a second stream,
// which open opens on the first call that needs it. Refuses to grow beyond
// limit bytes: what a patch declares is not to be trusted.
class FileWriter final : public patch::TargetWriter {
public:
    using Opener = std::function<bool(platform::InputFile& file)>;
    FileWriter(platform::FileHandle file, Opener open, std::uint64_t limit = UINT64_MAX)
        : file_(file), open_(std::move(open)), limit_(limit) {}
    ~FileWriter() override;
    FileWriter(const FileWriter&) = delete;
    FileWriter& operator=(const FileWriter&) = delete;

    bool write(const void* data, std::size_t size) override;
    bool readAt(std::uint64_t offset, void* out, std::size_t size) override;
    std::uint64_t written() const { return written_; }
    // The error code of the write that failed; 112 (disk full) beyond the limit.
    std::uint32_t error() const { return error_; }
    // Closes the file. Returns false when it was not written whole.
    bool finish();

private:
    platform::FileHandle file_;
    Opener open_;
    std::uint64_t limit_;
    std::uint64_t written_ = 0;
    std::uint32_t error_ = platform::kErrorSuccess;
    platform::InputFile back_;
};

}  // namespace install
