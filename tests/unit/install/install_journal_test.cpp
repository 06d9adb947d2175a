#include "install/install_journal.h"

#include "platform/platform.h"
#include "scratch_dir.h"

using install::InstallJournal;
using install::ManifestEntry;

namespace {

using InstallJournalTest = ScratchDirTest;

TEST_F(InstallJournalTest, BackupThatCannotBePutBackStaysAndTheRestIsRestored) {
    const std::vector<ManifestEntry> entries = {{u"d\\a.txt", {}}, {u"b.txt", {}}};
    const std::u16string staging = u"autoTemp\\";
    writeFile(u"d\\a.txt", "old-a");
    writeFile(u"b.txt", "old-b");
    writeFile(u"autoTemp\\d\\a.txt", "new-a");
    writeFile(u"autoTemp\\b.txt", "new-b");
    InstallJournal journal(entries, staging);
    for (const ManifestEntry& entry : entries) {
        ASSERT_EQ(journal.keep(entry.path, false), 0u);
        ASSERT_EQ(platform::moveFileReplace(staging + entry.path, entry.path), 0u);
        journal.moved(staging + entry.path, entry.path);
    }
    // The directory of the first target disappears: its restore must fail.
    std::filesystem::remove_all("d");
    journal.undo();
    EXPECT_EQ(readFile(u"b.txt"), "old-b");
    EXPECT_EQ(readFile(u"autoTemp\\b.txt"), "new-b");
    EXPECT_EQ(listing(u"autoTemp\\~rollback1"), "0");
    EXPECT_EQ(readFile(u"autoTemp\\~rollback1\\0"), "old-a");
}

TEST_F(InstallJournalTest, CopyOnlyBackupIsIndependentOfTheTarget) {
    const std::vector<ManifestEntry> entries = {{u"self.exe", {}}};
    writeFile(u"self.exe", "running");
    InstallJournal journal(entries, u"autoTemp\\");
    std::filesystem::create_directory("autoTemp");
    ASSERT_EQ(journal.keep(u"self.exe", true), 0u);
    writeFile(u"self.exe", "changed in place");
    EXPECT_EQ(readFile(u"autoTemp\\~rollback1\\0"), "running");
    journal.dropKept();
    journal.commit();
    EXPECT_EQ(listing(u"autoTemp"), "");
}

}  // namespace
