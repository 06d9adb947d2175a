#include "app/update_job.h"

#include <new>

#include "app/module_path.h"
#include "install/install_journal.h"
#include "install/installation.h"
#include "install/manifest.h"
#include "install/occupancy.h"
#include "install/patching.h"
#include "install/private_directory.h"
#include "install/release.h"
#include "install/verification.h"
#include "log/run_log.h"
#include "crypto/hex.h"
#include "platform/format.h"
#include "platform/utf.h"
#include "platform/platform.h"

namespace app {

UpdateJob::UpdateJob(install::TrustedKeys keys) : selfName(moduleFileName()), keys_(keys) {}

platform::Tree& UpdateJob::tree() {
    if (!tree_.isOpen()) tree_.open();
    return tree_;
}

bool UpdateJob::run() {
    const bool succeeded = install::runSteps(false, [this](install::Step step) {
        try {
            return perform(step);
        } catch (const std::bad_alloc&) {
            // The manifest or the journal may ask for more than a 32-bit
            // process has; the product must still hear of it.
            errorText = platform::formatMessage(u"%s内存不足 （%d）",
                                                {install::stepName(step), std::int32_t{platform::kErrorNotEnoughMemory}});
            return install::StepResult::kFail;
        }
    }).succeeded;
    // What the run made for itself and did not install goes.
    install::removePatchResults(tree(), patchedDir_);
    if (isSigned()) install::removeCopies(tree());
    tree_.close();
    return succeeded;
}

install::StepResult UpdateJob::perform(install::Step step) {
    using install::Step;
    using install::StepResult;
    const auto goOnIf = [](bool passed) { return passed ? StepResult::kGoOn : StepResult::kFail; };
    switch (step) {
    case Step::kTerminateProduct:
        terminateProduct();
        return StepResult::kGoOn;
    case Step::kRecovery:
        switch (recoverInstallation()) {
        case install::RecoveryResult::kFailed:
        case install::RecoveryResult::kDamaged: return StepResult::kFail;
        case install::RecoveryResult::kCompleted: return StepResult::kSucceed;
        case install::RecoveryResult::kNothing:
        case install::RecoveryResult::kRolledBack: return StepResult::kGoOn;
        }
        break;
    case Step::kManifest: return goOnIf(loadManifest());
    case Step::kPatching: return goOnIf(applyPatches());
    case Step::kVerification: return goOnIf(verifyPackage());
    case Step::kPause:
        // Gives the terminated processes time to let go of their files.
        platform::sleepMs(1500);
        return StepResult::kGoOn;
    case Step::kOccupancy: return goOnIf(checkOccupancy());
    case Step::kInstallation: return goOnIf(installFiles());
    }
    return StepResult::kFail;
}

install::RecoveryResult UpdateJob::recoverInstallation() {
    if (isSigned()) {
        // Nothing in the private directory is trusted before it is checked.
        std::u16string setAside;
        const std::uint32_t code = install::preparePrivateDirectory(tree(), setAside);
        if (!setAside.empty()) RunLog::instance().write(u"私有目录不可信，已移至%s", {setAside});
        if (code != platform::kErrorSuccess) {
            errorText = platform::formatMessage(u"%s创建目录失败 （%d）",
                                                {std::u16string(install::kPrivateDir), static_cast<std::int32_t>(code)});
            RunLog::instance().write(u"发现中断的安装，还原失败");
            return install::RecoveryResult::kFailed;
        }
    }
    const install::RecoveryResult result =
        install::recoverInstallation(tree(), stagingDir, journalDir(), errorText, console_);
    switch (result) {
    case install::RecoveryResult::kNothing: break;
    case install::RecoveryResult::kRolledBack: RunLog::instance().write(u"发现中断的安装，已还原"); break;
    case install::RecoveryResult::kCompleted: RunLog::instance().write(u"发现中断的安装，已完成"); break;
    case install::RecoveryResult::kDamaged: RunLog::instance().write(u"发现中断的安装，文件已损坏，已还原"); break;
    case install::RecoveryResult::kFailed: RunLog::instance().write(u"发现中断的安装，还原失败"); break;
    }
    return result;
}

void UpdateJob::finishInstallation() {
    install::removeCompletedJournals(tree(), journalDir());
    tree_.close();
}

std::u16string UpdateJob::journalDir() const { return install::journalDirectory(stagingDir, isSigned()); }

bool UpdateJob::loadManifest() {
    if (!install::loadManifest(tree(), entries, errorText, console_, keys_, &extras_)) return false;
    if (!isSigned()) return true;
    // Never an older release than the one installed, and never one that
    // does not say which it is.
    install::VersionMark mark;
    const std::uint32_t code = install::readVersionMark(tree(), mark);
    if (code != platform::kErrorSuccess) {
        errorText = platform::formatMessage(u"%s读取失败 （%d）",
                                            {std::u16string(install::kVersionMark), static_cast<std::int32_t>(code)});
        return false;
    }
    return install::checkRelease(extras_.version, mark, keys_, errorText);
}

bool UpdateJob::applyPatches() {
    patchedDir_ = install::patchResultsDirectory(tree(), entries, stagingDir, isSigned());
    return install::applyPatches(tree(), entries, stagingDir, patchedDir_, isSigned(), patched_, errorText);
}

bool UpdateJob::verifyPackage() {
    return install::verifyPackage(tree(), entries, stagingDir, selfName, errorText, console_,
                                  install::Examine::kUntilFailure, isSigned(), isSigned() ? &copies_ : nullptr,
                                  &patched_) &&
           install::checkRemovals(tree(), extras_.removals, stagingDir, selfName, errorText);
}

bool UpdateJob::checkOccupancy() {
    // A file to remove must be free too: its rename would fail.
    std::vector<install::ManifestEntry> targets = entries;
    for (const std::u16string& removal : extras_.removals) targets.push_back({removal, {}});
    return install::checkOccupancy(tree(), targets, selfName, errorText, console_);
}

bool UpdateJob::installFiles() {
    install::InstallationParts parts;
    parts.ownFiles = isSigned() ? &copies_ : &patched_;
    parts.removals = &extras_.removals;
    parts.signedUpdate = isSigned();
    if (isSigned()) {
        parts.release = extras_.version;
        parts.key = platform::utf8ToUtf16(crypto::toHex(keys_[extras_.key]));
    }
    return install::installFiles(tree(), entries, stagingDir, selfName, errorText, console_, parts);
}

}  // namespace app
