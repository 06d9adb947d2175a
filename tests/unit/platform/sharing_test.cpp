// How the open test and the replacing move fare against files that are held
// open: by this process, by another one, or running as a program.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/held_file.h"
#include "platform/platform.h"
#include "platform/utf.h"
#include "support/scratch.h"

using platform::HeldFile;
using testsupport::ScratchDir;
using testsupport::writeBytes;

namespace {

// Waits (bounded) until the file exists: the helper's sign that it holds its file.
bool waitForFile(const std::u16string& path) {
    for (int i = 0; i < 600; ++i) {
        if (platform::findFirstFile(path) == platform::FindResult::kFile) return true;
        platform::sleepMs(50);
    }
    return false;
}

// Ends the helper processes started from one copy of the helper program.
void terminateAll(const std::u16string& exeName) {
    std::vector<platform::ProcessEntry> processes;
    for (int round = 0; round < 100; ++round) {
        if (!platform::processSnapshot(processes)) return;
        bool found = false;
        for (const auto& p : processes) {
            if (p.exeName == exeName) {
                found = true;
                platform::terminateProcess(p.id);
            }
        }
        if (!found) return;
        platform::sleepMs(50);
    }
}

std::u16string fileName(const std::u16string& path) { return path.substr(path.rfind(u'\\') + 1); }

}  // namespace

TEST(OpenReadWriteTest, SucceedsOnAFreeFileAndReportsMissingOnes) {
    ScratchDir scratch;
    ASSERT_TRUE(writeBytes(scratch.path(u"free.dll"), "x"));
    EXPECT_EQ(platform::openReadWriteTest(scratch.path(u"free.dll")), 0u);
    EXPECT_EQ(platform::openReadWriteTest(scratch.path(u"missing.dll")), platform::kErrorFileNotFound);
    EXPECT_EQ(platform::openReadWriteTest(scratch.path(u"nodir\\a.dll")), platform::kErrorPathNotFound);
    EXPECT_EQ(platform::openReadWriteTest(scratch.dir()), platform::kErrorAccessDenied);
}

TEST(OpenReadWriteTest, SharingViolationAgainstAHandleWithoutSharing) {
    ScratchDir scratch;
    ASSERT_TRUE(writeBytes(scratch.path(u"a.dll"), "x"));
    {
        const HeldFile held(scratch.path(u"a.dll"), HeldFile::Sharing::kNone);
        ASSERT_TRUE(held.isHeld());
        EXPECT_EQ(platform::openReadWriteTest(scratch.path(u"a.dll")), platform::kErrorSharingViolation);
    }
    EXPECT_EQ(platform::openReadWriteTest(scratch.path(u"a.dll")), 0u);
}

TEST(OpenReadWriteTest, PassesAHolderThatSharesReadingAndWriting) {
    ScratchDir scratch;
    ASSERT_TRUE(writeBytes(scratch.path(u"a.dll"), "x"));
    const HeldFile held(scratch.path(u"a.dll"), HeldFile::Sharing::kReadWrite);
    ASSERT_TRUE(held.isHeld());
    EXPECT_EQ(platform::openReadWriteTest(scratch.path(u"a.dll")), 0u);
}

TEST(InputFile, RefusesAFileHeldWithoutSharingAndReadsAShared) {
    ScratchDir scratch;
    ASSERT_TRUE(writeBytes(scratch.path(u"a.dll"), "x"));
    platform::InputFile file;
    {
        const HeldFile held(scratch.path(u"a.dll"), HeldFile::Sharing::kNone);
        ASSERT_TRUE(held.isHeld());
        EXPECT_FALSE(file.open(scratch.path(u"a.dll")));
    }
    const HeldFile held(scratch.path(u"a.dll"), HeldFile::Sharing::kReadWrite);
    ASSERT_TRUE(held.isHeld());
    EXPECT_TRUE(file.open(scratch.path(u"a.dll")));
}

TEST(MoveFileReplace, RefusesToReplaceAHeldFile) {
    ScratchDir scratch;
    ASSERT_TRUE(writeBytes(scratch.path(u"staged"), "new"));
    ASSERT_TRUE(writeBytes(scratch.path(u"a.dll"), "old"));
    {
        const HeldFile held(scratch.path(u"a.dll"), HeldFile::Sharing::kReadWrite);
        ASSERT_TRUE(held.isHeld());
        EXPECT_EQ(platform::moveFileReplace(scratch.path(u"staged"), scratch.path(u"a.dll")), platform::kErrorAccessDenied);
    }
    EXPECT_EQ(testsupport::readBytes(scratch.path(u"a.dll")), "old");
    EXPECT_EQ(platform::moveFileReplace(scratch.path(u"staged"), scratch.path(u"a.dll")), 0u);
    EXPECT_EQ(testsupport::readBytes(scratch.path(u"a.dll")), "new");
}

TEST(RenameFile, RefusesToRenameAFileHeldWithoutDeleteSharing) {
    ScratchDir scratch;
    ASSERT_TRUE(writeBytes(scratch.path(u"a.dll"), "old"));
    {
        const HeldFile held(scratch.path(u"a.dll"), HeldFile::Sharing::kReadWrite);
        ASSERT_TRUE(held.isHeld());
        EXPECT_EQ(platform::renameFile(scratch.path(u"a.dll"), scratch.path(u"b")), platform::kErrorSharingViolation);
    }
    EXPECT_EQ(platform::renameFile(scratch.path(u"a.dll"), scratch.path(u"b")), 0u);
}

TEST(OpenReadWriteTest, SharingViolationAgainstAnotherProcess) {
    ScratchDir scratch;
    const std::u16string exe = scratch.path(u"holder-process.exe");
    ASSERT_EQ(platform::copyFileNew(testsupport::helperProgram(), exe), 0u);
    const std::u16string target = scratch.path(u"held.dll");
    ASSERT_TRUE(writeBytes(target, "x"));
    ASSERT_EQ(platform::startProcess(exe, u"holder-process.exe hold " + target + u" none 60000"), 0u);
    ASSERT_TRUE(waitForFile(target + u".ready"));
    EXPECT_EQ(platform::openReadWriteTest(target), platform::kErrorSharingViolation);
    EXPECT_EQ(platform::moveFileReplace(scratch.path(u"held.dll.ready"), target), platform::kErrorAccessDenied);
    terminateAll(fileName(exe));
}

TEST(OpenReadWriteTest, ARunningProgramIsInUse) {
    ScratchDir scratch;
    const std::u16string exe = scratch.path(u"running-program.exe");
    ASSERT_EQ(platform::copyFileNew(testsupport::helperProgram(), exe), 0u);
    ASSERT_TRUE(writeBytes(scratch.path(u"staged"), "new"));
    ASSERT_EQ(platform::startProcess(exe, u"running-program.exe hold " + scratch.path(u"staged") + u" readwrite 60000"), 0u);
    ASSERT_TRUE(waitForFile(scratch.path(u"staged.ready")));
    EXPECT_EQ(platform::openReadWriteTest(exe), platform::kErrorSharingViolation);
    EXPECT_EQ(platform::moveFileReplace(scratch.path(u"staged.ready"), exe), platform::kErrorAccessDenied);
    terminateAll(fileName(exe));
}
