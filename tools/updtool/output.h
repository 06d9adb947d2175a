// What updtool writes: results on standard output, messages and progress on
// standard error.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace updtool {

void writeOut(std::u16string_view text);
// "updtool: " + message + line end, on standard error.
void writeProblem(std::u16string_view message);

// ASCII text (digests, numbers) as UTF-16.
std::u16string widen(std::string_view ascii);
std::u16string decimal(long long value);

// A counter on standard error, redrawn in place, shown only when standard
// error is a terminal so that logs and pipes get nothing of it.
class Progress {
public:
    Progress(std::u16string_view what, std::size_t total);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void advance();

private:
    std::u16string what_;
    std::size_t total_;
    std::size_t done_ = 0;
    std::size_t shownPercent_ = 101;
    bool active_;
};

}  // namespace updtool
