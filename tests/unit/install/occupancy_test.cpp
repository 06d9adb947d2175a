#include "install/occupancy.h"

#include "platform/platform.h"
#include "support/scratch.h"

using testsupport::ScratchDirTest;

using install::ManifestEntry;

namespace {

using Occupancy = ScratchDirTest;

TEST_F(Occupancy, MissingTargetsDirectoriesAndFreeFilesPass) {
    writeFile(u"free.dll", "x");
    writeFile(u"dir\\inner.txt", "x");
    std::u16string errorText = u"untouched";
    EXPECT_TRUE(install::checkOccupancy({{u"new\\x.dll", {}}, {u"dir", {}}, {u"free.dll", {}}},
                                        u"updater.exe", errorText, install::noReports()));
    EXPECT_EQ(errorText, u"untouched");
}

TEST_F(Occupancy, RunningProgramIsInUseUnlessItIsTheUpdaterItself) {
    // This test's own executable is held by the system while it runs.
    const std::u16string self = platform::modulePath();
    const std::vector<ManifestEntry> entries = {{u"free.dll", {}}, {self, {}}, {u"later.dll", {}}};
    writeFile(u"free.dll", "x");
    std::u16string errorText;
    EXPECT_FALSE(install::checkOccupancy(entries, u"other.exe", errorText, install::noReports()));
    EXPECT_EQ(errorText, self + u"被占用,请重启电脑或关闭占用软件 （32）");
    errorText.clear();
    EXPECT_TRUE(install::checkOccupancy(entries, self, errorText, install::noReports()));
    EXPECT_EQ(errorText, u"");
}

}  // namespace
