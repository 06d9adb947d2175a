// The Updater's trace of its file steps on standard output: the lines the
// steps report, written as the run has always written them; and the one
// report of a step that belongs in the log.
#pragma once

#include "install/step_sink.h"

namespace app {

class ConsoleSink final : public install::StepSink {
public:
    // "move.xml load err", narrow.
    void manifestNotLoaded() override;
    // "<path>被占用<code>", wide.
    void targetInUse(const std::u16string& path, std::uint32_t code) override;
    // Not on the console: the log line "<path>无法放回暂存目录，已保存为<keptAt>".
    void stagedFileKept(const std::u16string& path, const std::u16string& keptAt) override;
};

}  // namespace app
