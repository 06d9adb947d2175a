// What the steps report to their sink entry by entry: a check that looks at
// every entry sees the facts that the Updater's run stops on, and the step
// fails with the same message either way.
#include "install/occupancy.h"
#include "install/verification.h"
#include "platform/held_file.h"
#include "platform/platform.h"
#include "support/scratch.h"

using install::EntryVerification;
using install::Examine;
using install::ManifestEntry;
using testsupport::ScratchDirTest;

namespace {

const std::u16string kAbc = u"900150983cd24fb0d6963f7d28e17f72";  // MD5 of "abc"

struct Recorder final : install::StepSink {
    void entryVerified(std::size_t index, const EntryVerification& v) override {
        EXPECT_EQ(index, verified.size());
        verified.push_back(v.result);
    }
    void entryOccupancy(std::size_t index, std::uint32_t code) override {
        EXPECT_EQ(index, occupancy.size());
        occupancy.push_back(code);
    }
    void targetInUse(const std::u16string& path, std::uint32_t code) override {
        inUse.push_back(path);
        inUseCode = code;
    }
    std::vector<EntryVerification::Result> verified;
    std::vector<std::uint32_t> occupancy;
    std::vector<std::u16string> inUse;
    std::uint32_t inUseCode = 0;
};

using StepReports = ScratchDirTest;

TEST_F(StepReports, VerificationOfEveryEntryOrUntilTheFirstFailure) {
    writeFile(u"autoTemp\\a.txt", "abc");
    const std::vector<ManifestEntry> entries = {
        {u"a.txt", kAbc}, {u"gone.txt", kAbc}, {u"updater.exe", kAbc}, {u"..\\a.txt", kAbc}, {u"a.txt", u"00"}};
    using V = EntryVerification;
    const struct {
        Examine examine;
        std::vector<V::Result> reported;
    } cases[] = {
        {Examine::kEveryEntry, {V::kPassed, V::kMismatch, V::kOwnFile, V::kUnsafePath, V::kMismatch}},
        {Examine::kUntilFailure, {V::kPassed, V::kMismatch}},
    };
    for (const auto& c : cases) {
        Recorder sink;
        std::u16string errorText;
        EXPECT_FALSE(install::verifyPackage(tree, entries, u"autoTemp\\", u"updater.exe", errorText, sink, c.examine));
        EXPECT_EQ(errorText, u"MD5检测错误 gone.txt");
        EXPECT_EQ(sink.verified, c.reported);
    }
}

TEST_F(StepReports, OccupancyOfEveryTargetWithOneLineForTheFirstInUse) {
    writeFile(u"free.dll", "x");
    const std::u16string self = u"updater.exe";
    writeFile(self, "x");
    // Held as the system holds a running program: no sharing.
    const platform::HeldFile running(self, platform::HeldFile::Sharing::kNone);
    ASSERT_TRUE(running.isHeld());
    const std::vector<ManifestEntry> entries = {{u"free.dll", {}}, {u"missing.dll", {}}, {self, {}}, {self, {}}};
    const std::uint32_t held = platform::kErrorSharingViolation;
    const struct {
        Examine examine;
        std::vector<std::uint32_t> codes;
    } cases[] = {
        {Examine::kEveryEntry, {0, 0, held, held}},
        {Examine::kUntilFailure, {0, 0, held}},
    };
    for (const auto& c : cases) {
        Recorder sink;
        std::u16string errorText;
        EXPECT_FALSE(install::checkOccupancy(tree, entries, u"other.exe", errorText, sink, c.examine));
        EXPECT_EQ(errorText, install::occupancyMessage(self, held));
        EXPECT_EQ(sink.occupancy, c.codes);
        EXPECT_EQ(sink.inUse, std::vector<std::u16string>{self});
        EXPECT_EQ(sink.inUseCode, held);
    }
    // Under its own name the running program passes.
    Recorder sink;
    std::u16string errorText;
    EXPECT_TRUE(install::checkOccupancy(tree, entries, self, errorText, sink));
    EXPECT_EQ(sink.occupancy, (std::vector<std::uint32_t>{0, 0, 0, 0}));
    EXPECT_TRUE(sink.inUse.empty());
}

}  // namespace
