#include "app/console_sink.h"

#include "log/run_log.h"
#include "platform/format.h"
#include "platform/platform.h"

namespace app {

void ConsoleSink::manifestNotLoaded() { platform::writeNarrowLine(u"move.xml load err"); }

void ConsoleSink::targetInUse(const std::u16string& path, std::uint32_t code) {
    platform::writeWideLine(platform::formatMessage(u"%s被占用%d", {path, static_cast<std::int32_t>(code)}));
}

void ConsoleSink::stagedFileKept(const std::u16string& path, const std::u16string& keptAt) {
    RunLog::instance().write(u"%s无法放回暂存目录，已保存为%s", {path, keptAt});
}

}  // namespace app
