// What a pinned file is on every platform; the backends open, move and close it.
#include "platform/pinned_file.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace platform {

PinnedFile::~PinnedFile() { close(); }

PinnedFile::PinnedFile(PinnedFile&& other) noexcept { *this = std::move(other); }

PinnedFile& PinnedFile::operator=(PinnedFile&& other) noexcept {
    if (this != &other) {
        close();
        handle_ = std::exchange(other.handle_, -1);
        path_ = std::move(other.path_);
        std::copy(std::begin(other.opened_), std::end(other.opened_), opened_);
    }
    return *this;
}

}  // namespace platform
