// File and directory calls with the Windows error codes the program reports.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "platform/platform.h"
#include "support/scratch.h"

using platform::FindResult;
using testsupport::readBytes;
using testsupport::ScratchDir;
using testsupport::writeBytes;

TEST(FindFirstFile, TellsFilesFromDirectoriesAndMissingItems) {
    ScratchDir scratch;
    ASSERT_TRUE(writeBytes(scratch.path(u"a.dll"), "x"));
    ASSERT_EQ(platform::createDirectory(scratch.path(u"bin")), 0u);
    EXPECT_EQ(platform::findFirstFile(scratch.path(u"a.dll")), FindResult::kFile);
    EXPECT_EQ(platform::findFirstFile(scratch.path(u"bin")), FindResult::kDirectory);
    EXPECT_EQ(platform::findFirstFile(scratch.path(u"missing.dll")), FindResult::kNotFound);
    EXPECT_EQ(platform::findFirstFile(scratch.path(u"nodir\\a.dll")), FindResult::kNotFound);
}

TEST(IsDirectory, OnlyForExistingDirectories) {
    ScratchDir scratch;
    ASSERT_TRUE(writeBytes(scratch.path(u"file"), "x"));
    EXPECT_TRUE(platform::isDirectory(scratch.dir()));
    EXPECT_FALSE(platform::isDirectory(scratch.path(u"file")));
    EXPECT_FALSE(platform::isDirectory(scratch.path(u"missing")));
}

TEST(CreateDirectory, ReportsExistingItemsAndMissingParents) {
    ScratchDir scratch;
    EXPECT_EQ(platform::createDirectory(scratch.path(u"bin")), 0u);
    EXPECT_TRUE(platform::isDirectory(scratch.path(u"bin")));
    EXPECT_EQ(platform::createDirectory(scratch.path(u"bin")), platform::kErrorAlreadyExists);
    ASSERT_TRUE(writeBytes(scratch.path(u"file"), "x"));
    EXPECT_EQ(platform::createDirectory(scratch.path(u"file")), platform::kErrorAlreadyExists);
    EXPECT_EQ(platform::createDirectory(scratch.path(u"no\\such\\dir")), platform::kErrorPathNotFound);
    EXPECT_EQ(platform::createDirectory(scratch.path(u"bin\\sub")), 0u);
}

TEST(RemoveDirectory, RefusesADirectoryThatIsNotEmpty) {
    ScratchDir scratch;
    ASSERT_EQ(platform::createDirectory(scratch.path(u"d")), 0u);
    ASSERT_TRUE(writeBytes(scratch.path(u"d\\f"), "x"));
    EXPECT_EQ(platform::removeDirectory(scratch.path(u"d")), platform::kErrorDirNotEmpty);
    EXPECT_EQ(platform::deleteFile(scratch.path(u"d\\f")), 0u);
    EXPECT_EQ(platform::removeDirectory(scratch.path(u"d")), 0u);
    EXPECT_FALSE(platform::isDirectory(scratch.path(u"d")));
}

TEST(MoveFileReplace, ReplacesTheTargetAndEmptiesTheSource) {
    ScratchDir scratch;
    ASSERT_TRUE(writeBytes(scratch.path(u"new.dll"), "new content"));
    ASSERT_TRUE(writeBytes(scratch.path(u"old.dll"), "old"));
    EXPECT_EQ(platform::moveFileReplace(scratch.path(u"new.dll"), scratch.path(u"old.dll")), 0u);
    EXPECT_EQ(readBytes(scratch.path(u"old.dll")), "new content");
    EXPECT_EQ(platform::findFirstFile(scratch.path(u"new.dll")), FindResult::kNotFound);
}

TEST(MoveFileReplace, MovesIntoAnotherDirectoryUnderANewName) {
    ScratchDir scratch;
    ASSERT_EQ(platform::createDirectory(scratch.path(u"autoTemp")), 0u);
    ASSERT_EQ(platform::createDirectory(scratch.path(u"bin")), 0u);
    ASSERT_TRUE(writeBytes(scratch.path(u"autoTemp\\a.dll"), "staged"));
    EXPECT_EQ(platform::moveFileReplace(scratch.path(u"autoTemp\\a.dll"), scratch.path(u"bin\\b.dll")), 0u);
    EXPECT_EQ(readBytes(scratch.path(u"bin\\b.dll")), "staged");
}

