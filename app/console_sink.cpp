#include "app/console_sink.h"

#include "platform/format.h"
#include "platform/platform.h"

namespace app {

void ConsoleSink::manifestNotLoaded() { platform::writeNarrowLine(u"move.xml load err"); }

void ConsoleSink::targetInUse(const std::u16string& path, std::uint32_t code) {
    platform::writeWideLine(platform::formatMessage(u"%s被占用%d", {path, static_cast<std::int32_t>(code)}));
}

}  // namespace app
