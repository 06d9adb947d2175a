#include "tools/updtool/patch_files.h"

namespace updtool {

bool FileReader::open(const std::u16string& path) {
    if (!file_.open(path)) return false;
    const std::int64_t length = file_.length();
    if (length < 0) return false;
    size_ = std::uint64_t(length);
    return true;
}

bool FileReader::readAt(std::uint64_t offset, void* out, std::size_t size) {
    return file_.seek(std::int64_t(offset)) && file_.read(out, size) == size;
}

FileWriter::~FileWriter() { finish(); }

std::uint32_t FileWriter::create(const std::u16string& path) {
    path_ = path;
    return platform::createFileNew(path, file_);
}

bool FileWriter::write(const void* data, std::size_t size) {
    return platform::writeAll(file_, data, size) == platform::kErrorSuccess;
}

bool FileWriter::readAt(std::uint64_t offset, void* out, std::size_t size) {
    if (!back_.isOpen() && !back_.open(path_)) return false;
    return back_.seek(std::int64_t(offset)) && back_.read(out, size) == size;
}

void FileWriter::finish() {
    if (file_ == platform::kInvalidFile) return;
    back_.close();
    platform::closeFile(file_);
    file_ = platform::kInvalidFile;
}

}  // namespace updtool