TEST(MoveFileReplace, ReportsWhatStandsInTheWay) {
    ScratchDir scratch;
    ASSERT_TRUE(writeBytes(scratch.path(u"src"), "x"));
    ASSERT_EQ(platform::createDirectory(scratch.path(u"dir")), 0u);
    EXPECT_EQ(platform::moveFileReplace(scratch.path(u"src"), scratch.path(u"dir")), platform::kErrorAccessDenied);
    EXPECT_EQ(platform::moveFileReplace(scratch.path(u"missing"), scratch.path(u"t")), platform::kErrorFileNotFound);
    EXPECT_EQ(platform::moveFileReplace(scratch.path(u"nodir\\src"), scratch.path(u"t")), platform::kErrorPathNotFound);
    EXPECT_EQ(platform::moveFileReplace(scratch.path(u"src"), scratch.path(u"nodir\\t")), platform::kErrorPathNotFound);
    EXPECT_EQ(readBytes(scratch.path(u"src")), "x");  // a failed move leaves the source
}

TEST(CopyFileNew, CopiesButNeverOverwrites) {
    ScratchDir scratch;
    ASSERT_TRUE(writeBytes(scratch.path(u"a"), std::string(70000, 'a')));
    ASSERT_TRUE(writeBytes(scratch.path(u"b"), "b"));
    EXPECT_EQ(platform::copyFileNew(scratch.path(u"a"), scratch.path(u"c")), 0u);
    EXPECT_EQ(readBytes(scratch.path(u"c")), std::string(70000, 'a'));
    EXPECT_EQ(platform::copyFileNew(scratch.path(u"a"), scratch.path(u"b")), platform::kErrorFileExists);
    EXPECT_EQ(readBytes(scratch.path(u"b")), "b");
    EXPECT_EQ(platform::copyFileNew(scratch.path(u"missing"), scratch.path(u"d")), platform::kErrorFileNotFound);
}

TEST(RenameFile, RenamesButNeverOverwrites) {
    ScratchDir scratch;
    ASSERT_TRUE(writeBytes(scratch.path(u"a"), "a"));
    ASSERT_TRUE(writeBytes(scratch.path(u"b"), "b"));
    EXPECT_EQ(platform::renameFile(scratch.path(u"a"), scratch.path(u"b")), platform::kErrorAlreadyExists);
    EXPECT_EQ(readBytes(scratch.path(u"b")), "b");
    EXPECT_EQ(platform::renameFile(scratch.path(u"a"), scratch.path(u"c")), 0u);
    EXPECT_EQ(readBytes(scratch.path(u"c")), "a");
    EXPECT_EQ(platform::findFirstFile(scratch.path(u"a")), platform::FindResult::kNotFound);
    EXPECT_EQ(platform::renameFile(scratch.path(u"a"), scratch.path(u"d")), platform::kErrorFileNotFound);
    EXPECT_EQ(platform::renameFile(scratch.path(u"c"), scratch.path(u"nodir\\c")), platform::kErrorPathNotFound);
}

TEST(CreateFileNew, WritesFlushesAndRefusesAnExistingName) {
    ScratchDir scratch;
    platform::FileHandle file = platform::kInvalidFile;
    ASSERT_EQ(platform::createFileNew(scratch.path(u"j"), file), 0u);
    EXPECT_EQ(platform::writeAll(file, "plan", 4), 0u);
    EXPECT_EQ(platform::flushFile(file), 0u);
    platform::closeFile(file);
    EXPECT_EQ(platform::syncDirectory(scratch.dir()), 0u);
    EXPECT_EQ(readBytes(scratch.path(u"j")), "plan");
    EXPECT_EQ(platform::createFileNew(scratch.path(u"j"), file), platform::kErrorFileExists);
    EXPECT_EQ(file, platform::kInvalidFile);
    EXPECT_EQ(readBytes(scratch.path(u"j")), "plan");
}

TEST(DeleteFile, DeletesFilesOnly) {
    ScratchDir scratch;
    ASSERT_TRUE(writeBytes(scratch.path(u"f"), "x"));
    ASSERT_EQ(platform::createDirectory(scratch.path(u"d")), 0u);
    EXPECT_EQ(platform::deleteFile(scratch.path(u"f")), 0u);
    EXPECT_EQ(platform::deleteFile(scratch.path(u"f")), platform::kErrorFileNotFound);
    EXPECT_EQ(platform::deleteFile(scratch.path(u"d")), platform::kErrorAccessDenied);
}

