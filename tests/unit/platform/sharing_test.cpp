// How the open test and the replacing move fare against files that are held
// open: by this process, by another one, or running as a program.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/held_file.h"
#include "platform/pinned_file.h"
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

// A pinned file: read through its handle, moved through it, and refused
// where the move it stands for is refused.
TEST(PinnedFile, IsReadAndMovedThroughItsHandle) {
    ScratchDir scratch;
    const std::u16string staged = scratch.path(u"staged.dll");
    ASSERT_TRUE(writeBytes(staged, "verified bytes"));
    ASSERT_TRUE(writeBytes(scratch.path(u"old.dll"), "old"));
    EXPECT_EQ(platform::PinnedFile().open(scratch.path(u"missing.dll")), platform::kErrorFileNotFound);
    EXPECT_EQ(platform::PinnedFile().open(scratch.dir()), platform::kErrorAccessDenied);

    platform::PinnedFile pinned;
    ASSERT_EQ(pinned.open(staged), 0u);
    // A second hold of the file refuses writers and deleters, which the first is.
    EXPECT_EQ(platform::PinnedFile().open(staged), platform::kErrorSharingViolation);
    for (int pass = 0; pass < 2; ++pass) {
        platform::InputFile file;
        ASSERT_TRUE(file.open(pinned));
        char bytes[32] = {};
        EXPECT_EQ(std::string(bytes, file.read(bytes, sizeof bytes)), "verified bytes");
        EXPECT_TRUE(file.close());  // and the pin stays open for the next pass
    }
    {
        const HeldFile holder(scratch.path(u"old.dll"), HeldFile::Sharing::kReadWrite);
        ASSERT_TRUE(holder.isHeld());
        EXPECT_EQ(pinned.moveTo(scratch.path(u"old.dll")), platform::kErrorAccessDenied);
    }
    EXPECT_EQ(pinned.moveTo(scratch.path(u"old.dll")), 0u);
    pinned.close();
    EXPECT_EQ(testsupport::readBytes(scratch.path(u"old.dll")), "verified bytes");
    EXPECT_EQ(platform::findFirstFile(staged), platform::FindResult::kNotFound);
}

// What another program can do to a pinned file, through the C++ library
// rather than this project's platform layer: nothing on Windows; on POSIX
// anything, and the move then refuses.
TEST(PinnedFile, AChangedFileIsNeverMoved) {
    ScratchDir scratch;
    const std::u16string staged = scratch.path(u"staged.dll");
    const std::u16string target = scratch.path(u"target.dll");
    auto native = [](const std::u16string& path) {
        std::string out = platform::utf16ToUtf8(path);
        std::replace(out.begin(), out.end(), '\\', '/');
        return out;
    };
    for (const char* change : {"replace", "rewrite", "delete"}) {
        SCOPED_TRACE(change);
        ASSERT_TRUE(writeBytes(staged, "verified bytes"));
        ASSERT_TRUE(writeBytes(scratch.path(u"evil"), "evil"));
        platform::PinnedFile pinned;
        ASSERT_EQ(pinned.open(staged), 0u);
        const std::string how = change;
        // Change times may be as coarse as a few milliseconds.
        platform::sleepMs(20);
        std::error_code error;
        if (how == "replace") {
            std::filesystem::rename(native(scratch.path(u"evil")), native(staged), error);
        } else if (how == "rewrite") {
            std::FILE* file = std::fopen(native(staged).c_str(), "r+b");
            if (file != nullptr) {
                std::fputs("evil", file);
                std::fclose(file);
            } else {
                error = std::make_error_code(std::errc::permission_denied);
            }
        } else {
            std::filesystem::remove(native(staged), error);
        }
#ifdef _WIN32
        EXPECT_TRUE(error) << "the file could be changed while pinned";
        EXPECT_EQ(pinned.moveTo(target), 0u);
#else
        EXPECT_FALSE(error) << error.message();
        EXPECT_EQ(pinned.moveTo(target), platform::kErrorFileInvalid);
#endif
        pinned.close();  // Windows lets no reader in that does not share deletion with it
        EXPECT_EQ(testsupport::readBytes(target) == "verified bytes", static_cast<bool>(error));
        platform::deleteFile(target);
        platform::deleteFile(staged);
        platform::deleteFile(scratch.path(u"evil"));
    }
}
