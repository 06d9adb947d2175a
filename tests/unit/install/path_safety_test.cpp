#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "install/path_safety.h"

using install::isSafeRelativePath;

namespace {

constexpr std::u16string_view kStaging[] = {u"autoTemp"};

TEST(PathSafety, AcceptsPathsInsideTheDirectory) {
    for (const std::u16string& path : std::initializer_list<std::u16string>{u"a.dll", u"bin\\a.dll", u"bin/sub/a.dll", u"a..b\\c", u"..a", u"a\\b..", u".\\a", u"dir.\\x",
          u"中文\\文件.txt", u"", u"console.txt", u"com10", u"lpt", u"nul_x", u"xcon", u"COM\u00B4",
          u"bin\\autoTemp\\a.dll", u"autoTempo\\a", u"autoTemp2.dll", std::u16string(install::kMaxPathUnits, u'a'),
          [] {
              std::u16string deep;
              for (std::size_t i = 0; i < install::kMaxPathLevels; ++i) deep += u"d\\";
              return deep.substr(0, deep.size() - 1);
          }()}) {
        EXPECT_TRUE(isSafeRelativePath(path, kStaging)) << testing::PrintToString(path.substr(0, 40));
    }
}

TEST(PathSafety, RefusesRootedDrivesStreamsParentsDevicesAndOwnDirectories) {
    for (const std::u16string& path : std::initializer_list<std::u16string>{u"\\Windows\\x.dll", u"/etc/passwd", u"\\\\server\\share\\x", u"C:x.dll", u"C:\\Windows\\x.dll",
          u"a.dll:stream", u"..", u"..\\x", u"../x", u"a\\..\\..\\x", u"a/../x", u"a\\..", u"a\\.. \\x",
          u"a\\...\\x", u"a/. ./x",
          // devices, in any case, with extensions, blanks before the dot, superscript digits
          u"COM1", u"aux", u"bin\\nul", u"Con.txt", u"prn .log", u"lpt9.a.b", u"COM0", u"com\u00B9",
          u"LPT\u00B3.dll", u"CONIN$", u"conout$.x", u"sub\\COM1.txt",
          // the staging directory, as Windows spells it
          u"autoTemp\\x.dll", u"AUTOTEMP\\x", u"autotemp.\\x", u"autoTemp \\x", u".\\autoTemp\\x", u"autoTemp",
          std::u16string(install::kMaxPathUnits + 1, u'a'), [] {
              std::u16string deep;
              for (std::size_t i = 0; i <= install::kMaxPathLevels; ++i) deep += u"d\\";
              return deep;
          }()}) {
        EXPECT_FALSE(isSafeRelativePath(path, kStaging)) << testing::PrintToString(path.substr(0, 40));
    }
}

}  // namespace
