#include "install/verification.h"

#include "support/scratch.h"

using testsupport::ScratchDirTest;

using install::ManifestEntry;

namespace {

const std::u16string kAbc = u"900150983cd24fb0d6963f7d28e17f72";  // MD5 of "abc"

class Verification : public ScratchDirTest {
protected:
    bool verify(const std::vector<ManifestEntry>& entries) {
        return install::verifyPackage(entries, u"autoTemp\\", u"updater.exe", errorText);
    }
    std::u16string errorText = u"untouched";
};

TEST_F(Verification, DigestsMustMatchExactly) {
    writeFile(u"autoTemp\\bin\\a.dll", "abc");
    EXPECT_TRUE(verify({}));
    EXPECT_TRUE(verify({{u"bin\\a.dll", kAbc}, {u"bin/a.dll", kAbc}}));
    EXPECT_EQ(errorText, u"untouched");
    EXPECT_FALSE(verify({{u"bin\\a.dll", u"900150983CD24FB0D6963F7D28E17F72"}}));
    EXPECT_EQ(errorText, u"MD5检测错误 bin\\a.dll");
    EXPECT_FALSE(verify({{u"bin\\a.dll", kAbc + u" "}}));
    EXPECT_FALSE(verify({{u"bin\\missing.dll", kAbc}}));
    EXPECT_EQ(errorText, u"MD5检测错误 bin\\missing.dll");
    // An unreadable file has the empty digest, which an empty md5 matches.
    EXPECT_TRUE(verify({{u"bin\\missing.dll", u""}}));
    // A directory has none either, yet never passes: it would be moved whole.
    EXPECT_FALSE(verify({{u"bin", u""}}));
    EXPECT_EQ(errorText, u"MD5检测错误 bin");
}

TEST_F(Verification, FileNamesOutsideTheOemCodePageAreFound) {
    writeFile(u"autoTemp\\中文\\文件.txt", "abc");
    EXPECT_TRUE(verify({{u"中文\\文件.txt", kAbc}}));
}

TEST_F(Verification, OnlyTheUpdatersOwnExactNameIsExempt) {
    EXPECT_TRUE(verify({{u"updater.exe", kAbc}}));
    EXPECT_FALSE(verify({{u"Updater.exe", kAbc}}));
    EXPECT_EQ(errorText, u"MD5检测错误 Updater.exe");
    EXPECT_FALSE(verify({{u"bin\\updater.exe", kAbc}}));
    EXPECT_EQ(errorText, u"MD5检测错误 bin\\updater.exe");
}

TEST_F(Verification, StopsAtTheFirstFailingEntryInManifestOrder) {
    writeFile(u"autoTemp\\one", "abc");
    EXPECT_FALSE(verify({{u"one", kAbc}, {u"two", kAbc}, {u"..\\three", kAbc}}));
    EXPECT_EQ(errorText, u"MD5检测错误 two");
    EXPECT_FALSE(verify({{u"one", kAbc}, {u"..\\two", kAbc}, {u"three", kAbc}}));
    EXPECT_EQ(errorText, u"非法路径 ..\\two");
    // An unsafe path is refused even when its digest would match.
    writeFile(u"outside", "abc");
    EXPECT_FALSE(verify({{u"../outside", kAbc}}));
    EXPECT_EQ(errorText, u"非法路径 ../outside");
    EXPECT_FALSE(verify({{u"updater.exe:x", u""}}));
    EXPECT_EQ(errorText, u"非法路径 updater.exe:x");
}

}  // namespace
