#include "tools/updtool/output.h"

#include "platform/platform.h"

namespace updtool {

void writeOut(std::u16string_view text) { platform::writeOutputText(text); }

void writeProblem(std::u16string_view message) {
    platform::writeErrorText(u"updtool: " + std::u16string(message) + u"\n");
}

std::u16string widen(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

std::u16string decimal(long long value) { return widen(std::to_string(value)); }

Progress::Progress(std::u16string_view what, std::size_t total)
    : what_(what), total_(total), active_(total > 0 && platform::stderrIsTerminal()) {}

Progress::~Progress() {
    // Leaves the line empty for whatever follows.
    if (active_ && shownPercent_ <= 100) platform::writeErrorText(u"\r" + std::u16string(what_.size() + 24, u' ') + u"\r");
}

void Progress::advance() {
    ++done_;
    if (!active_) return;
    // Redrawn when the percentage changes, not for every file.
    const std::size_t percent = done_ * 100 / total_;
    if (percent == shownPercent_) return;
    shownPercent_ = percent;
    platform::writeErrorText(u"\r" + what_ + u" " + decimal(static_cast<long long>(done_)) + u"/" +
                             decimal(static_cast<long long>(total_)) + u" (" +
                             decimal(static_cast<long long>(percent)) + u"%)");
}

}  // namespace updtool
