#include "app/update_job.h"

#include "app/module_path.h"
#include "unit/install/scratch_dir.h"

namespace {

using UpdateJobTest = ScratchDirTest;

TEST_F(UpdateJobTest, StartsWithTheFixedNamesAndItsOwnFileName) {
    const app::UpdateJob job;
    EXPECT_EQ(job.productExe, u"mivato.exe");
    EXPECT_EQ(job.errorText, u"");
    EXPECT_TRUE(job.entries.empty());
    EXPECT_EQ(job.stagingDir, u"autoTemp\\");
    EXPECT_EQ(job.selfName, app::moduleFileName());
}

TEST_F(UpdateJobTest, FirstFailingStepEndsTheRun) {
    writeFile(u"move.xml",
              "<update><file path='a.txt' md5='900150983cd24fb0d6963f7d28e17f72'/>"
              "<file path='b.txt' md5='00000000000000000000000000000000'/></update>");
    writeFile(u"autoTemp\\a.txt", "abc");
    writeFile(u"autoTemp\\b.txt", "abc");
    writeFile(u"a.txt", "installed");
    app::UpdateJob job;
    job.productExe = u"no-such-product.exe";  // leave other tests' processes alone
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
