#include "install/occupancy.h"

#include "platform/held_file.h"
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
    EXPECT_TRUE(install::checkOccupancy(tree, {{u"new\\x.dll", {}}, {u"dir", {}}, {u"free.dll", {}}},
                                        u"updater.exe", errorText, install::noReports()));
    EXPECT_EQ(errorText, u"untouched");
}

TEST_F(Occupancy, AFileInUseFailsUnlessItIsTheUpdaterItself) {
    const std::u16string self = u"upd.exe";
    const std::vector<ManifestEntry> entries = {{u"free.dll", {}}, {self, {}}, {u"later.dll", {}}};
    writeFile(u"free.dll", "x");
    writeFile(self, "x");
    // Held as the system holds a running program: no sharing.
    const platform::HeldFile running(self, platform::HeldFile::Sharing::kNone);
    ASSERT_TRUE(running.isHeld());
    std::u16string errorText;
    EXPECT_FALSE(install::checkOccupancy(tree, entries, u"other.exe", errorText, install::noReports()));
    EXPECT_EQ(errorText, self + u"被占用,请重启电脑或关闭占用软件 （32）");
    errorText.clear();
    EXPECT_TRUE(install::checkOccupancy(tree, entries, self, errorText, install::noReports()));
    EXPECT_EQ(errorText, u"");
}

}  // namespace