TEST(ListDirectory, NamesEntriesWithTheirKind) {
    ScratchDir scratch;
    ASSERT_TRUE(writeBytes(scratch.path(u"文件.txt"), "x"));
    ASSERT_EQ(platform::createDirectory(scratch.path(u"sub")), 0u);
    std::vector<platform::DirEntry> entries;
    ASSERT_TRUE(platform::listDirectory(scratch.dir(), entries));
    std::sort(entries.begin(), entries.end(), [](const auto& x, const auto& y) { return x.name < y.name; });
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, u"sub");
    EXPECT_TRUE(entries[0].isDirectory);
    EXPECT_EQ(entries[1].name, u"文件.txt");
    EXPECT_FALSE(entries[1].isDirectory);
    EXPECT_FALSE(platform::listDirectory(scratch.path(u"missing"), entries));
}

TEST(CreateFileAlways, EmptiesAnExistingFile) {
    ScratchDir scratch;
    ASSERT_TRUE(writeBytes(scratch.path(u"f"), "old content"));
    const platform::FileHandle file = platform::createFileAlways(scratch.path(u"f"));
    ASSERT_NE(file, platform::kInvalidFile);
    EXPECT_TRUE(platform::writeFile(file, "ab", 2));
    EXPECT_TRUE(platform::writeFile(file, "cd", 2));
    platform::closeFile(file);
    EXPECT_EQ(readBytes(scratch.path(u"f")), "abcd");
    EXPECT_EQ(platform::createFileAlways(scratch.dir()), platform::kInvalidFile);
}

TEST(InputFile, ReadsSeeksAndMeasures) {
    ScratchDir scratch;
    ASSERT_TRUE(writeBytes(scratch.path(u"f"), "0123456789"));
    platform::InputFile file;
    ASSERT_TRUE(file.open(scratch.path(u"f")));
    EXPECT_EQ(file.length(), 10);
    char buffer[16] = {};
    EXPECT_EQ(file.read(buffer, 4), 4u);
    EXPECT_EQ(std::string(buffer, 4), "0123");
    EXPECT_EQ(file.length(), 10);  // measuring keeps the position
    EXPECT_EQ(file.read(buffer, 16), 6u);
    EXPECT_EQ(std::string(buffer, 6), "456789");
    EXPECT_EQ(file.read(buffer, 16), 0u);
    ASSERT_TRUE(file.seek(8));
    EXPECT_EQ(file.read(buffer, 16), 2u);
    EXPECT_TRUE(file.close());
    EXPECT_FALSE(file.isOpen());
}

TEST(InputFile, ViewsDeliverWhatReadsDeliver) {
    ScratchDir scratch;
    std::string content(200001, '\0');
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 + i / 251);
    ASSERT_TRUE(writeBytes(scratch.path(u"f"), content));
    // Requests that divide the buffer, that do not (what is left moves to its
    // front), and the largest a view takes.
    const std::vector<std::size_t> patterns[] = {{1024}, {1000}, {1, 65535, 2}, {65536}, {3000, 64000}};
    for (const std::vector<std::size_t>& pattern : patterns) {
        platform::InputFile viewed, read;
        ASSERT_TRUE(viewed.open(scratch.path(u"f")));
        ASSERT_TRUE(read.open(scratch.path(u"f")));
        std::string fromViews, fromReads;
        std::vector<char> block(65536);
        for (std::size_t i = 0;; ++i) {
            const std::size_t size = pattern[i % pattern.size()];
            const unsigned char* data = nullptr;
            const std::size_t got = viewed.view(data, size);
            const std::size_t expected = read.read(block.data(), size);
            ASSERT_EQ(got, expected) << size;
            fromViews.append(reinterpret_cast<const char*>(data), got);
            fromReads.append(block.data(), expected);
            if (got < size) break;
        }
        EXPECT_EQ(fromViews, content);
        EXPECT_EQ(fromReads, content);
    }
}

TEST(InputFile, RefusesDirectoriesAndMissingFiles) {
    ScratchDir scratch;
    platform::InputFile file;
    EXPECT_FALSE(file.open(scratch.dir()));
    EXPECT_FALSE(file.open(scratch.path(u"missing")));
    EXPECT_FALSE(file.isOpen());
}

TEST(InputFile, OpensNamesOutsideEveryCodePage) {
    ScratchDir scratch;
    const std::u16string name = scratch.path(u"更新-Ελληνικά-\U0001F600.bin");
    ASSERT_TRUE(writeBytes(name, "payload"));
    EXPECT_EQ(readBytes(name), "payload");
}
