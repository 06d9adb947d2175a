#include "log/run_log.h"

#include <bit>

RunLog& RunLog::instance() {
    // Never destroyed: the file stays open until the process ends.
    static RunLog* const log = new RunLog(u"autolog");
    return *log;
}

RunLog::RunLog(const std::u16string& fileName) : file_(platform::createFileAlways(fileName)) {
    isOpen_ = file_ != platform::kInvalidFile;
    if (isOpen_) {
        const unsigned char mark[2] = {0xFF, 0xFE};
        platform::writeFile(file_, mark, sizeof mark);
    }
}

RunLog::~RunLog() { platform::closeFile(file_); }

void RunLog::write(std::u16string_view format, std::initializer_list<platform::FormatArg> args) {
    if (!isOpen_) return;
    writeLine(platform::formatMessage(format, args));
}

void RunLog::writeVerbatim(std::u16string_view text) {
    if (!isOpen_) return;
    writeLine(text);
}

void RunLog::writeLine(std::u16string_view message) {
    const std::lock_guard<std::mutex> guard(lock_);
    std::u16string line = platform::formatLocalTime("[%Y-%m-%d %H:%M:%S]");
    line.append(message);
    line.append(u"\r\n");
    if constexpr (std::endian::native == std::endian::big) {
        for (char16_t& unit : line) unit = static_cast<char16_t>(unit << 8 | unit >> 8);
    }
    platform::writeFile(file_, line.data(), line.size() * sizeof(char16_t));  // one write per line
}
