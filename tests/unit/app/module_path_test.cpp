#include "app/module_path.h"

#include <gtest/gtest.h>

#include "platform/platform.h"

TEST(ModulePath, SplitsAtTheLastBackslash) {
    EXPECT_EQ(app::directoryPart(u"C:\\Program Files\\Mivato\\updater.exe"), u"C:\\Program Files\\Mivato");
    EXPECT_EQ(app::fileNamePart(u"C:\\Program Files\\Mivato\\updater.exe"), u"updater.exe");
    EXPECT_EQ(app::fileNamePart(u"\\opt\\mivato\\updater"), u"updater");
    EXPECT_EQ(app::directoryPart(u"updater.exe"), u"");
    EXPECT_EQ(app::fileNamePart(u"updater.exe"), u"");
    EXPECT_EQ(app::fileNamePart(u"C:\\dir\\"), u"");
}

TEST(ModulePath, DescribesTheRunningExecutable) {
    const std::u16string name = app::moduleFileName();
    EXPECT_TRUE(name == u"test_app" || name == u"test_app.exe") << testing::PrintToString(name);
    EXPECT_EQ(platform::findFirstFile(app::moduleDirectory() + u"\\" + name), platform::FindResult::kFile);
}
