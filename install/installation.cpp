#include "install/installation.h"

#include <cstdint>
#include <new>

#include "install/install_journal.h"
#include "install/install_plan.h"
#include "install/private_directory.h"
#include "install/update_steps.h"
#include "platform/format.h"
#include "platform/platform.h"

namespace install {
namespace {

constexpr std::u16string_view kDirectoryFailed = u"%s创建目录失败 （%d）";
constexpr std::u16string_view kMoveFailed = u"%s移动文件失败 （%d）";
constexpr std::u16string_view kJournalFailed = u"%s写入失败 （%d）";
constexpr std::u16string_view kOutOfMemory = u"%s内存不足 （%d）";
constexpr std::u16string_view kRemoveFailed = u"%s删除文件失败 （%d）";
const std::vector<std::u16string> kNoRemovals;

class Installation {
public:
    Installation(platform::Tree& tree, const std::vector<ManifestEntry>& entries, const std::u16string& stagingDir,
                 const std::u16string& selfName, std::u16string& errorText, StepSink& sink,
                 const InstallationParts& parts)
        : tree_(tree), entries_(entries), stagingDir_(stagingDir),
          journalDir_(journalDirectory(stagingDir, parts.signedUpdate)), selfName_(selfName), errorText_(errorText),
          sink_(sink), parts_(parts),
          plan_(planInstallation(tree, entries, {[this](std::size_t i) { return source(i); },
                                                 [this](std::size_t i) { return isOwn(i); }},
                                 selfName, parts.removals != nullptr ? *parts.removals : kNoRemovals)),
          journal_(tree, journalDir_, stagingDir) {
        plan_.record.release = parts.release;
        plan_.record.releaseKey = parts.key;
    }

    bool run() {
        try {
            return install();
        } catch (const std::bad_alloc&) {
            // Whatever was moved goes back before the failure is told.
            return fail(kOutOfMemory, std::u16string(stepName(Step::kInstallation)), platform::kErrorNotEnoughMemory);
        }
    }

private:
    bool isOwn(std::size_t i) const {
        return parts_.ownFiles != nullptr && i < parts_.ownFiles->size() && !(*parts_.ownFiles)[i].empty();
    }
    // Where entry i's new file comes from: its staged file, or a file of the
    // Updater's own made from it.
    std::u16string source(std::size_t i) const { return isOwn(i) ? (*parts_.ownFiles)[i] : stagingDir_ + entries_[i].path; }

    bool install() {
        if (plan_.needsJournal()) {
            const std::uint32_t code = journal_.begin(plan_.record, entries_, [this] { return flushStaged(); });
            if (code != platform::kErrorSuccess) return report(kJournalFailed, journal_.path(), code);
        }
        for (std::size_t i = 0; i < entries_.size(); ++i) {
            if (!installEntry(i)) return false;
        }
        for (const JournalMove& move : plan_.record.moves) {
            if (move.kind != JournalMove::kRemove) continue;
            const std::uint32_t code =
                tree_.moveFile(move.path, backupPath(journalDir_, plan_.record.backupDir, move.backup), false);
            if (code != platform::kErrorSuccess) return fail(kRemoveFailed, move.path, code);
        }
        if (journal_.isOpen()) {
            const std::uint32_t code = journal_.commit();
            if (code != platform::kErrorSuccess) return fail(kJournalFailed, journal_.path(), code);
            // The committed journal stays until the product has been told
            // (removeCompletedJournals): a run cut short before that is
            // recognised as complete by the next one.
            removeBackups(tree_, plan_.record, journalDir_);
            tidyCommitted(tree_, plan_.record, stagingDir_);
            journal_.close();
        }
        if (parts_.signedUpdate) removeCopies(tree_);
        return true;
    }

    bool installEntry(std::size_t index) {
        const PlannedEntry& step = plan_.entries[index];
        const std::u16string& target = entries_[index].path;
        if (step.levels >= 0) {
            for (const std::u16string& level : createdLevels(plan_.record.directories[step.levels])) {
                const std::uint32_t code = tree_.createDirectory(level);
                // A level that another spelling of its name created in the meantime
                // exists, as it would have been found before the creation.
                if (code != platform::kErrorSuccess && tree_.find(level) != platform::ItemKind::kDirectory) {
                    return fail(kDirectoryFailed, target, code);
                }
            }
        }
        if (step.action == PlannedEntry::kReplace) {
            // When the installed file cannot be renamed away it stays where it
            // is, and the replacing move below tells what holds it there.
            tree_.moveFile(target, backupPath(journalDir_, plan_.record.backupDir, step.backup), false);
        }
        const std::uint32_t code = isOwn(index) ? tree_.installOwnFile(source(index), target, true)
                                                : tree_.moveFile(source(index), target, true);
        if (code == platform::kErrorSuccess || target == selfName_) return true;
        return fail(kMoveFailed, target, code);
    }

    // The data of the files to be moved (and of the manifest, for the run
    // after a power cut), all at once where the system can, else one by one.
    std::uint32_t flushStaged() {
        if (platform::flushFileSystems({u".", stagingDir_, journalDir_}) == platform::kErrorSuccess) {
            return platform::kErrorSuccess;
        }
        // The manifest matters only for a later run; without one there is nothing of it to keep.
        std::uint32_t code = tree_.flushFile(std::u16string(kManifestName));
        if (code == platform::kErrorFileNotFound) code = platform::kErrorSuccess;
        for (std::size_t i = 0; i < entries_.size() && code == platform::kErrorSuccess; ++i) {
            if (plan_.entries[i].action != PlannedEntry::kMove) code = tree_.flushFile(source(i));
        }
        return code;
    }

    bool fail(std::u16string_view format, const std::u16string& path, std::uint32_t code) {
        std::u16string failedPath;
        const auto kept = [this](const std::u16string& file, const std::u16string& at) { sink_.stagedFileKept(file, at); };
        if (undoInstallation(tree_, plan_.record, stagingDir_, journalDir_, failedPath, kept) == platform::kErrorSuccess) {
            journal_.discard();
        } else {
            journal_.close();  // the next run tries again; every backup stays
        }
        if (parts_.signedUpdate) removeCopies(tree_);
        return report(format, path, code);
    }

    bool report(std::u16string_view format, const std::u16string& path, std::uint32_t code) {
        errorText_ = platform::formatMessage(format, {path, static_cast<std::int32_t>(code)});
        return false;
    }

    platform::Tree& tree_;
    const std::vector<ManifestEntry>& entries_;
    const std::u16string& stagingDir_;
    const std::u16string journalDir_;
    const std::u16string& selfName_;
    std::u16string& errorText_;
    StepSink& sink_;
    const InstallationParts& parts_;
    InstallPlan plan_;
    InstallJournal journal_;
};

}  // namespace

bool installFiles(platform::Tree& tree, const std::vector<ManifestEntry>& entries, const std::u16string& stagingDir,
                  const std::u16string& selfName, std::u16string& errorText, StepSink& sink,
                  const InstallationParts& parts) {
    if (entries.empty() && (parts.removals == nullptr || parts.removals->empty())) return true;
    return Installation(tree, entries, stagingDir, selfName, errorText, sink, parts).run();
}

}  // namespace install
