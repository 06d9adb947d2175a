// The tree never follows a link, wherever it stands in a path.
#include "platform/tree.h"

#include <filesystem>

#include "support/scratch.h"

using platform::ItemKind;
using testsupport::ScratchDirTest;

namespace {

constexpr std::uint32_t kLink = platform::kErrorStoppedOnSymlink;

class Tree : public ScratchDirTest {
protected:
    void SetUp() override {
        ScratchDirTest::SetUp();
        writeFile(u"real\\f.txt", "data");
        writeFile(u"real\\sub\\g.txt", "deeper");
        writeFile(u"file.txt", "file");
        std::error_code error;
        std::filesystem::create_hard_link("file.txt", "hard", error);
        std::filesystem::create_directory_symlink("real", "dirlink", error);
        std::filesystem::create_symlink("real/f.txt", "filelink", error);
        links_ = !error;
    }

    void TearDown() override {
        // Links first: the scratch directory's removal would follow them.
        for (const char* link : {"dirlink", "filelink"}) std::filesystem::remove(link);
        ScratchDirTest::TearDown();
    }

    bool links_ = false;
};

TEST_F(Tree, PathsLongerThanWindowsOldLimit) {
    const std::u16string dir = std::u16string(120, u'g') + u"\\" + std::u16string(135, u'h');
    const std::u16string file = dir + u"\\" + std::u16string(40, u'j') + u".txt";
    writeFile(file, "long");
    EXPECT_EQ(tree.find(dir), ItemKind::kDirectory);
    EXPECT_EQ(tree.find(file), ItemKind::kFile);
    EXPECT_EQ(tree.createDirectory(dir + u"\\" + std::u16string(30, u'k')), 0u);
    EXPECT_EQ(tree.moveFile(file, dir + u"\\" + std::u16string(30, u'k') + u"\\moved.txt", false), 0u);
    EXPECT_EQ(readFile(dir + u"\\" + std::u16string(30, u'k') + u"\\moved.txt"), "long");
}

TEST_F(Tree, FindsAndOpensOnlyFilesReachedWithoutALink) {
    const struct {
        std::u16string path;
        ItemKind kind;
        std::uint32_t open;  // openForReading with a single name required
        bool link;           // needs the links of SetUp
    } cases[] = {
        {u"real\\f.txt", ItemKind::kFile, 0, false},
        {u"real/sub//./g.txt", ItemKind::kFile, 0, false},
        {u"real", ItemKind::kDirectory, platform::kErrorAccessDenied, false},
        {u"missing.txt", ItemKind::kMissing, platform::kErrorFileNotFound, false},
        {u"nodir\\x.txt", ItemKind::kMissing, platform::kErrorPathNotFound, false},
        {u"file.txt\\x", ItemKind::kMissing, platform::kErrorPathNotFound, false},
        {u"hard", ItemKind::kFile, platform::kErrorAccessDenied, false},
        {u"dirlink\\f.txt", ItemKind::kLink, kLink, true},
        {u"dirlink\\sub\\g.txt", ItemKind::kLink, kLink, true},
    };
    for (const auto& c : cases) {
        if (c.link && !links_) continue;
        SCOPED_TRACE(platform::utf16ToUtf8(c.path));
        EXPECT_EQ(tree.find(c.path), c.kind);
        platform::InputFile file;
        EXPECT_EQ(tree.openForReading(c.path, file, true), c.open);
        EXPECT_EQ(file.isOpen(), c.open == 0);
    }
    platform::InputFile file;
    EXPECT_EQ(tree.openForReading(u"hard", file), 0u);  // another name is fine unless refused
    if (links_) {
        EXPECT_EQ(tree.openForReading(u"filelink", file), kLink);
        EXPECT_EQ(tree.openReadWriteTest(u"filelink"), kLink);
    }
}

TEST_F(Tree, NothingIsChangedThroughALink) {
    if (!links_) GTEST_SKIP() << "this system makes no symbolic links here";
    EXPECT_EQ(tree.moveFile(u"file.txt", u"dirlink\\moved.txt", true), kLink);
    EXPECT_EQ(tree.moveFile(u"dirlink\\f.txt", u"taken.txt", true), kLink);
    EXPECT_EQ(tree.moveFile(u"filelink", u"taken.txt", false), kLink);
    EXPECT_EQ(tree.deleteFile(u"dirlink\\f.txt"), kLink);
    EXPECT_EQ(tree.createDirectory(u"dirlink\\new"), kLink);
    platform::FileHandle handle = platform::kInvalidFile;
    EXPECT_EQ(tree.createFileNew(u"dirlink\\new.txt", handle), kLink);
    EXPECT_NE(tree.createFileNew(u"filelink", handle), 0u);
    EXPECT_NE(tree.removeDirectory(u"dirlink"), 0u);
    EXPECT_EQ(listing(u"real"), "f.txt sub");
    EXPECT_EQ(readFile(u"real\\f.txt"), "data");
    EXPECT_EQ(readFile(u"file.txt"), "file");
    EXPECT_FALSE(exists(u"taken.txt"));
}

TEST_F(Tree, AMovedOrReplacedDirectoryIsNoLongerTheSame) {
    platform::InputFile file;
    ASSERT_EQ(tree.openForReading(u"real\\sub\\g.txt", file), 0u);
    file.close();
    EXPECT_TRUE(tree.unchanged(u"real\\sub"));
    tree.close();  // held, it could not be renamed on Windows
    std::filesystem::rename("real", "elsewhere");
    std::filesystem::create_directories("real/sub");
    ASSERT_EQ(tree.open(), 0u);
    EXPECT_FALSE(tree.unchanged(u"real\\sub"));
    EXPECT_FALSE(tree.unchanged(u"real"));

    // A Tree that never resolved a directory takes any directory there.
    platform::Tree fresh;
    ASSERT_EQ(fresh.open(), 0u);
    EXPECT_TRUE(fresh.unchanged(u"real\\sub"));
    EXPECT_FALSE(fresh.unchanged(u"missing\\sub"));
    EXPECT_FALSE(fresh.unchanged(u"file.txt"));
    if (links_) {
        EXPECT_FALSE(fresh.unchanged(u"dirlink"));
    }
}

// More directories than a tree holds at once: those it let go of are
// resolved again, and a move still has both of its directories.
TEST_F(Tree, ManyDirectoriesAreResolvedAgainWhenLetGo) {
    constexpr int kDirectories = 600;
    const auto dir = [](int i) {
        std::u16string name = platform::utf8ToUtf16(std::to_string(i));
        name.insert(name.begin(), u'd');
        return name;
    };
    for (int i = 0; i < kDirectories; ++i) writeFile(dir(i) + u"\\f", "x");
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < kDirectories; ++i) {
            const int other = (i + kDirectories / 2) % kDirectories;
            ASSERT_EQ(tree.moveFile(dir(i) + u"\\f", dir(other) + u"\\g", false), 0u) << i;
            ASSERT_EQ(tree.moveFile(dir(other) + u"\\g", dir(i) + u"\\f", false), 0u) << i;
        }
    }
    EXPECT_EQ(listing(dir(7)), "f");
}

}  // namespace
