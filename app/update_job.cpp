#include "app/update_job.h"

#include "app/module_path.h"
#include "install/installation.h"
#include "install/manifest.h"
#include "install/occupancy.h"
#include "install/verification.h"
#include "platform/platform.h"

namespace app {

UpdateJob::UpdateJob() : selfName(moduleFileName()) {}

bool UpdateJob::run() {
    terminateProduct();
    if (!loadManifest()) return false;
    if (!verifyPackage()) return false;
    // Gives the terminated processes time to let go of their files.
    platform::sleepMs(1500);
    if (!checkOccupancy()) return false;
    return installFiles();
}

bool UpdateJob::loadManifest() { return install::loadManifest(entries, errorText); }

bool UpdateJob::verifyPackage() {
    return install::verifyPackage(entries, stagingDir, selfName, errorText);
}

bool UpdateJob::checkOccupancy() { return install::checkOccupancy(entries, selfName, errorText); }

bool UpdateJob::installFiles() {
    return install::installFiles(entries, stagingDir, selfName, errorText);
}

}  // namespace app
