// The steps of an update run and their order, described once: the Updater
// takes them all; updtool check takes those that only look at files, in the
// same order and through the same code, so that it fails where the Updater
// would, with the same message.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace install {

// The staging directory and the manifest, relative to the Updater's directory.
inline constexpr std::u16string_view kStagingDir = u"autoTemp\\";
inline constexpr std::u16string_view kManifestName = u"move.xml";
// A larger manifest is not read: it fails as one that cannot be read. Far
// beyond any real update (a 10,000-file manifest takes about 1 MiB), and
// small enough for the 32-bit Updater to hold decoded and indexed.
inline constexpr std::size_t kMaxManifestBytes = std::size_t{64} << 20;

enum class Step {
    kTerminateProduct,   // end the product's processes
    kRecovery,           // put back an installation that an earlier run left unfinished
    kManifest,           // read the manifest into the entries
    kPatching,           // rebuild the new files of patched entries from the installed ones
    kVerification,       // the staged files' digests
    kPause,              // 1500 ms for the terminated processes to let go of their files
    kOccupancy,          // no target in use
    kInstallation,       // move the staged files into place
};

inline constexpr Step kRunSteps[] = {Step::kTerminateProduct, Step::kRecovery, Step::kManifest,
                                     Step::kPatching,         Step::kVerification, Step::kPause,
                                     Step::kOccupancy,        Step::kInstallation};

// The steps that only look at files: what a check runs (its patching puts
// the results where they touch nothing of the update).
constexpr bool looksOnly(Step step) {
    return step == Step::kManifest || step == Step::kPatching || step == Step::kVerification ||
           step == Step::kOccupancy;
}

// The step's name in reports: "manifest", "verification", "occupancy", ...
std::u16string_view stepName(Step step);

enum class StepResult {
    kGoOn,     // the next step follows
    kFail,     // the run fails, with the step's message in errorText
    kSucceed,  // the run ends here with success
};

struct RunResult {
    bool succeeded = true;
    Step lastStep = Step::kTerminateProduct;  // the step that ended the run
};

// Runs the steps of kRunSteps in order through perform (only those that
// looksOnly when lookOnly is set) until one of them does not say kGoOn.
RunResult runSteps(bool lookOnly, const std::function<StepResult(Step)>& perform);

// What the product receives: "moveok~", or "movefail~  " + errorText.
std::u16string outcomeText(bool succeeded, const std::u16string& errorText);

}  // namespace install
