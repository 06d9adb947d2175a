#include "tools/updtool/output.h"

#include "platform/platform.h"

namespace updtool {

void writeOut(std::u16string_view text) { platform::writeOutputText(text); }

void writeProblem(std::u16string_view message) {
    std::u16string line = u"updtool: ";
    line += message;
    line += u'\n';
    platform::writeErrorText(line);
}

std::u16string widen(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

std::u16string decimal(long long value) { return widen(std::to_string(value)); }

Progress::Progress(std::u16string_view what, std::size_t total)
    : what_(what), total_(total), active_(total > 0 && platform::stderrIsTerminal()) {}

Progress::~Progress() {
    // Leaves the line empty for whatever follows.
    if (!active_ || shownPercent_ > 100) return;
    std::u16string blank(what_.size() + 24, u' ');
    blank.front() = u'\r';
    blank.back() = u'\r';
    platform::writeErrorText(blank);
}

void Progress::advance() {
    ++done_;
    if (!active_) return;
    // Redrawn when the percentage changes, not for every file.
    const std::size_t percent = done_ * 100 / total_;
    if (percent == shownPercent_) return;
    shownPercent_ = percent;
    std::u16string line = u"\r";
    line += what_;
    line += u' ';
    line += decimal(static_cast<long long>(done_));
    line += u'/';
    line += decimal(static_cast<long long>(total_));
    line += u" (";
    line += decimal(static_cast<long long>(percent));
    line += u"%)";
    platform::writeErrorText(line);
}

}  // namespace updtool
