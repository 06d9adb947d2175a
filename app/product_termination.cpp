#include <vector>

#include "app/update_job.h"
#include "log/run_log.h"
#include "platform/platform.h"

namespace app {

void UpdateJob::terminateProduct() {
    std::vector<platform::ProcessEntry> processes;
    platform::processSnapshot(processes);
    bool found = false;
    // The first entry is the system's idle process and is never compared.
    for (std::size_t i = 1; i < processes.size(); ++i) {
        if (processes[i].exeName != productExe) continue;
        // Whether the process could be ended is not examined: the occupancy
        // check later finds out whether its files are still held.
        platform::terminateProcess(processes[i].id);
        RunLog::instance().write(u"发现进程并且成功结束");
        found = true;
        platform::sleepMs(100);
    }
    if (found) platform::writeNarrowLine(u"find process");
}

}  // namespace app
