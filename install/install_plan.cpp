#include "install/install_plan.h"

#include <unordered_set>

#include "platform/platform.h"

namespace install {

InstallPlan planInstallation(const std::vector<ManifestEntry>& entries, const std::u16string& stagingDir,
                             const std::u16string& selfName) {
    InstallPlan plan;
    plan.entries.resize(entries.size());
    // Levels that exist by the time an entry's turn comes, and the targets
    // that an earlier entry's move fills (their staged file is gone then).
    std::unordered_set<std::u16string> levels;
    std::unordered_set<std::u16string> filled;
    std::int32_t backups = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::u16string& path = entries[i].path;
        PlannedEntry& step = plan.entries[i];
        step.firstDirectory = plan.record.directories.size();
        for (std::size_t cut = path.find(u'\\'); cut != std::u16string::npos; cut = path.find(u'\\', cut + 1)) {
            std::u16string level = path.substr(0, cut);
            if (levels.count(level) != 0) continue;
            if (!platform::isDirectory(level)) plan.record.directories.push_back(level);
            levels.insert(std::move(level));
        }
        step.directoryCount = plan.record.directories.size() - step.firstDirectory;

        if (path == selfName || filled.count(path) != 0) continue;
        if (platform::findFirstFile(stagingDir + path) != platform::FindResult::kFile) continue;
        const platform::FindResult target = platform::findFirstFile(path);
        if (target == platform::FindResult::kDirectory) continue;
        filled.insert(path);
        if (target == platform::FindResult::kFile) {
            step.action = PlannedEntry::kReplace;
            step.backup = backups++;
            plan.record.moves.push_back({JournalMove::kReplace, path, step.backup, entries[i].md5});
        } else {
            step.action = PlannedEntry::kNewFile;
            plan.record.moves.push_back({JournalMove::kNewFile, path, -1, entries[i].md5});
        }
    }
    return plan;
}

}  // namespace install
