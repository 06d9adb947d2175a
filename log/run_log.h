// The run log: the process-wide UTF-16 text file "autolog" in the working
// directory, rewritten by every start. Each call writes one whole line:
// "[YYYY-MM-DD hh:mm:ss]", the message, CR LF.
#pragma once

#include <initializer_list>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/format.h"
#include "platform/platform.h"

class RunLog {
public:
    // The process-wide log, creating "autolog" on the first call. When the
    // file cannot be created, every write does nothing; there is no retry.
    static RunLog& instance();

    // A log of its own on fileName (created anew, emptied if it exists).
    // instance() is the one the program uses; this serves tests.
    explicit RunLog(const std::u16string& fileName);
    ~RunLog();
    RunLog(const RunLog&) = delete;
    RunLog& operator=(const RunLog&) = delete;

    // One line whose message is format filled printf-style (%s a UTF-16
    // string, %d a 32-bit integer). The message is written whole, however long.
    void write(std::u16string_view format, std::initializer_list<platform::FormatArg> args = {});
    // One line whose message is text unchanged: no % is interpreted.
    void writeVerbatim(std::u16string_view text);

private:
    void writeLine(std::u16string_view message);

    std::mutex lock_;  // serialises whole lines
    platform::FileHandle file_ = platform::kInvalidFile;
    bool isOpen_ = false;
};
