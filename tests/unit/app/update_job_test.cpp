#include "app/update_job.h"

#include "install/journal_format.h"
#include "support/scratch.h"

using testsupport::ScratchDirTest;

namespace {

using UpdateJobTest = ScratchDirTest;

TEST_F(UpdateJobTest, ACompletedInstallationEndsTheRunBeforeTheManifest) {
    // A run cut short after its commit: the next one reports success without
    // reading the manifest (here missing) or the staged files (moved).
    install::JournalRecord record;
    record.backupDir = u"~rollback1";
    record.moves = {{install::JournalMove::kNewFile, u"a.txt", -1}};
    writeFile(u"a.txt", "installed");
    writeFile(u"autoTemp\\~rollback1.journal",
              install::encodeJournal(record) + std::string(install::journalCommitRecord()));
    app::UpdateJob job;
    job.productExe = u"no-such-product.exe";  // leave other tests' processes alone
    EXPECT_TRUE(job.run());
    EXPECT_EQ(job.errorText, u"");
    EXPECT_TRUE(job.entries.empty());
    EXPECT_EQ(listing(u"autoTemp"), "~rollback1.journal");
    job.finishInstallation();
    EXPECT_EQ(listing(u"autoTemp"), "");
    EXPECT_EQ(readFile(u"a.txt"), "installed");
}

TEST_F(UpdateJobTest, FirstFailingStepEndsTheRun) {
    writeFile(u"move.xml",
              "<update><file path='a.txt' md5='900150983cd24fb0d6963f7d28e17f72'/>"
              "<file path='b.txt' md5='00000000000000000000000000000000'/></update>");
    writeFile(u"autoTemp\\a.txt", "abc");
    writeFile(u"autoTemp\\b.txt", "abc");
    writeFile(u"a.txt", "installed");
    app::UpdateJob job;
    job.productExe = u"no-such-product.exe";
    EXPECT_FALSE(job.run());
    EXPECT_EQ(job.errorText, u"MD5检测错误 b.txt");
    EXPECT_EQ(job.entries.size(), 2u);
    // Nothing was installed.
    EXPECT_EQ(readFile(u"a.txt"), "installed");
    EXPECT_EQ(readFile(u"autoTemp\\a.txt"), "abc");
}

TEST_F(UpdateJobTest, SuccessfulRunInstallsEverything) {
    writeFile(u"move.xml", "<update><file path='d\\a.txt' md5='900150983cd24fb0d6963f7d28e17f72'/></update>");
    writeFile(u"autoTemp\\d\\a.txt", "abc");
    app::UpdateJob job;
    job.productExe = u"no-such-product.exe";
    EXPECT_TRUE(job.run());
    EXPECT_EQ(job.errorText, u"");
    EXPECT_EQ(readFile(u"d\\a.txt"), "abc");
}

}  // namespace
