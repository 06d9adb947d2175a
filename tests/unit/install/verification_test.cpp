#include "install/verification.h"

#include "install/private_directory.h"

#include "install/md5_lanes.h"
#include "support/scratch.h"

using testsupport::ScratchDirTest;

using install::EntryVerification;
using install::ManifestEntry;
using install::VerificationOptions;

namespace {

const std::u16string kAbc = u"900150983cd24fb0d6963f7d28e17f72";  // MD5 of "abc"

class Verification : public ScratchDirTest {
protected:
    bool verify(const std::vector<ManifestEntry>& entries) {
        return install::verifyPackage(tree, entries, u"autoTemp\\", u"updater.exe", errorText, install::noReports());
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
}

TEST_F(Verification, AStagedDirectoryFailsEvenWithoutAnMd5) {
    writeFile(u"autoTemp\\bin\\a.dll", "abc");
    EXPECT_FALSE(verify({{u"bin", u""}}));
    EXPECT_EQ(errorText, u"MD5检测错误 bin");
    EXPECT_FALSE(verify({{u"bin\\a.dll", kAbc}, {u"bin\\", u""}}));
    EXPECT_EQ(errorText, u"MD5检测错误 bin\\");
    std::filesystem::create_directories("autoTemp/updater.exe");
    EXPECT_FALSE(verify({{u"updater.exe", u""}}));
    EXPECT_EQ(errorText, u"MD5检测错误 updater.exe");
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

// A signed update: every entry needs its sha256, and its staged file's
// SHA-256 must match (also for the Updater's own file, which the md5 check
// exempts); the files of a verified update are copied into the private
// directory, and nothing of the copies stays when the step fails.
TEST_F(Verification, SignedUpdatesCheckSha256AndCopyTheFiles) {
    writeFile(u"autoTemp\\a", "abc");
    writeFile(u"autoTemp\\updater.exe", "abc");
    ASSERT_EQ(tree.createPrivateDirectory(u"~updater"), 0u);
    const std::u16string sha = u"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";  // of "abc"
    const std::u16string other = u"0000000000000000000000000000000000000000000000000000000000000000";
    const std::u16string otherMd5 = u"00000000000000000000000000000000";
    std::u16string upper = sha;
    for (char16_t& c : upper) c = c >= u'a' ? static_cast<char16_t>(c - 32) : c;
    struct Case {
        const char* what;
        std::vector<ManifestEntry> entries;
        std::u16string message;  // "": passes
    };
    const Case cases[] = {
        {"right digests", {{u"a", kAbc, sha}, {u"updater.exe", kAbc, sha}}, u""},
        {"no sha256", {{u"a", kAbc, u""}}, u"SHA256检测错误 a"},
        {"an upper-case sha256", {{u"a", kAbc, upper}}, u"SHA256检测错误 a"},
        {"a wrong sha256", {{u"a", kAbc, other}}, u"SHA256检测错误 a"},
        {"the own file's md5 is exempt", {{u"updater.exe", otherMd5, sha}}, u""},
        {"its sha256 is not", {{u"updater.exe", kAbc, other}}, u"SHA256检测错误 updater.exe"},
        {"md5 decides first", {{u"a", otherMd5, other}}, u"MD5检测错误 a"},
        {"a missing file with an empty md5", {{u"gone", u"", sha}}, u"SHA256检测错误 gone"},
        {"a path listed twice", {{u"a", kAbc, sha}, {u"a", kAbc, sha}}, u""},
        {"the private directory", {{u"~updater\\version", kAbc, sha}}, u"非法路径 ~updater\\version"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        install::StagedCopies copies;
        errorText = u"untouched";
        const bool passed = install::verifyPackage(tree, c.entries, u"autoTemp\\", u"updater.exe", errorText,
                                                   install::noReports(), install::Examine::kUntilFailure, true, &copies);
        EXPECT_EQ(passed, c.message.empty());
        EXPECT_EQ(errorText, c.message.empty() ? u"untouched" : c.message);
        EXPECT_EQ(copies.size(), passed ? c.entries.size() : 0u);
        for (const std::u16string& copy : copies) EXPECT_EQ(readFile(copy), "abc");
        if (!passed) {
            EXPECT_FALSE(exists(u"~updater\\staged"));
        }
        install::removeCopies(tree);
    }
    EXPECT_EQ(listing(u"autoTemp"), "a updater.exe");
}

// The order rules with every lane count this processor runs: which entries
// get a result, which decides, and which staged files are opened at all.
TEST_F(Verification, OrderOfResultsAndOfOpenedFiles) {
    const std::string kilobytes(5000, 'x');  // ends after several rounds of reads
    auto name = [](int i) { return std::u16string{u'k', static_cast<char16_t>(u'a' + i)}; };
    for (int i = 0; i < 12; ++i) writeFile(u"autoTemp\\" + name(i), kilobytes);
    writeFile(u"autoTemp\\big", std::string(300000, 'y'));  // ends long after the others
    writeFile(u"autoTemp\\small", "abc");
    writeFile(u"outside", "abc");
    const std::u16string k = u"a6bb7bde3251ca2d810d32dadd9e8ae7";  // MD5 of kilobytes
    auto many = [&](std::size_t failing) {
        std::vector<ManifestEntry> entries;
        for (int i = 0; i < 12; ++i) entries.push_back({name(i), i == static_cast<int>(failing) ? kAbc : k});
        return entries;
    };
    struct Case {
        const char* what;
        std::vector<ManifestEntry> entries;
        install::Examine examine;
        std::size_t results;     // handed on, in manifest order
        std::size_t deciding;    // the index of the failing entry among them; results: none
        std::size_t openedPast;  // staged files opened after the deciding entry, at most lanes - 1 when set
        std::vector<std::u16string> neverOpened;
    };
    const std::size_t none = 99, inFlight = 98;
    const Case cases[] = {
        {"empty list", {}, install::Examine::kUntilFailure, 0, none, 0, {}},
        {"all pass", many(none), install::Examine::kUntilFailure, 12, none, 0, {}},
        {"a failure stops", many(4), install::Examine::kUntilFailure, 5, 4, inFlight, {}},
        {"a failure does not stop updtool check", many(4), install::Examine::kEveryEntry, 12, 4, 7, {}},
        {"the first failing entry decides although a later one ends first",
         {{u"big", kAbc}, {u"ka", k}, {u"small", u"0"}, {u"kb", k}}, install::Examine::kUntilFailure, 1, 0, inFlight, {}},
        {"an unsafe path is never opened, nor anything after it",
         {{u"ka", k}, {u"..\\outside", kAbc}, {u"kb", k}}, install::Examine::kUntilFailure, 2, 1, 0,
         {u"autoTemp\\..\\outside", u"autoTemp\\kb"}},
        {"a missing file fails before the next is opened",
         {{u"small", kAbc}, {u"gone", kAbc}, {u"ka", k}}, install::Examine::kUntilFailure, 2, 1, 0, {u"autoTemp\\ka"}},
    };
    for (const unsigned lanes : {1u, 4u, 8u}) {
        if (md5Lanes(lanes).lanes != lanes) continue;  // not on this processor
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.what) + ", " + std::to_string(lanes) + " lanes");
            VerificationOptions options;
            options.examine = c.examine;
            options.lanes = lanes;
            std::vector<std::u16string> opened;
            options.open = [&](std::size_t, const std::u16string& path, platform::InputFile& file) {
                opened.push_back(path);
                return file.open(path);
            };
            std::vector<EntryVerification> results;
            install::verifyEntries(tree, c.entries, u"autoTemp\\", u"updater.exe", options,
                                   [&](const EntryVerification& v) { results.push_back(v); });
            ASSERT_EQ(results.size(), c.results);
            for (std::size_t i = 0; i < results.size(); ++i) EXPECT_EQ(results[i].passed(), i != c.deciding) << i;
            for (const std::u16string& path : c.neverOpened) {
                EXPECT_EQ(std::count(opened.begin(), opened.end(), path), 0) << platform::utf16ToUtf8(path);
            }
            // Staged files are opened in manifest order.
            std::size_t past = 0, previous = 0;
            for (const std::u16string& path : opened) {
                std::size_t index = 0;
                while (index < c.entries.size() && u"autoTemp\\" + c.entries[index].path != path) ++index;
                ASSERT_LT(index, c.entries.size());
                EXPECT_TRUE(&path == &opened.front() || index > previous) << "opened out of order";
                previous = index;
                if (c.deciding != none && index > c.deciding) ++past;
            }
            EXPECT_LE(past, c.openedPast == inFlight ? lanes - 1 : c.openedPast);
        }
    }
}

}  // namespace
