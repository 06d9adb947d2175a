// The state and the step sequence of one update run.
#pragma once

#include <string>
#include <vector>

#include "app/console_sink.h"
#include "install/manifest.h"
#include "install/manifest_entry.h"
#include "install/recovery.h"
#include "install/signature.h"
#include "install/staged_copies.h"
#include "install/update_steps.h"
#include "platform/tree.h"

namespace app {

class UpdateJob {
public:
    // keys: the keys whose signed updates it installs; empty, it installs
    // unsigned updates as it always has.
    explicit UpdateJob(install::TrustedKeys keys = {});
    UpdateJob(const UpdateJob&) = delete;
    UpdateJob& operator=(const UpdateJob&) = delete;

    // Takes the steps of a run in their order (install::kRunSteps):
    // terminates the product, puts back an installation that an earlier run
    // left unfinished, reads the manifest, verifies the staged files, pauses
    // 1500 ms, checks that no target is in use and installs. The first
    // failing step ends the run with its message in errorText; a step that
    // runs out of memory fails with "<step>内存不足 （8）". Every file is
    // reached through the job's tree, which lets go of its directories when
    // the run ends, before the product is started.
    bool run();

    // Ends every running process named productExe. Never fails.
    void terminateProduct();
    // The journal of an unfinished installation: what it did is undone (or,
    // when it had completed, its clean-up finished), and the run goes on
    // (kRolledBack, kNothing) or ends (kCompleted: with success; kFailed).
    install::RecoveryResult recoverInstallation();
    bool loadManifest();
    // Rebuilds the new files of patched entries (install::applyPatches).
    bool applyPatches();
    bool verifyPackage();
    bool checkOccupancy();
    bool installFiles();

    // After a successful run, once the product has been started: the journal
    // of the completed installation goes, its work being reported.
    void finishInstallation();

    // The product's executable: the processes to end and the program to start again.
    std::u16string productExe = u"mivato.exe";
    // The message of the step that failed.
    std::u16string errorText;
    // The manifest's files, in document order.
    std::vector<install::ManifestEntry> entries;
    // Where the staged files wait, relative to the working directory.
    std::u16string stagingDir{install::kStagingDir};
    // The Updater's own file name, exempt from the failures of the file steps.
    std::u16string selfName;

private:
    install::StepResult perform(install::Step step);
    // The tree, opened on first use after the run or a step let go of it.
    platform::Tree& tree();
    bool isSigned() const { return !keys_.empty(); }
    std::u16string journalDir() const;

    install::TrustedKeys keys_;
    // The Updater's directory, held while a run relies on it.
    platform::Tree tree_;
    // A signed update: its release, and the copies of its staged files that
    // verification made and the installation installs.
    install::ManifestExtras extras_;
    install::StagedCopies copies_;
    // The results of the patched entries, and the directory they are in.
    std::vector<std::u16string> patched_;
    std::u16string patchedDir_;
    ConsoleSink console_;
};

}  // namespace app
