// Files behind the codec's readers and writers, through the platform layer:
// positioned reads are a seek and a read of the file's stream.
#pragma once

#include <cstdint>
#include <string>

#include "patch/io.h"
#include "platform/platform.h"

namespace updtool {

class FileReader final : public patch::Reader {
public:
    bool open(const std::u16string& path);  // false when it cannot be opened or measured
    std::uint64_t size() const override { return size_; }
    bool readAt(std::uint64_t offset, void* out, std::size_t size) override;

private:
    platform::InputFile file_;
    std::uint64_t size_ = 0;
};

// A new file, written at its end and read back through a second stream.
class FileWriter final : public patch::TargetWriter {
public:
    ~FileWriter() override;
    // 0 or the error code of creating path, which must not exist.
    std::uint32_t create(const std::u16string& path);
    bool write(const void* data, std::size_t size) override;
    bool readAt(std::uint64_t offset, void* out, std::size_t size) override;
    // Closes the file. A tool's output needs no flush to the disk: a run
    // cut short leaves OUT.partial, never OUT.
    void finish();

private:
    std::u16string path_;
    platform::FileHandle file_ = platform::kInvalidFile;
    platform::InputFile back_;
};

// Writes OUT through OUT.partial, which becomes OUT only when write(writer)
// succeeded: a failed run leaves no OUT. Returns 0, or the error code of the
// file operations, or kWriteRefused when write returned false with the
// files in order.
constexpr std::uint32_t kWriteRefused = ~std::uint32_t(0);
template <class Write>
std::uint32_t writeThroughPartial(const std::u16string& out, Write&& write) {
    const std::u16string partial = out + u".partial";
    FileWriter writer;
    std::uint32_t code = writer.create(partial);
    if (code != platform::kErrorSuccess) return code;
    const bool written = write(writer);
    writer.finish();
    code = written ? platform::renameFile(partial, out) : kWriteRefused;
    if (code != platform::kErrorSuccess) platform::deleteFile(partial);
    return code;
}

}  // namespace updtool
