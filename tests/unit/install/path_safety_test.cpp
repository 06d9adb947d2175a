#include <gtest/gtest.h>

#include "install/path_safety.h"

using install::isSafeRelativePath;

TEST(PathSafety, AcceptsPathsInsideTheDirectory) {
    for (const char16_t* path : {u"a.dll", u"bin\\a.dll", u"bin/sub/a.dll", u"a..b\\c", u"..a",
                                 u"a\\b..", u".\\a", u"dir.\\x", u"中文\\文件.txt", u""}) {
        EXPECT_TRUE(isSafeRelativePath(path)) << testing::PrintToString(std::u16string(path));
    }
}

TEST(PathSafety, RefusesRootedDrivesStreamsAndParentComponents) {
    for (const char16_t* path :
         {u"\\Windows\\x.dll", u"/etc/passwd", u"\\\\server\\share\\x", u"C:x.dll",
          u"C:\\Windows\\x.dll", u"a.dll:stream", u"..", u"..\\x", u"../x", u"a\\..\\..\\x",
          u"a/../x", u"a\\..", u"a\\.. \\x", u"a\\...\\x", u"a/. ./x"}) {
        EXPECT_FALSE(isSafeRelativePath(path)) << testing::PrintToString(std::u16string(path));
    }
}
