#include "install/installation.h"

#include "install/recovery.h"
#include "support/scratch.h"

using install::ManifestEntry;
using testsupport::ScratchDirTest;

namespace {

const std::u16string kStaging = u"autoTemp\\";

class Installation : public ScratchDirTest {
protected:
    bool install(const std::vector<ManifestEntry>& entries, const std::u16string& selfName = u"updater.exe") {
        return install::installFiles(tree, entries, kStaging, selfName, errorText, install::noReports());
    }
    std::u16string errorText = u"untouched";
};

TEST_F(Installation, CreatesDirectoriesReplacesTargetsAndLeavesNoBackup) {
    writeFile(u"old.txt", "old");
    writeFile(u"autoTemp\\old.txt", "new");
    writeFile(u"autoTemp\\a\\b\\c.dll", "c");
    writeFile(u"autoTemp\\a\\b\\d.dll", "d");
    ASSERT_TRUE(install({{u"a\\b\\c.dll", {}}, {u"old.txt", {}}, {u"a\\b\\d.dll", {}}}));
    EXPECT_EQ(errorText, u"untouched");
    EXPECT_EQ(readFile(u"old.txt"), "new");
    EXPECT_EQ(readFile(u"a\\b\\c.dll"), "c");
    EXPECT_EQ(readFile(u"a\\b\\d.dll"), "d");
    // Staged files are gone, their directories stay, no backup is left; the
    // committed journal goes once the product has been told.
    EXPECT_EQ(listing(u"autoTemp"), "a ~rollback1.journal");
    EXPECT_EQ(listing(u"autoTemp\\a\\b"), "");
    install::removeCompletedJournals(tree, kStaging);
    EXPECT_EQ(listing(u"autoTemp"), "a");
}

TEST_F(Installation, FailedMoveRestoresEverythingNewestFirst) {
    writeFile(u"first.txt", "old1");
    writeFile(u"autoTemp\\first.txt", "new1");
    writeFile(u"autoTemp\\new\\second.txt", "new2");
    writeFile(u"autoTemp\\third.txt", "new3");
    // The staged file of the third entry is missing with its directory: its move fails (3).
    ASSERT_FALSE(install({{u"first.txt", {}}, {u"new\\second.txt", {}}, {u"dir\\missing.txt", {}},
                          {u"third.txt", {}}}));
    EXPECT_EQ(errorText, u"dir\\missing.txt移动文件失败 （3）");
    EXPECT_EQ(readFile(u"first.txt"), "old1");
    EXPECT_FALSE(exists(u"new"));
    EXPECT_FALSE(exists(u"dir"));
    EXPECT_FALSE(exists(u"third.txt"));
    EXPECT_EQ(readFile(u"autoTemp\\first.txt"), "new1");
    EXPECT_EQ(readFile(u"autoTemp\\new\\second.txt"), "new2");
    EXPECT_EQ(readFile(u"autoTemp\\third.txt"), "new3");
    EXPECT_EQ(listing(u"autoTemp"), "first.txt new third.txt");
}

TEST_F(Installation, DirectoryLevelThatIsAFileFailsWith183AndUndoes) {
    writeFile(u"blocker", "file");
    writeFile(u"kept.txt", "old");
    writeFile(u"autoTemp\\kept.txt", "new");
    writeFile(u"autoTemp\\blocker\\x.txt", "x");
    ASSERT_FALSE(install({{u"kept.txt", {}}, {u"blocker\\x.txt", {}}}));
    EXPECT_EQ(errorText, u"blocker\\x.txt创建目录失败 （183）");
    EXPECT_EQ(readFile(u"kept.txt"), "old");
    EXPECT_EQ(readFile(u"blocker"), "file");
    EXPECT_EQ(readFile(u"autoTemp\\kept.txt"), "new");
    EXPECT_EQ(listing(u"autoTemp"), "blocker kept.txt");
}

TEST_F(Installation, OwnFileThatCannotBeMovedIsAccepted) {
    writeFile(u"updater.exe", "running");
    writeFile(u"autoTemp\\b.txt", "b");
    // No staged copy of the Updater: its move fails, and that is accepted.
    ASSERT_TRUE(install({{u"updater.exe", {}}, {u"b.txt", {}}}));
    EXPECT_EQ(readFile(u"updater.exe"), "running");
    EXPECT_EQ(readFile(u"b.txt"), "b");
    install::removeCompletedJournals(tree, kStaging);
    EXPECT_EQ(listing(u"autoTemp"), "");
    // The same name in a subdirectory is not the Updater.
    ASSERT_FALSE(install({{u"sub\\updater.exe", {}}}));
    EXPECT_EQ(errorText, u"sub\\updater.exe移动文件失败 （3）");
}

TEST_F(Installation, BackupsNeverShareANameWithManifestPaths) {
    // A backup directory left by an earlier run stays untouched, and a
    // manifest path inside the next candidate, or equal to its journal,
    // rules that one out too.
    writeFile(u"autoTemp\\~rollback1\\0", "left");
    writeFile(u"r.txt", "old");
    writeFile(u"autoTemp\\r.txt", "new");
    writeFile(u"autoTemp\\autoTemp\\~rollback2\\0", "installed");
    writeFile(u"autoTemp\\~rollback3.journal", "staged");
    ASSERT_TRUE(install({{u"r.txt", {}}, {u"autoTemp\\~rollback2\\0", {}}, {u"~rollback3.journal", {}}}));
    EXPECT_EQ(readFile(u"r.txt"), "new");
    EXPECT_EQ(readFile(u"autoTemp\\~rollback1\\0"), "left");
    EXPECT_EQ(readFile(u"autoTemp\\~rollback2\\0"), "installed");
    EXPECT_EQ(readFile(u"~rollback3.journal"), "staged");
    EXPECT_EQ(listing(u"autoTemp"), "autoTemp ~rollback1 ~rollback2 ~rollback4.journal");
}

}  // namespace
