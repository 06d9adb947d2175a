// The staged files of a signed update, held from their verification to their
// move, so that the file installed is the file whose digests were checked.
#pragma once

#include <vector>

#include "platform/pinned_file.h"

namespace install {

// One per manifest entry, in its order; an entry whose file was not opened
// keeps a closed one.
using HeldFiles = std::vector<platform::PinnedFile>;

}  // namespace install
