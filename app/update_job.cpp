#include "app/update_job.h"

#include "app/module_path.h"
#include "install/installation.h"
#include "install/manifest.h"
#include "install/occupancy.h"
#include "install/verification.h"
#include "log/run_log.h"
#include "platform/platform.h"

namespace app {

UpdateJob::UpdateJob() : selfName(moduleFileName()) {}

bool UpdateJob::run() {
    terminateProduct();
    switch (recoverInstallation()) {
    case install::RecoveryResult::kFailed: return false;
    case install::RecoveryResult::kCompleted: return true;
    case install::RecoveryResult::kNothing:
    case install::RecoveryResult::kRolledBack: break;
    }
    if (!loadManifest()) return false;
    if (!verifyPackage()) return false;
    // Gives the terminated processes time to let go of their files.
    platform::sleepMs(1500);
    if (!checkOccupancy()) return false;
    return installFiles();
}

install::RecoveryResult UpdateJob::recoverInstallation() {
    const install::RecoveryResult result = install::recoverInstallation(stagingDir, errorText);
    switch (result) {
    case install::RecoveryResult::kNothing: break;
    case install::RecoveryResult::kRolledBack: RunLog::instance().write(u"发现中断的安装，已还原"); break;
    case install::RecoveryResult::kCompleted: RunLog::instance().write(u"发现中断的安装，已完成"); break;
    case install::RecoveryResult::kFailed: RunLog::instance().write(u"发现中断的安装，还原失败"); break;
    }
    return result;
}

void UpdateJob::finishInstallation() { install::removeCompletedJournals(stagingDir); }

bool UpdateJob::loadManifest() { return install::loadManifest(entries, errorText); }

bool UpdateJob::verifyPackage() {
    return install::verifyPackage(entries, stagingDir, selfName, errorText);
}

bool UpdateJob::checkOccupancy() { return install::checkOccupancy(entries, selfName, errorText); }

bool UpdateJob::installFiles() {
    return install::installFiles(entries, stagingDir, selfName, errorText);
}

}  // namespace app
