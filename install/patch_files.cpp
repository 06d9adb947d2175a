#include "install/patch_files.h"

namespace install {

bool FileReader::adopt(platform::InputFile& file) {
    file_.swap(file);
    const std::int64_t length = file_.length();
    if (length < 0) return false;
    size_ = std::uint64_t(length);
    return true;
}

bool FileReader::open(const std::u16string& path) {
    platform::InputFile file;
    return file.open(path) && adopt(file);
}

bool FileReader::readAt(std::uint64_t offset, void* out, std::size_t size) {
    return file_.seek(std::int64_t(offset)) && file_.read(out, size) == size;
}

FileWriter::~FileWriter() { finish(); }

bool FileWriter::write(const void* data, std::size_t size) {
    if (error_ != platform::kErrorSuccess) return false;
    if (size > limit_ - written_) {
        error_ = platform::kErrorDiskFull;
        return false;
    }
    error_ = platform::writeAll(file_, data, size);
    written_ += size;
    return error_ == platform::kErrorSuccess;
}

bool FileWriter::readAt(std::uint64_t offset, void* out, std::size_t size) {
    if (!back_.isOpen() && !open_(back_)) return false;
    return back_.seek(std::int64_t(offset)) && back_.read(out, size) == size;
}

bool FileWriter::finish() {
    back_.close();
    platform::closeFile(file_);
    file_ = platform::kInvalidFile;
    return error_ == platform::kErrorSuccess;
}

}  // namespace install
