#include "app/entry.h"

#include <cstdint>

#include "app/module_path.h"
#include "app/update_job.h"
#include "install/update_steps.h"
#include "log/run_log.h"
#include "platform/format.h"
#include "platform/platform.h"

namespace app {
namespace {

// Runs the update and starts the product with the outcome on its command line.
void updateRun(install::TrustedKeys keys) {
    RunLog& log = RunLog::instance();
    platform::writeNarrowLine(u"自动更新");
    log.write(u"自动更新");
    UpdateJob job(keys);
    const bool succeeded = job.run();
    const std::u16string outcome = install::outcomeText(succeeded, job.errorText);
    if (succeeded) {
        log.write(u"moveok");
    } else {
        // Verbatim: the error text may hold "%" and is not bound in length.
        log.writeVerbatim(outcome);
    }
    const std::u16string productPath = moduleDirectory() + u"\\" + job.productExe;
    const std::uint32_t code = platform::startProcess(productPath, outcome);
    // Only now is a completed installation reported; until here the next run
    // would recognise it from its journal.
    if (succeeded) job.finishInstallation();
    if (code != platform::kErrorSuccess) {
        const auto signedCode = static_cast<std::int32_t>(code);
        platform::writeNarrowLine(platform::formatMessage(u"主程序启动失败%d", {signedCode}));
        log.write(u"主程序启动失败 %d  %s", {signedCode, productPath});
    }
    platform::writeWideLine(u"自动更新完成" + outcome);
    log.write(u"自动更新");
}

}  // namespace

int updaterMain(const std::vector<std::u16string>& args, install::TrustedKeys keys) {
    platform::sleepMs(50);
    // From here on "autolog", "move.xml", "autoTemp\" and every manifest path
    // resolve in the Updater's own directory.
    platform::setCurrentDirectory(moduleDirectory());
    bool update = false;
    for (const std::u16string& arg : args) {
        platform::writeWideLine(arg);
        if (arg == u"updater") update = true;
        RunLog::instance().writeVerbatim(arg);
    }
    if (update) updateRun(keys);
    RunLog::instance().write(u"退出");
    return 0;
}

}  // namespace app
