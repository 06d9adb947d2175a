// The Updater's trace of its file steps on standard output: the lines the
// steps report, written as the run has always written them.
#pragma once

#include "install/step_sink.h"

namespace app {

class ConsoleSink final : public install::StepSink {
public:
    // "move.xml load err", narrow.
    void manifestNotLoaded() override;
    // "<path>被占用<code>", wide.
    void targetInUse(const std::u16string& path, std::uint32_t code) override;
};

}  // namespace app
