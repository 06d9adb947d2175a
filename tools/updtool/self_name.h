// The Updater's usual file name on this platform: what it exempts as its own
// file unless told otherwise.
#pragma once

#include <string>

#include "platform/platform.h"

namespace updtool {

inline std::u16string defaultSelfName() { return u"updater" + std::u16string(platform::executableSuffix()); }

}  // namespace updtool
