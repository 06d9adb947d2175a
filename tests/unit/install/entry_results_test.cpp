// The per-entry results that tools read: each agrees with what the step
// itself decides and reports for that entry.
#include "install/occupancy.h"
#include "install/verification.h"
#include "platform/platform.h"
#include "support/scratch.h"

using testsupport::ScratchDirTest;

using install::EntryVerification;
using install::ManifestEntry;

namespace {

const std::u16string kAbc = u"900150983cd24fb0d6963f7d28e17f72";  // MD5 of "abc"

using EntryResults = ScratchDirTest;

TEST_F(EntryResults, VerificationOfOneEntryAgreesWithTheStep) {
    writeFile(u"autoTemp\\a.txt", "abc");
    struct Case {
        ManifestEntry entry;
        EntryVerification::Result result;
        std::string actual;
    };
    const Case cases[] = {
        {{u"a.txt", kAbc}, EntryVerification::kPassed, "900150983cd24fb0d6963f7d28e17f72"},
        {{u"a.txt", u"00"}, EntryVerification::kMismatch, "900150983cd24fb0d6963f7d28e17f72"},
        {{u"gone.txt", kAbc}, EntryVerification::kMismatch, ""},
        {{u"gone.txt", u""}, EntryVerification::kPassed, ""},
        {{u"updater.exe", kAbc}, EntryVerification::kOwnFile, ""},
        {{u"..\\a.txt", kAbc}, EntryVerification::kUnsafePath, ""},
    };
    // All entries in one run, as updtool check takes them.
    std::vector<ManifestEntry> entries;
    for (const Case& c : cases) entries.push_back(c.entry);
    install::VerificationOptions every;
    every.afterFailure = install::VerificationOptions::kGoOn;
    std::vector<EntryVerification> results;
    install::verifyEntries(entries, u"autoTemp\\", u"updater.exe", every,
                           [&](const EntryVerification& v) { results.push_back(v); });
    ASSERT_EQ(results.size(), std::size(cases));
    for (std::size_t i = 0; i < results.size(); ++i) {
        const Case& c = cases[i];
        const EntryVerification& v = results[i];
        EXPECT_EQ(v.result, c.result);
        EXPECT_EQ(v.actual, c.actual);
        std::u16string errorText;
        const bool stepPassed = install::verifyPackage({c.entry}, u"autoTemp\\", u"updater.exe", errorText);
        EXPECT_EQ(v.passed(), stepPassed);
        if (!stepPassed) {
            EXPECT_EQ(install::verificationMessage(v, c.entry.path), errorText);
        }
    }
}

TEST_F(EntryResults, OccupancyOfOneEntryAgreesWithTheStep) {
    writeFile(u"free.dll", "x");
    const std::u16string self = platform::modulePath();  // held by the system while the test runs
    const ManifestEntry held{self, {}};
    EXPECT_EQ(install::entryOccupancy({u"free.dll", {}}, u"other.exe"), 0u);
    EXPECT_EQ(install::entryOccupancy({u"missing.dll", {}}, u"other.exe"), 0u);
    EXPECT_EQ(install::entryOccupancy(held, self), 0u);
    const std::uint32_t code = install::entryOccupancy(held, u"other.exe");
    EXPECT_EQ(code, platform::kErrorSharingViolation);
    std::u16string errorText;
    EXPECT_FALSE(install::checkOccupancy({held}, u"other.exe", errorText));
    EXPECT_EQ(install::occupancyMessage(self, code), errorText);
}

}  // namespace
