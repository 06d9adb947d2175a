#include "install/update_steps.h"

namespace install {

std::u16string_view stepName(Step step) {
    switch (step) {
    case Step::kTerminateProduct: return u"termination";
    case Step::kRecovery: return u"recovery";
    case Step::kManifest: return u"manifest";
    case Step::kPatching: return u"patching";
    case Step::kVerification: return u"verification";
    case Step::kPause: return u"pause";
    case Step::kOccupancy: return u"occupancy";
    case Step::kInstallation: return u"installation";
    }
    return u"";
}

RunResult runSteps(bool lookOnly, const std::function<StepResult(Step)>& perform) {
    RunResult result;
    for (const Step step : kRunSteps) {
        if (lookOnly && !looksOnly(step)) continue;
        result.lastStep = step;
        const StepResult outcome = perform(step);
        if (outcome == StepResult::kGoOn) continue;
        result.succeeded = outcome == StepResult::kSucceed;
        break;
    }
    return result;
}

std::u16string outcomeText(bool succeeded, const std::u16string& errorText) {
    return succeeded ? std::u16string(u"moveok~") : u"movefail~  " + errorText;
}

}  // namespace install
