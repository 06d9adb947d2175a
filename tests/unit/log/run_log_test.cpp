// The run log's file, byte for byte.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "log/run_log.h"
#include "platform/platform.h"
#include "support/scratch.h"

using testsupport::readBytes;
using testsupport::ScratchDir;
using testsupport::utf16leBytes;

namespace {

constexpr std::size_t kStampBytes = 21 * 2;  // "[YYYY-MM-DD hh:mm:ss]" in UTF-16

// The lines of a log file: its bytes after the mark, cut after each CR LF.
std::vector<std::string> logLines(const std::string& bytes) {
    std::vector<std::string> lines;
    const std::string eol = utf16leBytes(u"\r\n");
    std::size_t start = 2;
    for (std::size_t at; (at = bytes.find(eol, start)) != std::string::npos; start = at + eol.size()) {
        if (at % 2 != 0) continue;  // not on a unit boundary
        lines.push_back(bytes.substr(start, at + eol.size() - start));
    }
    return lines;
}

// A line's message: without the time stamp and the CR LF, which must be there.
std::string message(const std::string& line) {
    EXPECT_GE(line.size(), kStampBytes + 4);
    if (line.size() < kStampBytes + 4) return {};
    EXPECT_EQ(line.substr(0, 2), utf16leBytes(u"["));
    EXPECT_EQ(line.substr(kStampBytes - 2, 2), utf16leBytes(u"]"));
    EXPECT_EQ(line.substr(line.size() - 4), utf16leBytes(u"\r\n"));
    return line.substr(kStampBytes, line.size() - kStampBytes - 4);
}

}  // namespace

TEST(RunLog, ReplacesAnOlderLogAndWritesTheMarkFirst) {
    ScratchDir scratch;
    const std::u16string name = scratch.path(u"autolog");
    ASSERT_TRUE(testsupport::writeBytes(name, std::string(5000, 'o')));
    RunLog log(name);
    EXPECT_EQ(readBytes(name), "\xFF\xFE");
    log.write(u"退出");
    const std::string bytes = readBytes(name);
    ASSERT_EQ(bytes.substr(0, 2), "\xFF\xFE");
    EXPECT_EQ(bytes.size(), 2 + kStampBytes + 2 * 2 + 4);
    const auto lines = logLines(bytes);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(message(lines[0]), utf16leBytes(u"退出"));
}

TEST(RunLog, FormatsTheStartFailureLine) {
    ScratchDir scratch;
    RunLog log(scratch.path(u"autolog"));
    log.write(u"主程序启动失败 %d  %s", {2, std::u16string_view(u"C:\\产品\\mivato.exe")});
    const auto lines = logLines(readBytes(scratch.path(u"autolog")));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(message(lines[0]), utf16leBytes(u"主程序启动失败 2  C:\\产品\\mivato.exe"));
}

TEST(RunLog, VerbatimLinesKeepTheirPercentSigns) {
    ScratchDir scratch;
    RunLog log(scratch.path(u"autolog"));
    log.writeVerbatim(u"100%s%d%%");
    log.write(u"%d%%", {-7});
    const auto lines = logLines(readBytes(scratch.path(u"autolog")));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(message(lines[0]), utf16leBytes(u"100%s%d%%"));
    EXPECT_EQ(message(lines[1]), utf16leBytes(u"-7%"));
}

TEST(RunLog, LongMessagesAreWrittenWhole) {
    ScratchDir scratch;
    RunLog log(scratch.path(u"autolog"));
    const std::u16string path(3000, u'路');
    log.write(u"movefail~  %s", {std::u16string_view(path)});
    log.writeVerbatim(path + u"end");
    const auto lines = logLines(readBytes(scratch.path(u"autolog")));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(message(lines[0]), utf16leBytes(u"movefail~  " + path));
    EXPECT_EQ(message(lines[1]), utf16leBytes(path + u"end"));
}

TEST(RunLog, WritesNothingWhenTheFileCannotBeCreated) {
    ScratchDir scratch;
    const std::u16string name = scratch.path(u"autolog");
    ASSERT_EQ(platform::createDirectory(name), 0u);  // a directory stands where the log would be
    RunLog log(name);
    log.write(u"退出");
    log.writeVerbatim(u"updater");
    EXPECT_TRUE(platform::isDirectory(name));
    std::vector<platform::DirEntry> entries;
    ASSERT_TRUE(platform::listDirectory(scratch.dir(), entries));
    EXPECT_EQ(entries.size(), 1u);
}

TEST(RunLog, ASecondRunKeepsOnlyItsOwnLines) {
    ScratchDir scratch;
    const std::u16string name = scratch.path(u"autolog");
    {
        RunLog first(name);
        first.write(u"first run");
    }
    RunLog second(name);
    second.write(u"second run");
    const auto lines = logLines(readBytes(name));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(message(lines[0]), utf16leBytes(u"second run"));
}

TEST(RunLog, LinesFromSeveralThreadsStayWhole) {
    ScratchDir scratch;
    RunLog log(scratch.path(u"autolog"));
    const std::u16string text = u"发现进程并且成功结束 " + std::u16string(200, u'x');
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&log, &text] {
            for (int i = 0; i < 100; ++i) log.writeVerbatim(text);
        });
    }
    for (auto& thread : threads) thread.join();
    const auto lines = logLines(readBytes(scratch.path(u"autolog")));
    ASSERT_EQ(lines.size(), 400u);
    for (const auto& line : lines) ASSERT_EQ(message(line), utf16leBytes(text));
}

TEST(RunLog, TheInstanceLogsToAutologInTheWorkingDirectory) {
    ScratchDir scratch;
    ASSERT_EQ(platform::setCurrentDirectory(scratch.dir()), 0u);
    RunLog& log = RunLog::instance();
    log.writeVerbatim(u"updater");
    EXPECT_EQ(&RunLog::instance(), &log);
    ASSERT_EQ(platform::setCurrentDirectory(u".."), 0u);
    const auto lines = logLines(readBytes(scratch.path(u"autolog")));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(message(lines[0]), utf16leBytes(u"updater"));
}
