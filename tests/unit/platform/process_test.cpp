// Starting, listing and terminating processes.
#include <gtest/gtest.h>

#include "platform/platform.h"
#include "platform/utf.h"
#include "support/scratch.h"

using testsupport::ScratchDir;

namespace {

// The id of the first listed process with that name, 0 when there is none.
// Every entry counts: under Wine the first one is a real process, the first
// that the Wine server ran.
std::uint32_t findProcess(const std::u16string& exeName) {
    std::vector<platform::ProcessEntry> processes;
    if (!platform::processSnapshot(processes)) return 0;
    for (const auto& p : processes) {
        if (p.exeName == exeName) return p.id;
    }
    return 0;
}

// Polls (bounded) until the process is listed (want = true) or gone.
std::uint32_t waitForProcess(const std::u16string& exeName, bool want) {
    for (int i = 0; i < 400; ++i) {
        const std::uint32_t id = findProcess(exeName);
        if ((id != 0) == want) return id;
        platform::sleepMs(50);
    }
    return want ? 0 : findProcess(exeName);
}

}  // namespace

TEST(ProcessSnapshot, ListsThisProcessAfterTheIdleEntry) {
    std::vector<platform::ProcessEntry> processes;
    ASSERT_TRUE(platform::processSnapshot(processes));
    ASSERT_GE(processes.size(), 2u);
#ifndef _WIN32
    EXPECT_EQ(processes[0].id, 0u);
    EXPECT_EQ(processes[0].exeName, u"[System Process]");
#endif
    const std::u16string self = platform::modulePath();
    const std::u16string selfName = self.substr(self.rfind(u'\\') + 1);
    std::string listed;
    for (const auto& p : processes) listed += platform::utf16ToUtf8(p.exeName) + " ";
    EXPECT_NE(findProcess(selfName), 0u) << platform::utf16ToUtf8(selfName) << " is not among " << listed;
}

TEST(StartProcess, ReportsAMissingProgramOrDirectory) {
    ScratchDir scratch;
    EXPECT_EQ(platform::startProcess(scratch.path(u"mivato.exe"), u"moveok~"), platform::kErrorFileNotFound);
    EXPECT_EQ(platform::startProcess(scratch.path(u"nodir\\mivato.exe"), u"moveok~"), platform::kErrorPathNotFound);
}

TEST(StartProcess, AStartedChildIsListedAndCanBeTerminated) {
    ScratchDir scratch;
    const std::u16string name = u"started-child.exe";
    ASSERT_EQ(platform::copyFileNew(testsupport::helperProgram(), scratch.path(name)), 0u);
    ASSERT_EQ(platform::startProcess(scratch.path(name), name + u" sleep 60000"), 0u);
    const std::uint32_t id = waitForProcess(name, true);
    ASSERT_NE(id, 0u) << "the child never showed in the process list";
    EXPECT_TRUE(platform::terminateProcess(id));
    EXPECT_EQ(waitForProcess(name, false), 0u) << "the child is still listed after its termination";
}

TEST(TerminateProcess, FailsForAProcessThatDoesNotExist) {
    EXPECT_FALSE(platform::terminateProcess(0x7FFFFFF0u));
}
