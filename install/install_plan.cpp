#include "install/install_plan.h"

#include <map>
#include <unordered_set>

namespace install {
namespace {

// The directory levels met so far, each once, as a tree of names: every
// level is known by its parent's number and its own name, so what is kept
// grows with the manifest, not with its paths' lengths squared.
class KnownLevels {
public:
    // The number of level name in level parent (0: the root), and whether it is new.
    std::pair<std::int32_t, bool> find(std::int32_t parent, std::u16string_view name) {
        const auto [it, added] = numbers_.try_emplace({parent, std::u16string(name)}, next_);
        if (added) ++next_;
        return {it->second, added};
    }

private:
    std::map<std::pair<std::int32_t, std::u16string>, std::int32_t> numbers_;
    std::int32_t next_ = 1;
};

}  // namespace

std::vector<std::u16string> createdLevels(const CreatedLevels& created) {
    std::vector<std::size_t> ends;
    for (std::size_t cut = created.path.find(u'\\'); cut != std::u16string::npos; cut = created.path.find(u'\\', cut + 1)) {
        ends.push_back(cut);
    }
    ends.push_back(created.path.size());
    std::vector<std::u16string> levels;
    const std::size_t count = std::min<std::size_t>(static_cast<std::size_t>(std::max(created.count, 0)), ends.size());
    for (std::size_t i = ends.size() - count; i < ends.size(); ++i) levels.push_back(created.path.substr(0, ends[i]));
    return levels;
}

InstallPlan planInstallation(platform::Tree& tree, const std::vector<ManifestEntry>& entries,
                             const EntrySources& sources, const std::u16string& selfName,
                             const std::vector<std::u16string>& removals) {
    InstallPlan plan;
    plan.entries.resize(entries.size());
    KnownLevels known;
    // The targets that an earlier entry's move fills (their staged file is gone then).
    std::unordered_set<std::u16string> filled;
    std::int32_t backups = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::u16string& path = entries[i].path;
        PlannedEntry& step = plan.entries[i];
        // Levels that exist, or that an earlier entry creates, come first;
        // the ones this entry must create follow them.
        std::int32_t parent = 0;
        std::int32_t creates = 0;
        std::size_t deepest = 0;
        for (std::size_t start = 0, cut = path.find(u'\\'); cut != std::u16string::npos;
             start = cut + 1, cut = path.find(u'\\', start)) {
            const auto [level, added] = known.find(parent, std::u16string_view(path).substr(start, cut - start));
            parent = level;
            if (!added) continue;
            if (creates == 0 && tree.find(path.substr(0, cut)) == platform::ItemKind::kDirectory) continue;
            ++creates;
            deepest = cut;
        }
        if (creates > 0) {
            step.levels = static_cast<std::int32_t>(plan.record.directories.size());
            plan.record.directories.push_back({path.substr(0, deepest), creates});
        }

        if (path == selfName || filled.count(path) != 0) continue;
        if (tree.find(sources.path(i)) != platform::ItemKind::kFile) continue;
        const platform::ItemKind target = tree.find(path);
        if (target != platform::ItemKind::kFile && target != platform::ItemKind::kMissing) continue;
        filled.insert(path);
        if (target == platform::ItemKind::kFile) {
            step.action = PlannedEntry::kReplace;
            step.backup = backups++;
            plan.record.moves.push_back({JournalMove::kReplace, path, step.backup, entries[i].md5, sources.own(i)});
        } else {
            step.action = PlannedEntry::kNewFile;
            plan.record.moves.push_back({JournalMove::kNewFile, path, -1, entries[i].md5, sources.own(i)});
        }
    }
    for (const std::u16string& path : removals) {
        // One already absent is fine; a removal listed twice is made once.
        if (tree.find(path) == platform::ItemKind::kMissing || !filled.insert(path).second) continue;
        plan.record.moves.push_back({JournalMove::kRemove, path, backups++});
    }
    return plan;
}

}  // namespace install
