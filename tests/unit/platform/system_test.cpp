// Own location, working directory and local time.
#include <gtest/gtest.h>

#include "platform/platform.h"
#include "support/scratch.h"

using testsupport::ScratchDir;

TEST(ModulePath, IsTheFullPathOfThisProgram) {
    const std::u16string path = platform::modulePath();
    const std::u16string::size_type slash = path.rfind(u'\\');
    ASSERT_NE(slash, std::u16string::npos);
#ifdef _WIN32
    EXPECT_EQ(path.substr(slash + 1), u"test_platform.exe");
    EXPECT_EQ(path[1], u':');
#else
    EXPECT_EQ(path.substr(slash + 1), u"test_platform");
    EXPECT_EQ(path[0], u'\\');  // the root, turned into a backslash
#endif
    EXPECT_EQ(platform::findFirstFile(path), platform::FindResult::kFile);
}

TEST(SetCurrentDirectory, RelativeNamesFollowIt) {
    ScratchDir scratch;
    ASSERT_TRUE(testsupport::writeBytes(scratch.path(u"marker"), "here"));
    ASSERT_EQ(platform::setCurrentDirectory(scratch.dir()), 0u);
    const bool found = platform::findFirstFile(u"marker") == platform::FindResult::kFile;
    ASSERT_EQ(platform::setCurrentDirectory(u".."), 0u);
    EXPECT_TRUE(found);
    EXPECT_EQ(platform::setCurrentDirectory(scratch.path(u"missing")), platform::kErrorFileNotFound);
}

TEST(FormatLocalTime, FillsTheLogPattern) {
    const std::u16string stamp = platform::formatLocalTime("[%Y-%m-%d %H:%M:%S]");
    ASSERT_EQ(stamp.size(), 21u);
    const std::u16string shape = u"[0000-00-00 00:00:00]";
    for (std::size_t i = 0; i < shape.size(); ++i) {
        if (shape[i] == u'0') {
            EXPECT_TRUE(stamp[i] >= u'0' && stamp[i] <= u'9') << "at " << i;
        } else {
            EXPECT_EQ(stamp[i], shape[i]) << "at " << i;
        }
    }
    EXPECT_EQ(platform::formatLocalTime(""), u"");
}
